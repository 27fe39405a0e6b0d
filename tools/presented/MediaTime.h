// Conversions between media clocks (track timescale, PCM sample rate) and
// 100-ns reference time. Exact integer arithmetic, saturating instead of
// wrapping, so that hostile timescales cannot produce negative times.
#pragma once

#include <cstdint>

constexpr int64_t kReferenceTimeUnits = 10000000;  // 100-ns units per second

// `value` ticks of a `rate` Hz clock in 100-ns units (floored); 0 for a zero rate.
int64_t ScaleToReferenceTime(uint64_t value, uint32_t rate);
