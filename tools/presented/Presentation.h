// The arithmetic of the presented length: which decoded samples an edit list
// keeps, and how many frames the graph delivers at the output rate. The
// decoder stand-in and the tools call the same functions. Portable.
#pragma once

#include "EditList.h"

#include <cstdint>
#include <vector>

namespace presented {

// Samples at the decode rate: `skip` decoded samples dropped at the start,
// then `presented` delivered.
struct Presentation {
    uint64_t skip = 0;
    uint64_t presented = 0;
    bool edited = false;  // a non-empty edit applied
};

// The first non-empty edit (media_time != -1; leading empty edits insert no
// delay) decides: skip = floor(media_time * decodeRate / mediaTimescale),
// at most `decoded`; presented = decoded - skip, bounded by
// ceil(segment_duration * decodeRate / movieTimescale) unless
// segment_duration or movieTimescale is 0 (to the end). Without such an edit,
// or with a zero decodeRate or mediaTimescale, every decoded sample is
// presented. Negative media times other than -1 count as empty edits (the
// reader refuses them). Products of 64-bit values are formed without overflow.
Presentation Present(const std::vector<EditEntry>& entries, uint64_t decoded, uint32_t decodeRate,
                     uint32_t movieTimescale, uint32_t mediaTimescale);

// floor(value * numerator / denominator) and the same rounded up, saturating
// at UINT64_MAX; 0 for a zero denominator.
uint64_t ScaleDown(uint64_t value, uint32_t numerator, uint32_t denominator);
uint64_t ScaleUp(uint64_t value, uint32_t numerator, uint32_t denominator);

// Frames the wave fitter delivers for `frames` input frames at `inRate`,
// converted to `outRate`, from the start of the stream to its end: its
// resampler places output frame k at input time k * inRate / outRate and
// emits every output whose time lies before the end of the input, so the
// count is exactly ceil(frames * outRate / inRate) (equal rates: `frames`).
// 0 for a zero rate.
uint64_t OutputFrames(uint64_t frames, uint32_t inRate, uint32_t outRate);

// Bytes of 16-bit LPCM for `frames` frames of `channels` channels (the wave
// fitter always delivers 2 channels, mono duplicated).
inline uint64_t L16Bytes(uint64_t frames, uint32_t channels = 2) { return frames * channels * 2; }

}  // namespace presented
