#include "Presentation.h"

#include <algorithm>

namespace presented {

namespace {

// q * n + r * n / d with value = q * d + r: r * n < 2^64, q * n may saturate.
uint64_t Scale(uint64_t value, uint32_t numerator, uint32_t denominator, bool up) {
    if (denominator == 0) return 0;
    const uint64_t q = value / denominator;
    const uint64_t r = value % denominator;
    const uint64_t rn = r * numerator;  // < 2^64 - 2^33 + 2
    uint64_t part = rn / denominator;
    if (up && rn % denominator != 0) ++part;
    if (numerator != 0 && q > (UINT64_MAX - part) / numerator) return UINT64_MAX;
    return q * numerator + part;
}

}  // namespace

uint64_t ScaleDown(uint64_t value, uint32_t numerator, uint32_t denominator) {
    return Scale(value, numerator, denominator, false);
}

uint64_t ScaleUp(uint64_t value, uint32_t numerator, uint32_t denominator) {
    return Scale(value, numerator, denominator, true);
}

Presentation Present(const std::vector<EditEntry>& entries, uint64_t decoded, uint32_t decodeRate,
                     uint32_t movieTimescale, uint32_t mediaTimescale) {
    Presentation p;
    p.presented = decoded;
    if (decodeRate == 0 || mediaTimescale == 0) return p;
    for (const EditEntry& entry : entries) {
        if (entry.mediaTime < 0) continue;  // an empty edit: no delay inserted
        p.edited = true;
        p.skip = std::min(ScaleDown(uint64_t(entry.mediaTime), decodeRate, mediaTimescale), decoded);
        p.presented = decoded - p.skip;
        if (entry.segmentDuration != 0 && movieTimescale != 0)
            p.presented = std::min(p.presented, ScaleUp(entry.segmentDuration, decodeRate, movieTimescale));
        return p;
    }
    return p;
}

uint64_t OutputFrames(uint64_t frames, uint32_t inRate, uint32_t outRate) {
    if (inRate == 0 || outRate == 0) return 0;
    if (inRate == outRate) return frames;
    return ScaleUp(frames, outRate, inRate);
}

}  // namespace presented
