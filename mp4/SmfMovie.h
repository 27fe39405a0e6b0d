// Procedural core of the MP4 library: a handle, a strict reader that records
// irregularities in a status word, and the queries on the parsed records.
// Nothing here throws.
#pragma once

#include "SmfRecords.h"
#include "SmfResult.h"
#include "base/ComPtr.h"

#include <cstdint>
#include <memory>

// Operations gated by the state guard.
enum SmfGuardOperation : int { SMF_OP_CREATE = 1, SMF_OP_PARSE = 8 };

struct SmfStateGuard {
    int current = 0;
    int pending = -1;
};

// Refuses with 0x11 when `op` is not permitted now; otherwise sets the pending state.
int SmfGuardBegin(SmfStateGuard& guard, int op);
// Moves the pending state along the fragment fallback list.
void SmfGuardFragments(SmfStateGuard& guard);
void SmfGuardCommit(SmfStateGuard& guard);

struct SmfReadContext {
    ComPtr<ISmfAbsStream> stream;    // current reading stream
    ComPtr<ISmfAbsStream> attached;  // the one the caller attached
    bool isAttached = false;
    uint32_t status = 0;
    bool fragmentsSeen = false;
    uint32_t mode = 0;
    uint32_t tuning[4] = {1000, 1000, 1000, 3000};
    SmfStateGuard guard;
};

struct SmfParseState;

struct SmfMovieHandle {
    SmfReadContext ctx;
    std::unique_ptr<SmfMovie> movie;
    SmfParseState* parse = nullptr;  // set while a parse runs
};

// Parse modes: 1 parses movie fragments, 2 only notes them, 0 treats them as unknown.
enum : uint32_t { SMF_PARSE_NO_FRAGMENTS = 0, SMF_PARSE_FRAGMENTS = 1, SMF_PARSE_NOTE_FRAGMENTS = 2 };

int SmfCreateHandle(SmfMovieHandle** handle);
int SmfReleaseHandle(SmfMovieHandle* handle);
int SmfAttachStream(SmfMovieHandle* handle, ISmfAbsStream* stream);
int SmfParse(SmfMovieHandle* handle, uint32_t* status, uint32_t mode);
int SmfCreateMovie(SmfMovieHandle* handle, uint32_t minorVersion, uint32_t majorBrand, uint32_t brandCount,
                   const uint32_t* brands, uint32_t timescale);
int SmfAddCompatibleBrand(SmfMovieHandle* handle, uint32_t brand);
int SmfReleaseMovie(SmfMovieHandle* handle);

// RAII owner of a handle.
struct SmfHandleDeleter {
    void operator()(SmfMovieHandle* h) const { SmfReleaseHandle(h); }
};
using SmfHandlePtr = std::unique_ptr<SmfMovieHandle, SmfHandleDeleter>;

// Queries.
int SmfGetTrackCount(const SmfMovieHandle* handle, uint16_t* count);
int SmfGetTrackById(const SmfMovieHandle* handle, uint32_t trackId, SmfTrack** track);
int SmfGetHandlerType(const SmfTrack* track, uint32_t* handlerType);
int SmfGetMediaTimescale(const SmfTrack* track, uint32_t* timescale);
int SmfGetMediaDuration(const SmfTrack* track, uint32_t* duration);
int SmfGetSampleDescriptionCount(const SmfTrack* track, uint32_t* count);
int SmfGetSampleDescription(const SmfTrack* track, uint32_t index, SmfSampleEntry** entry);

struct SmfAudioDescription {
    uint32_t type = 0;
    const SmfUrl* dataReference = nullptr;
    uint32_t vendor = 0;
    uint16_t channelCount = 0;
    uint16_t sampleSize = 0;
    uint32_t sampleRate = 0;  // 16.16
    uint32_t samplesPerPacket = 0;
    uint32_t bytesPerSample = 0;
    uint16_t version = 0;
};
int SmfGetAudioDescription(const SmfTrack* track, const SmfSampleEntry* entry, SmfAudioDescription* out);

// Total duration of the track's samples: stts plus every fragment run.
int SmfGetSampleCursorDuration(const SmfTrack* track, uint64_t* duration);
