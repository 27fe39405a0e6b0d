#include "Catalog.h"

#include "Files.h"
#include "tools/common/Utf8.h"
#include "tools/presented/AudioItemFile.h"

namespace trnhost {

using trntools::Utf8;

namespace {

std::string RelativeName(const std::wstring& folder, const std::wstring& path) {
    std::wstring rest = path.substr(folder.size());
    while (!rest.empty() && (rest[0] == L'\\' || rest[0] == L'/')) rest.erase(0, 1);
    for (wchar_t& c : rest)
        if (c == L'\\') c = L'/';
    return Utf8(rest);
}

// What the file's tables say the decoder will present, read the way a media
// server's own scanner reads them; unknown when they cannot be read.
dlna::SourceFacts MeasureSource(const std::wstring& path) {
    dlna::SourceFacts source;
    WIN32_FILE_ATTRIBUTE_DATA attributes;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &attributes)) return source;
    source.fileSize = (uint64_t(attributes.nFileSizeHigh) << 32) | attributes.nFileSizeLow;
    presented::ItemLength length;
    if (SUCCEEDED(presented::MeasureItemFile(path, &length)) && length.rate && length.channels) {
        source.known = true;
        source.rate = length.rate;
        source.channels = length.channels;
        source.presentedFrames = length.presented;
    }
    return source;
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
            item.source = MeasureSource(path);
            for (const OfferedFormat& f : offered) {
                CatalogFormat format;
                format.name = Utf8(f.ShortName());
                if (format.name.empty()) continue;  // no name, no link
                format.mimeType = Utf8(f.mimeType);
                if (FAILED(server.TryPropertiesFor(path, f, format.properties))) continue;
                const PcmFacts pcm = ParsePcmMime(f.mimeType);
                format.facts =
                    dlna::FactsOf(format.mimeType, f.profile == L"LPCM", pcm.rate, pcm.channels, item.source);
                format.res = dlna::ResOf(format.facts, item.source);
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

}  // namespace trnhost
