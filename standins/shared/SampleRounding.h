// Float PCM to a 16-bit sample, rounded half to even and saturated, as
// nearbyint would give it. The C library's nearbyint saves and restores the
// whole floating-point environment on every call, which made it the costliest
// line of a decode; lrint rounds the same way in one instruction. Clamping
// first keeps lrint in range and gives what rounding then clamping gives.
#pragma once

#include <cmath>
#include <cstdint>

inline int16_t RoundToSample(float v) {
    if (!(v < 32767.0f)) return 32767;  // NaN included: callers check finiteness first
    if (v < -32768.0f) return -32768;
    return static_cast<int16_t>(std::lrint(v));
}
