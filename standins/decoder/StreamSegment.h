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
};

// The segment for positions `current` and `stop` (clamped to the track).
StreamSegment SegmentFor(const CAacFrameTable& frames, int64_t current, int64_t stop);
