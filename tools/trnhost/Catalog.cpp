#include "Serve.h"

#include "Commands.h"
#include "Http.h"
#include "Media.h"

namespace trnhost {
namespace {

std::string RelativeName(const std::wstring& folder, const std::wstring& path) {
    std::wstring rest = path.substr(folder.size());
    while (!rest.empty() && (rest[0] == L'\\' || rest[0] == L'/')) rest.erase(0, 1);
    for (wchar_t& c : rest)
        if (c == L'\\') c = L'/';
    return Utf8(rest);
}

std::string PropertiesJson(const PropertyList& properties) {
    std::string out = "{";
    for (size_t i = 0; i < properties.size(); ++i)
        out += (i ? "," : "") + JsonString(properties[i].first) + ":" + JsonString(properties[i].second);
    return out + "}";
}

// A JSON string of text that is UTF-8 already.
std::string JsonUtf8(const std::string& text) {
    static const char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(static_cast<char>(c));
        } else if (c < 0x20) {
            out += "\\u00";
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 15]);
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out + "\"";
}

std::wstring PropertyValue(const PropertyList& properties, const wchar_t* name) {
    for (const auto& p : properties)
        if (p.first == name) return p.second;
    return std::wstring();
}

}  // namespace

Catalog::Catalog(Server& server, const std::wstring& folder) : m_folder(folder) {
    std::vector<std::wstring> files;
    ListFiles(folder, files);
    for (const std::wstring& path : files) {
        std::vector<OfferedFormat> offered;
        CatalogItem item;
        item.path = path;
        item.name = RelativeName(folder, path);
        if (SUCCEEDED(server.TryFormatsFor(path, offered))) {
            for (const OfferedFormat& f : offered) {
                CatalogFormat format;
                format.name = Utf8(f.ShortName());
                if (format.name.empty()) continue;  // no name, no link
                format.mimeType = Utf8(f.mimeType);
                if (FAILED(server.TryPropertiesFor(path, f, format.properties))) continue;
                item.formats.push_back(std::move(format));
            }
        }
        if (item.formats.empty()) {
            ++m_refused;
            continue;
        }
        m_items.push_back(std::move(item));
    }
}

const CatalogItem* Catalog::Find(const std::string& name) const {
    for (const CatalogItem& item : m_items)
        if (item.name == name) return &item;
    return nullptr;
}

std::string Catalog::Html() const {
    const std::string folder = http::HtmlEscape(Utf8(m_folder));
    std::string out = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + folder +
                      "</title></head>\n<body><h1>" + folder + "</h1>\n<ul>\n";
    for (const CatalogItem& item : m_items) {
        out += "<li>" + http::HtmlEscape(item.name);
        const std::wstring duration = PropertyValue(item.formats.front().properties, L"duration");
        if (!duration.empty()) out += " (" + http::HtmlEscape(Utf8(duration)) + ")";
        for (const CatalogFormat& f : item.formats)
            out += " <a href=\"" + http::HtmlEscape(http::MediaPath(f.name, item.name)) + "\" type=\"" +
                   http::HtmlEscape(f.mimeType) + "\">" + http::HtmlEscape(f.name) + "</a>";
        out += "</li>\n";
    }
    return out + "</ul>\n</body></html>\n";
}

std::string Catalog::Json() const {
    std::string out = "{\"folder\":" + JsonString(m_folder) + ",\"items\":[";
    for (size_t i = 0; i < m_items.size(); ++i) {
        const CatalogItem& item = m_items[i];
        out += std::string(i ? "," : "") + "\n{\"name\":" + JsonUtf8(item.name) + ",\"formats\":[";
        for (size_t k = 0; k < item.formats.size(); ++k) {
            const CatalogFormat& f = item.formats[k];
            out += std::string(k ? "," : "") + "{\"name\":" + JsonUtf8(f.name) +
                   ",\"mimeType\":" + JsonUtf8(f.mimeType) +
                   ",\"url\":" + JsonUtf8(http::MediaPath(f.name, item.name)) +
                   ",\"properties\":" + PropertiesJson(f.properties) + "}";
        }
        out += "]}";
    }
    return out + "\n]}\n";
}

}  // namespace trnhost
