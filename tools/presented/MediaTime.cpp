#include "MediaTime.h"

#include <limits>

int64_t ScaleToReferenceTime(uint64_t value, uint32_t rate) {
    if (rate == 0) return 0;
    const uint64_t whole = value / rate;
    const uint64_t part = value % rate;  // < 2^32, so part * 10^7 < 2^56
    constexpr uint64_t kMax = uint64_t(std::numeric_limits<int64_t>::max());
    if (whole > kMax / kReferenceTimeUnits) return std::numeric_limits<int64_t>::max();
    const uint64_t result = whole * kReferenceTimeUnits + part * kReferenceTimeUnits / rate;
    return result > kMax ? std::numeric_limits<int64_t>::max() : int64_t(result);
}
