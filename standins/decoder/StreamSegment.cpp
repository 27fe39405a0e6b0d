#include "StreamSegment.h"

#include "MediaTime.h"

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

namespace {

// Samples of a `rate` Hz clock in `time` (100-ns), floored, or rounded up.
uint64_t SamplesIn(int64_t time, uint32_t rate, bool roundUp) {
    if (time <= 0) return 0;
    const uint64_t t = uint64_t(time);
    const uint64_t whole = t / kReferenceTimeUnits, part = t % kReferenceTimeUnits;
    const uint64_t partSamples = (part * rate + (roundUp ? kReferenceTimeUnits - 1 : 0)) / kReferenceTimeUnits;
    if (whole > UINT64_MAX / 2 / (rate ? rate : 1)) return UINT64_MAX / 2;
    return whole * rate + partSamples;
}

}  // namespace

int64_t TrimmedTrack::Duration() const { return ScaleToReferenceTime(length, rate); }

StreamSegment SegmentFor(const TrimmedTrack& track, int64_t current, int64_t stop) {
    StreamSegment segment;
    segment.trimmed = true;
    if (track.samplesPerFrame == 0 || track.rate == 0) return segment;
    stop = std::max<int64_t>(0, std::min(stop, track.Duration()));
    segment.fromSample = std::min(SamplesIn(current, track.rate, false), track.length);
    segment.toSample = std::max(segment.fromSample, std::min(SamplesIn(stop, track.rate, true), track.length));
    const uint64_t first = (track.skip + segment.fromSample) / track.samplesPerFrame;
    const uint64_t end =
        segment.toSample > segment.fromSample ? (track.skip + segment.toSample - 1) / track.samplesPerFrame + 1 : first;
    segment.firstFrame = uint32_t(std::min<uint64_t>(first, track.frameCount));
    segment.endFrame = uint32_t(std::min<uint64_t>(end, track.frameCount));
    segment.start = ScaleToReferenceTime(segment.fromSample, track.rate);
    segment.stop = stop;
    return segment;
}
