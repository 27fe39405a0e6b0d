// The first audio track of an MP4 file as the decoder stand-in plays it, and
// the exact presented length the tools announce for it. The stand-in's
// CAacTrack reads its track through ReadAudioTrack, and MeasureItem is that
// same reading reduced to figures, so the two agree by construction.
// Portable: no platform headers (see AudioItemFile.h for the Windows path).
#pragma once

#include "AacFrameTable.h"
#include "EditList.h"
#include "Presentation.h"
#include "common/AacCodecInfo.h"
#include "common/Mp4DsiParser.h"
#include "mp4/SmfAbsStream.h"

#include <cstdint>

namespace presented {

// Which PCM the frames are counted in.
enum class DecodeRate {
    Core,      // the AAC-LC decoder's: HE-AAC's core rate and frame; the edit list applies
    Signalled  // the configuration's, SBR doubling rate and frame (the stand-in's test tone); no edit
};

struct AudioTrack {
    uint32_t trackId = 0;
    AacCodecInfo codec;
    AudioSpecificConfigInfo config;
    uint32_t rate = 0;  // of the PCM counted
    uint32_t channels = 0;
    uint32_t samplesPerFrame = 0;
    uint32_t mediaTimescale = 0;
    CAacFrameTable frames;  // frames of the sample tables, then of the movie fragments
    // Core only: the edit list as read, and what it keeps. An edit list that
    // cannot be read (any status but Found) counts as none: every decoded
    // sample is presented.
    EditStatus editStatus = EditStatus::Absent;
    EditList edit;
    Presentation presentation;
};

// Reads the first audio track of the file in `stream` (`fileSize` bytes).
// Fails (an HRESULT of the MP4 library, E_INVALIDARG or E_FAIL) when there is
// no audio track, its configuration is not AAC that can be described as PCM,
// or, for Core, the AAC-LC decoder cannot decode it.
HRESULT ReadAudioTrack(ISmfAbsStream* stream, uint64_t fileSize, DecodeRate rate, AudioTrack* out);

// The figures of one item at the decode rate.
struct ItemLength {
    uint32_t rate = 0;  // decode rate (HE-AAC: the core rate)
    uint32_t channels = 0;
    uint32_t samplesPerFrame = 0;
    uint32_t frameCount = 0;
    uint64_t decoded = 0;    // frameCount * samplesPerFrame
    uint64_t skip = 0;       // decoded samples dropped at the start
    uint64_t presented = 0;  // samples delivered after them
    EditStatus editStatus = EditStatus::Absent;
    bool truncated = false;  // the tables promised frames the file does not hold
};

// ReadAudioTrack(Core) reduced to its figures.
HRESULT MeasureItem(ISmfAbsStream* stream, uint64_t fileSize, ItemLength* out);

}  // namespace presented
