// Internals of the box reader: primitives that record short reads in the
// status word, the generic child loop, and the per-parent dispatch tables.
#pragma once

#include "SmfMovie.h"

#include <cstddef>
#include <cstdint>

struct SmfBox {
    uint32_t size = 0;  // clamped to what the parent holds
    uint32_t type = 0;
    uint32_t start = 0;   // offset of the box header
    uint32_t end = 0;     // start + size
    uint8_t version = 0;  // full boxes only
    uint32_t flags = 0;
    uint32_t previousType = 0;  // type of the previous sibling, 0 for the first
};

typedef int (*SmfBoxHandler)(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box);

enum : uint32_t {
    SMF_RULE_ONCE = 0x1,  // a second copy raises 0x8 and is skipped
    SMF_RULE_FULL = 0x2,  // full box: version must be 0, else 0x4 and skipped
};

// Matches every type not listed earlier in the table.
constexpr uint32_t SMF_BOX_ANY = 0;

struct SmfBoxRule {
    uint32_t type;
    SmfBoxHandler handler;  // null: skip without a flag
    uint32_t minSize;       // including the header
    uint32_t flags;
};

struct SmfBoxTable {
    const SmfBoxRule* rules;
    size_t count;
};

template <size_t N>
constexpr SmfBoxTable SmfTable(const SmfBoxRule (&rules)[N]) {
    return SmfBoxTable{rules, N};
}

// What the handlers of nested boxes fill in.
struct SmfParseState {
    SmfMovie* movie = nullptr;
    uint32_t mode = 0;
    uint32_t streamSize = 0;
    bool sawMdat = false;
    SmfTrack* track = nullptr;
    uint32_t handlerType = 0;  // from the hdlr read so far in this mdia
    SmfStbl* stbl = nullptr;
    SmfSampleEntry* entry = nullptr;
    SmfMvex* mvex = nullptr;
    SmfUsmt* usmt = nullptr;
    SmfFragment* fragment = nullptr;
    SmfTraf* traf = nullptr;
};

SmfParseState& SmfState(SmfMovieHandle* h);

inline void SmfRaise(SmfMovieHandle* h, uint32_t flag) { h->ctx.status |= flag; }
inline bool SmfFatal(const SmfMovieHandle* h) { return h->ctx.status > SMF_STATUS_FATAL_LIMIT; }

uint8_t SmfReadU8(SmfMovieHandle* h, ISmfAbsStream* s);
uint16_t SmfReadU16(SmfMovieHandle* h, ISmfAbsStream* s);
uint32_t SmfReadU24(SmfMovieHandle* h, ISmfAbsStream* s);
uint32_t SmfReadU32(SmfMovieHandle* h, ISmfAbsStream* s);
// One read; a short read raises 0x80000000 and zero-fills the rest.
bool SmfReadBytes(SmfMovieHandle* h, ISmfAbsStream* s, void* buffer, uint32_t count);
void SmfReadRaw(SmfMovieHandle* h, ISmfAbsStream* s, std::vector<uint8_t>& out, uint32_t count);
void SmfSeekTo(SmfMovieHandle* h, ISmfAbsStream* s, uint32_t position);
uint32_t SmfTellPos(SmfMovieHandle* h, ISmfAbsStream* s);

// Reads `count` entries into `table`, one stream read per block of 1000.
int SmfReadTable(SmfMovieHandle* h, ISmfAbsStream* s, SmfValueTable& table, uint64_t count);

// The child loop over `length` bytes starting at `start`. After `maxChildren`
// children any bytes left raise 0x2. Always ends at start + length unless it
// stops early with an error or a child size below 8.
int SmfParseChildren(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBoxTable& table, uint32_t start, uint32_t length,
                     uint32_t maxChildren = UINT32_MAX, uint32_t* childrenRead = nullptr);

// Container rows call this: the box's payload through the given table.
int SmfParseContainer(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box, const SmfBoxTable& table);

// Box families.
int SmfParseFtyp(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box);
int SmfParseMoov(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box);
int SmfParseMoof(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box);
int SmfParseMvex(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box);
int SmfParseStbl(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box);
int SmfParseStsd(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box);
int SmfParseUdta(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box);
int SmfParseUuid(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box);
int SmfParseOtherMoovChild(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box);

// After a trak is parsed: data-reference check, unique ID, append.
void SmfAddTrack(SmfMovieHandle* h, std::unique_ptr<SmfTrack> track);
// Smallest positive track ID no track uses.
uint32_t SmfUnusedTrackId(const SmfMovie& movie);
