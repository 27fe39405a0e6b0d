#include "StreamSegment.h"

#include <algorithm>

StreamSegment SegmentFor(const CAacFrameTable& frames, int64_t current, int64_t stop) {
    stop = std::max<int64_t>(0, std::min(stop, frames.Duration()));
    StreamSegment segment;
    segment.firstFrame = frames.FrameAt(current);
    segment.endFrame = frames.FrameAt(stop);
    if (segment.endFrame < frames.Count() && frames.FrameStartTime(segment.endFrame) < stop) ++segment.endFrame;
    segment.endFrame = std::max(segment.endFrame, segment.firstFrame);
    segment.start = frames.FrameStartTime(segment.firstFrame);
    segment.stop = stop;
    return segment;
}
