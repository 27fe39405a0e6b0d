// The fixed table of metadata properties: every property the library knows,
// with its value kind, box or frame ID, description and multiplicity.
#pragma once

#include "base/PortableTypes.h"

#include <cstddef>

// Value kinds; each names the property class that holds such a value.
enum Mp4PropertyKind : DWORD {
    MP4_KIND_STRING_3GPP = 0x1001,          // CMp4PropertyString3gpp
    MP4_KIND_RATING_3GPP = 0x1002,          // CMp4PropertyRating3gpp
    MP4_KIND_CLASSIFICATION_3GPP = 0x1003,  // CMp4PropertyClassification3gpp
    MP4_KIND_KEYWORDS_3GPP = 0x1004,        // CMp4PropertyKeywords3gpp
    MP4_KIND_LOCATION_3GPP = 0x1005,        // CMp4PropertyLocationInfo3gpp
    MP4_KIND_ALBUM_3GPP = 0x1006,           // CMp4PropertyAlbumTitle3gpp
    MP4_KIND_YEAR_3GPP = 0x1007,            // CMp4PropertyRecordingYear3gpp
    MP4_KIND_STRING_ID3V2 = 0x1008,         // CMp4PropertyStringId3v2
    MP4_KIND_BINARY = 0x2001,               // CMp4PropertyBinaryId3v2
};

// Property IDs that the loader treats specially.
const DWORD MP4_PROP_ALBUM_TITLE = 0x100B;
const DWORD MP4_PROP_ALBUM_TRACK = 0x100C;

#define MP4_FOURCC(a, b, c, d) \
    ((DWORD)(BYTE)(a) << 24 | (DWORD)(BYTE)(b) << 16 | (DWORD)(BYTE)(c) << 8 | (DWORD)(BYTE)(d))

struct Mp4PropertyRow {
    DWORD dwPropertyId;
    DWORD dwKind;                   // Mp4PropertyKind
    DWORD dwBoxId;                  // box or frame four-character code
    const wchar_t* pszDescription;  // "" when frames are not told apart by it
    bool bMultiValued;
    const wchar_t* pszMimeType;
    BYTE bWriteEncoding;  // 1: UTF-16 with byte-order mark, 0: single-byte text
};

// All rows in table order (lookups return the first match).
const Mp4PropertyRow* Mp4PropertyRows(size_t* pcRows);

const Mp4PropertyRow* Mp4FindPropertyById(DWORD dwPropertyId);
const Mp4PropertyRow* Mp4FindPropertyByBoxId(DWORD dwBoxId);
// A multi-valued row matches descriptions that begin with its own, a
// single-valued row only its exact description, a row without one any.
const Mp4PropertyRow* Mp4FindPropertyByFrame(DWORD dwFrameId, const wchar_t* pszDescription);

bool Mp4IsMultiValued(DWORD dwPropertyId);
