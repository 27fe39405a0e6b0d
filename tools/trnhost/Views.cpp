#include "Views.h"

#include <cstdio>

#include "Http.h"
#include "tools/common/Json.h"
#include "tools/common/Utf8.h"

namespace trnhost {

using trntools::JsonString;
using trntools::Utf8;

namespace {

std::wstring PropertyValue(const PropertyList& properties, const wchar_t* name) {
    for (const auto& p : properties)
        if (p.first == name) return p.second;
    return std::wstring();
}

}  // namespace

std::string HtmlEscape(const std::string& utf8) {
    std::string out;
    for (char c : utf8) {
        // clang-format off
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out.push_back(c);
        }
        // clang-format on
    }
    return out;
}

std::string PropertiesJson(const PropertyList& properties) {
    std::string out = "{";
    for (size_t i = 0; i < properties.size(); ++i)
        out += (i ? "," : "") + JsonString(properties[i].first) + ":" + JsonString(properties[i].second);
    return out + "}";
}

std::string IndexHtml(const std::wstring& folder, const std::vector<CatalogItem>& items) {
    const std::string title = HtmlEscape(Utf8(folder));
    std::string out = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + title +
                      "</title></head>\n<body><h1>" + title + "</h1>\n<ul>\n";
    for (const CatalogItem& item : items) {
        out += "<li>" + HtmlEscape(item.name);
        const std::wstring duration = PropertyValue(item.formats.front().properties, L"duration");
        if (!duration.empty()) out += " (" + HtmlEscape(Utf8(duration)) + ")";
        for (const CatalogFormat& f : item.formats)
            out += " <a href=\"" + HtmlEscape(http::MediaPath(f.name, item.name)) + "\" type=\"" +
                   HtmlEscape(f.mimeType) + "\">" + HtmlEscape(f.name) + "</a>";
        out += "</li>\n";
    }
    return out + "</ul>\n</body></html>\n";
}

std::string ResJson(const dlna::ResFacts& res) {
    std::string out = "{\"protocolInfo\":" + JsonString(res.protocolInfo);
    if (res.durationMs >= 0) {
        const int64_t ms = res.durationMs;
        char text[48];
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld.%03lld", static_cast<long long>(ms / 3600000),
                      static_cast<long long>(ms / 60000 % 60), static_cast<long long>(ms / 1000 % 60),
                      static_cast<long long>(ms % 1000));
        out += ",\"duration\":\"" + std::string(text) + "\"";
    }
    const std::pair<const char*, uint64_t> figures[] = {{"size", res.size},
                                                        {"bitrate", res.bitrate},
                                                        {"sampleFrequency", res.sampleFrequency},
                                                        {"nrAudioChannels", res.channels},
                                                        {"bitsPerSample", res.bitsPerSample}};
    for (const auto& f : figures)
        if (f.second) out += ",\"" + std::string(f.first) + "\":" + std::to_string(f.second);
    return out + "}";
}

std::string IndexJson(const std::wstring& folder, const std::vector<CatalogItem>& items) {
    std::string out = "{\"folder\":" + JsonString(folder) + ",\"items\":[";
    for (size_t i = 0; i < items.size(); ++i) {
        const CatalogItem& item = items[i];
        out += std::string(i ? "," : "") + "\n{\"name\":" + JsonString(item.name) + ",\"formats\":[";
        for (size_t k = 0; k < item.formats.size(); ++k) {
            const CatalogFormat& f = item.formats[k];
            out += std::string(k ? "," : "") + "{\"name\":" + JsonString(f.name) +
                   ",\"mimeType\":" + JsonString(f.mimeType) +
                   ",\"url\":" + JsonString(http::MediaPath(f.name, item.name)) +
                   ",\"properties\":" + PropertiesJson(f.properties) + ",\"res\":" + ResJson(f.res) + "}";
        }
        out += "]}";
    }
    return out + "\n]}\n";
}

std::string StatusJson(const StatusFigures& figures) {
    return "{\"connections\":" + std::to_string(figures.connections) +
           ",\"transcoders\":" + std::to_string(figures.transcoders) +
           ",\"requests\":" + std::to_string(figures.requests) +
           ",\"lengthDifferences\":" + std::to_string(figures.lengthDifferences) +
           ",\"paddedFrames\":" + std::to_string(figures.paddedFrames) +
           ",\"cutFrames\":" + std::to_string(figures.cutFrames) + ",\"threads\":" + std::to_string(figures.threads) +
           ",\"handles\":" + std::to_string(figures.handles) +
           ",\"privateBytes\":" + std::to_string(figures.privateBytes) +
           ",\"counted\":" + (figures.counted ? "true" : "false") + "}\n";
}

}  // namespace trnhost
