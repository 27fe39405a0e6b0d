// A raw reader of one track's edit list (moov > trak > edts > elst),
// versions 0 and 1, that walks the box tree itself instead of relying on
// the MP4 library (which skips a version-1 elst as an unsupported version).
// The file is untrusted: every box must lie inside its parent and the file,
// every count inside its box; anything else is a failure status, never a read
// out of bounds. Portable: no platform headers.
#pragma once

#include "mp4/SmfAbsStream.h"

#include <cstdint>
#include <vector>

namespace presented {

// One edit: segment_duration in the movie's timescale, media_time in the
// track's (-1: an empty edit), media_rate as 16.16.
struct EditEntry {
    uint64_t segmentDuration = 0;
    int64_t mediaTime = 0;
    int32_t mediaRate = 0x10000;
};

struct EditList {
    uint8_t version = 0;          // of the elst box
    uint32_t movieTimescale = 0;  // mvhd (version 0 or 1); 0 without one
    uint32_t mediaTimescale = 0;  // the track's mdhd (version 0 or 1); 0 without one
    std::vector<EditEntry> entries;
};

enum class EditStatus {
    Found,       // the track has an elst; its entries (maybe none) are read
    Absent,      // the track has no edts or no elst in it
    NoTrack,     // no moov, or no trak whose tkhd names the track
    BadBox,      // a box header cut short, a size below its header or beyond its parent
    BadCount,    // elst's entry_count needs more bytes than the box holds
    BadVersion,  // elst (or tkhd, mvhd, mdhd on the way) of a version other than 0 or 1
    BadValue,    // a version-1 media_time below -1
    TooLarge,    // more than kMaxEditEntries entries, or more than kMaxBoxes boxes walked
    ReadFailed,  // the stream failed or ended inside the stated file size
};

// Limits that keep a hostile file from costing memory or time.
constexpr uint32_t kMaxEditEntries = 1u << 16;
constexpr uint32_t kMaxBoxes = 1u << 16;

// Reads the edit list of track `trackId` from `stream`, a file of `fileSize`
// bytes (the stream's 32-bit positions bound it at 4 GiB - 1). Box sizes:
// 1 means a 64-bit size follows, 0 means to the end of the parent (the file
// at the top). The first moov, the first trak with that id, its first edts
// and that edts's first elst count; the walk stops once they are found.
// `out` is filled on Found (timescales also on Absent) and cleared otherwise.
EditStatus ReadEditList(ISmfAbsStream* stream, uint64_t fileSize, uint32_t trackId, EditList* out);

// "Found", "Absent", ...: for messages.
const char* EditStatusName(EditStatus status);

}  // namespace presented
