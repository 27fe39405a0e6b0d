#include "mp4/Mp4PropertyStore.h"

#include "mp4/Mp4Property3gpp.h"
#include "mp4/Mp4PropertyTable.h"
#include "mp4/Mp4PropertyText.h"

#include <cstdio>
#include <new>

namespace {

// Complete box bytes of a stored box, exactly as it was read.
std::vector<BYTE> RebuildBox(const Mp4BoxRef& box) {
    std::vector<BYTE> bytes;
    size_t cbPayload = box.dwSize >= 8 ? box.dwSize - 8 : 0;
    size_t cbHeld = box.pbPayload ? box.cbPayload : 0;
    if (cbPayload > cbHeld) cbPayload = cbHeld;
    Mp4AppendU32(bytes, box.dwSize);
    Mp4AppendU32(bytes, box.dwType);
    Mp4AppendBytes(bytes, box.pbPayload, cbPayload);
    return bytes;
}

// First object of a single-valued ID wins; multi-valued IDs collect them all.
template <typename Map, typename Ptr>
void FileProperty(Map& map, DWORD dwPropertyId, const Ptr& property) {
    typename Map::iterator it = map.find(dwPropertyId);
    if (it == map.end())
        map[dwPropertyId].push_back(property);
    else if (Mp4IsMultiValued(dwPropertyId))
        it->second.push_back(property);
}

}  // namespace

Mp4StringPropertyPtr Mp4CreateStringProperty(DWORD dwKind) {
    switch (dwKind) {
        case MP4_KIND_STRING_3GPP:
            return Mp4StringPropertyPtr(new CMp4PropertyString3gpp);
        case MP4_KIND_RATING_3GPP:
            return Mp4StringPropertyPtr(new CMp4PropertyRating3gpp);
        case MP4_KIND_CLASSIFICATION_3GPP:
            return Mp4StringPropertyPtr(new CMp4PropertyClassification3gpp);
        case MP4_KIND_KEYWORDS_3GPP:
            return Mp4StringPropertyPtr(new CMp4PropertyKeywords3gpp);
        case MP4_KIND_LOCATION_3GPP:
            return Mp4StringPropertyPtr(new CMp4PropertyLocationInfo3gpp);
        case MP4_KIND_ALBUM_3GPP:
            return Mp4StringPropertyPtr(new CMp4PropertyAlbumTitle3gpp);
        case MP4_KIND_YEAR_3GPP:
            return Mp4StringPropertyPtr(new CMp4PropertyRecordingYear3gpp);
        case MP4_KIND_STRING_ID3V2:
            return Mp4StringPropertyPtr(new CMp4PropertyStringId3v2);
        default:
            return Mp4StringPropertyPtr();
    }
}

void CMp4PropertyStore::Clear() {
    m_mapStringProperties.clear();
    m_mapBinaryProperties.clear();
    m_vecUnknownUserDataBoxes.clear();
    m_vecUnknownFrameBoxes.clear();
    m_dwUdtaOffset = m_dwUdtaSize = kNone;
    m_dwFrameAreaOffset = m_dwFrameAreaSize = kNone;
}

HRESULT CMp4PropertyStore::LoadUserData(const SmfUdta* pUdta) {
    if (pUdta == nullptr) return S_OK;
    std::vector<Mp4BoxRef> children;
    for (const SmfRawBox& child : pUdta->children) children.push_back(Mp4BoxRefOf(child));
    return LoadUserData(pUdta->offset, pUdta->head.size, children);
}

