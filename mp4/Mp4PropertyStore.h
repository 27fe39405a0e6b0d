// The metadata properties of one movie: loaded from the user-data boxes and
// the ID3v2 frame boxes, filed by property ID, with the boxes nobody knows
// kept byte for byte so that a writer can put them back.
#pragma once

#include "mp4/Mp4Property.h"
#include "mp4/Mp4PropertyId3v2.h"
#include "mp4/SmfRecords.h"

#include <boost/shared_ptr.hpp>

#include <map>
#include <string>
#include <vector>

typedef boost::shared_ptr<CMp4PropertyString> Mp4StringPropertyPtr;
typedef boost::shared_ptr<CMp4PropertyBinaryId3v2> Mp4BinaryPropertyPtr;
typedef std::map<DWORD, std::vector<Mp4StringPropertyPtr>> Mp4StringPropertyMap;
typedef std::map<DWORD, std::vector<Mp4BinaryPropertyPtr>> Mp4BinaryPropertyMap;

// GetBinaryProperty results besides the usual HRESULTs.
const HRESULT MP4_E_PROPERTY_UNKNOWN = (HRESULT)0x80040401;
const HRESULT MP4_E_PROPERTY_COPY = (HRESULT)0x80040402;

// The one place that maps a value kind to its class; null for a kind that is
// not string-valued.
Mp4StringPropertyPtr Mp4CreateStringProperty(DWORD dwKind);

inline Mp4BoxRef Mp4BoxRefOf(const SmfRawBox& box) {
    return Mp4BoxRef{box.size, box.type, box.payload.empty() ? nullptr : box.payload.data(), box.payload.size()};
}

struct CMp4PropertyStore {
public:
    static constexpr DWORD kNone = 0xFFFFFFFF;

    void Clear();

    // Files every user-data child it can read; a child that cannot be read is
    // dropped alone, so this never fails on bad data.
    HRESULT LoadUserData(const SmfUdta* pUdta);
    HRESULT LoadUserData(DWORD dwOffset, DWORD dwSize, const std::vector<Mp4BoxRef>& children);

    // Files the ID3v2 frame boxes; without any, the area is placed at the end
    // of the stream. A frame box that cannot be read ends the loading.
    HRESULT LoadFrameArea(const std::vector<Mp4BoxRef>& frames, DWORD dwOffset, DWORD dwSize, DWORD dwStreamSize);

    // The descriptions and data items of a binary property; S_OK with empty
    // outputs when the file does not have it.
    HRESULT GetBinaryProperty(DWORD dwPropertyId, std::vector<std::wstring>& descriptions,
                              std::vector<std::vector<BYTE>>& dataItems) const;

    const Mp4StringPropertyMap& StringProperties() const { return m_mapStringProperties; }
    const Mp4BinaryPropertyMap& BinaryProperties() const { return m_mapBinaryProperties; }
    const std::vector<std::vector<BYTE>>& UnknownUserDataBoxes() const { return m_vecUnknownUserDataBoxes; }
    const std::vector<std::vector<BYTE>>& UnknownFrameBoxes() const { return m_vecUnknownFrameBoxes; }
    DWORD UdtaOffset() const { return m_dwUdtaOffset; }
    DWORD UdtaSize() const { return m_dwUdtaSize; }
    DWORD FrameAreaOffset() const { return m_dwFrameAreaOffset; }
    DWORD FrameAreaSize() const { return m_dwFrameAreaSize; }

private:
    void LoadUserDataBox(const Mp4BoxRef& box);
    void DeriveAlbumTrack();
    HRESULT LoadFrameBox(const Mp4BoxRef& box);

    Mp4StringPropertyMap m_mapStringProperties;
    Mp4BinaryPropertyMap m_mapBinaryProperties;
    std::vector<std::vector<BYTE>> m_vecUnknownUserDataBoxes;
    std::vector<std::vector<BYTE>> m_vecUnknownFrameBoxes;
    DWORD m_dwUdtaOffset = kNone;
    DWORD m_dwUdtaSize = kNone;
    DWORD m_dwFrameAreaOffset = kNone;
    DWORD m_dwFrameAreaSize = kNone;
};

// GetBinaryProperty over a store that may be absent (nothing loaded).
HRESULT Mp4GetBinaryProperty(const CMp4PropertyStore* pStore, DWORD dwPropertyId,
                             std::vector<std::wstring>& descriptions, std::vector<std::vector<BYTE>>& dataItems);

// The loaded properties as a JSON array (UTF-8) for inspection tools:
// [{"id":"0x1001","values":["..."]},{"id":"0x2001","items":[{"description":"...","bytes":12}]}]
// An absent store gives "[]".
std::string Mp4PropertiesToJson(const CMp4PropertyStore& store);
std::string Mp4PropertiesToJson(const CMp4PropertyStore* pStore);
