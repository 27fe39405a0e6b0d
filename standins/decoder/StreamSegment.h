// Which frames a seek asks for: from the frame that holds the start position
// to the frame that holds the stop position, both included.
#pragma once

#include "AacFrameTable.h"

#include <cstdint>

// Frames [firstFrame, endFrame), announced downstream as the segment
// [start, stop) in 100-ns units; start is the first frame's own time.
struct StreamSegment {
    uint32_t firstFrame = 0;
    uint32_t endFrame = 0;
    int64_t start = 0;
    int64_t stop = 0;
    // For a track trimmed to its edit list: the presented samples
    // [fromSample, toSample) to deliver, counted after the skipped priming.
    bool trimmed = false;
    uint64_t fromSample = 0;
    uint64_t toSample = 0;
};

// A decoded track trimmed to its edit: `skip` decoded samples dropped, then
// `length` presented, from `frameCount` frames of `samplesPerFrame`.
struct TrimmedTrack {
    uint64_t skip = 0;
    uint64_t length = 0;
    uint32_t rate = 0;
    uint32_t samplesPerFrame = 0;
    uint32_t frameCount = 0;
    int64_t Duration() const;
};

// The segment for positions `current` and `stop` (clamped to the track).
StreamSegment SegmentFor(const CAacFrameTable& frames, int64_t current, int64_t stop);
// The segment of a trimmed track: it starts at the sample at `current` and
// ends with the sample that holds `stop`; start is that first sample's time.
StreamSegment SegmentFor(const TrimmedTrack& track, int64_t current, int64_t stop);