HRESULT CMp4PropertyStore::LoadUserData(DWORD dwOffset, DWORD dwSize, const std::vector<Mp4BoxRef>& children) {
    try {
        m_dwUdtaOffset = dwOffset;
        m_dwUdtaSize = dwSize;
        for (const Mp4BoxRef& child : children) LoadUserDataBox(child);
        DeriveAlbumTrack();
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

void CMp4PropertyStore::LoadUserDataBox(const Mp4BoxRef& box) {
    const Mp4PropertyRow* pRow = Mp4FindPropertyByBoxId(box.dwType);
    Mp4StringPropertyPtr property = pRow ? Mp4CreateStringProperty(pRow->dwKind) : Mp4StringPropertyPtr();
    // ID3v2 rows name frames, which never sit directly in udta.
    if (!property || pRow->dwKind == MP4_KIND_STRING_ID3V2) {
        m_vecUnknownUserDataBoxes.push_back(RebuildBox(box));
        return;
    }
    if (FAILED(property->ReadFromBox(pRow->dwPropertyId, box))) return;  // a malformed box is dropped alone
    if (m_mapStringProperties.find(pRow->dwPropertyId) == m_mapStringProperties.end())
        m_mapStringProperties[pRow->dwPropertyId].push_back(property);
}

void CMp4PropertyStore::DeriveAlbumTrack() {
    Mp4StringPropertyMap::const_iterator it = m_mapStringProperties.find(MP4_PROP_ALBUM_TITLE);
    if (it == m_mapStringProperties.end() || it->second.empty()) return;
    const CMp4PropertyAlbumTitle3gpp* pAlbum =
        dynamic_cast<const CMp4PropertyAlbumTitle3gpp*>(it->second.front().get());
    std::vector<std::wstring> track;
    if (pAlbum == nullptr || FAILED(pAlbum->GetValues(MP4_PROP_ALBUM_TRACK, track))) return;
    boost::shared_ptr<CMp4PropertyAlbumTitle3gpp> trackProperty(new CMp4PropertyAlbumTitle3gpp);
    trackProperty->SetLanguage(pAlbum->GetLanguage().c_str(), pAlbum->GetPad());
    if (SUCCEEDED(trackProperty->SetValues(MP4_PROP_ALBUM_TRACK, track)))
        m_mapStringProperties[MP4_PROP_ALBUM_TRACK].assign(1, trackProperty);
}

HRESULT CMp4PropertyStore::LoadFrameArea(const std::vector<Mp4BoxRef>& frames, DWORD dwOffset, DWORD dwSize,
                                         DWORD dwStreamSize) {
    if (frames.empty()) {
        m_dwFrameAreaOffset = dwStreamSize;
        m_dwFrameAreaSize = 0;
        return S_OK;
    }
    m_dwFrameAreaOffset = dwOffset;
    m_dwFrameAreaSize = dwSize;
    try {
        for (const Mp4BoxRef& frame : frames) {
            HRESULT hr = LoadFrameBox(frame);
            if (FAILED(hr)) return hr;
        }
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT CMp4PropertyStore::LoadFrameBox(const Mp4BoxRef& box) {
    CMp4PropertyId3v2 header;
    CMp4ByteCursor cursor(nullptr, 0);
    HRESULT hr = header.ReadFrameBox(box, cursor);
    if (FAILED(hr)) return hr;

    const Mp4PropertyRow* pRow = Mp4FindPropertyByBoxId(header.GetFrameId());
    if (pRow == nullptr) {
        m_vecUnknownFrameBoxes.push_back(RebuildBox(box));
        return S_OK;
    }
    if (pRow->dwKind == MP4_KIND_STRING_ID3V2) {
        boost::shared_ptr<CMp4PropertyStringId3v2> property(new CMp4PropertyStringId3v2);
        hr = property->ReadFromBox(pRow->dwPropertyId, box);
        if (FAILED(hr)) return hr;
        const Mp4PropertyRow* pMatch =
            Mp4FindPropertyByFrame(property->GetFrameId(), property->GetDescription().c_str());
        if (pMatch == nullptr) {
            // A description no row knows: keep the frame rather than lose it.
            m_vecUnknownFrameBoxes.push_back(RebuildBox(box));
            return S_OK;
        }
        property->SetPropertyId(pMatch->dwPropertyId);
        FileProperty(m_mapStringProperties, pMatch->dwPropertyId, Mp4StringPropertyPtr(property));
        return S_OK;
    }
    if (pRow->dwKind == MP4_KIND_BINARY) {
        Mp4BinaryPropertyPtr property(new CMp4PropertyBinaryId3v2);
        hr = property->ReadFromBox(box);
        if (FAILED(hr)) return hr;
        const Mp4PropertyRow* pMatch =
            Mp4FindPropertyByFrame(property->GetFrameId(), property->GetDescription().c_str());
        if (pMatch == nullptr) {
            m_vecUnknownFrameBoxes.push_back(RebuildBox(box));
            return S_OK;
        }
        property->SetPropertyId(pMatch->dwPropertyId);
        FileProperty(m_mapBinaryProperties, pMatch->dwPropertyId, property);
        return S_OK;
    }
    return E_INVALIDARG;
}

HRESULT CMp4PropertyStore::GetBinaryProperty(DWORD dwPropertyId, std::vector<std::wstring>& descriptions,
                                             std::vector<std::vector<BYTE>>& dataItems) const {
    descriptions.clear();
    dataItems.clear();
    const Mp4PropertyRow* pRow = Mp4FindPropertyById(dwPropertyId);
    if (pRow == nullptr || pRow->dwKind != MP4_KIND_BINARY) return MP4_E_PROPERTY_UNKNOWN;
    Mp4BinaryPropertyMap::const_iterator it = m_mapBinaryProperties.find(dwPropertyId);
    if (it == m_mapBinaryProperties.end()) return S_OK;
    try {
        for (const Mp4BinaryPropertyPtr& property : it->second) {
            const std::vector<std::wstring>& d = property->GetDescriptions();
            const std::vector<std::vector<BYTE>>& items = property->GetDataItems();
            descriptions.insert(descriptions.end(), d.begin(), d.end());
            dataItems.insert(dataItems.end(), items.begin(), items.end());
        }
        return S_OK;
    } catch (...) {
        descriptions.clear();
        dataItems.clear();
        return MP4_E_PROPERTY_COPY;
    }
}

HRESULT Mp4GetBinaryProperty(const CMp4PropertyStore* pStore, DWORD dwPropertyId,
                             std::vector<std::wstring>& descriptions, std::vector<std::vector<BYTE>>& dataItems) {
    if (pStore != nullptr) return pStore->GetBinaryProperty(dwPropertyId, descriptions, dataItems);
    return CMp4PropertyStore().GetBinaryProperty(dwPropertyId, descriptions, dataItems);
}

// ---- inspection output ----

namespace {

void AppendJsonString(std::string& out, const std::wstring& text) {
    std::string utf8 = Mp4EncodeUtf8(text);
    out.push_back('"');
    for (unsigned char ch : utf8) {
        if (ch == '"' || ch == '\\') {
            out.push_back('\\');
            out.push_back((char)ch);
        } else if (ch < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof(esc), "\\u%04X", ch);
            out += esc;
        } else {
            out.push_back((char)ch);
        }
    }
    out.push_back('"');
}

std::string PropertyIdText(DWORD dwPropertyId) {
    char id[16];
    std::snprintf(id, sizeof(id), "0x%04X", (unsigned)dwPropertyId);
    return id;
}

void AppendStringEntry(std::string& out, DWORD dwPropertyId, const std::vector<Mp4StringPropertyPtr>& list) {
    out += "{\"id\":\"" + PropertyIdText(dwPropertyId) + "\",\"values\":[";
    bool bFirst = true;
    for (const Mp4StringPropertyPtr& property : list) {
        std::vector<std::wstring> values;
        if (FAILED(property->GetValues(dwPropertyId, values))) continue;
        for (const std::wstring& value : values) {
            if (!bFirst) out.push_back(',');
            bFirst = false;
            AppendJsonString(out, value);
        }
    }
    out += "]}";
}

void AppendBinaryEntry(std::string& out, DWORD dwPropertyId, const std::vector<Mp4BinaryPropertyPtr>& list) {
    out += "{\"id\":\"" + PropertyIdText(dwPropertyId) + "\",\"items\":[";
    bool bFirst = true;
    for (const Mp4BinaryPropertyPtr& property : list) {
        const std::vector<std::wstring>& descriptions = property->GetDescriptions();
        const std::vector<std::vector<BYTE>>& items = property->GetDataItems();
        for (size_t i = 0; i < items.size() && i < descriptions.size(); ++i) {
            if (!bFirst) out.push_back(',');
            bFirst = false;
            out += "{\"description\":";
            AppendJsonString(out, descriptions[i]);
            out += ",\"bytes\":" + std::to_string(items[i].size()) + "}";
        }
    }
    out += "]}";
}

}  // namespace

std::string Mp4PropertiesToJson(const CMp4PropertyStore& store) {
    // Both maps are ordered by ID; merge them so the output is too.
    std::string out = "[";
    const Mp4StringPropertyMap& strings = store.StringProperties();
    const Mp4BinaryPropertyMap& binaries = store.BinaryProperties();
    Mp4StringPropertyMap::const_iterator s = strings.begin();
    Mp4BinaryPropertyMap::const_iterator b = binaries.begin();
    bool bFirst = true;
    while (s != strings.end() || b != binaries.end()) {
        if (!bFirst) out.push_back(',');
        bFirst = false;
        if (b == binaries.end() || (s != strings.end() && s->first < b->first)) {
            AppendStringEntry(out, s->first, s->second);
            ++s;
        } else {
            AppendBinaryEntry(out, b->first, b->second);
            ++b;
        }
    }
    out += "]";
    return out;
}

std::string Mp4PropertiesToJson(const CMp4PropertyStore* pStore) {
    return pStore ? Mp4PropertiesToJson(*pStore) : std::string("[]");
}
