// Per-rate tables of AAC-LC: scale factor band edges for long and short
// windows and the TNS band limits; the rates themselves are the
// configuration parser's.
#pragma once

#include <cstdint>

namespace aac {

constexpr unsigned kSamplingIndices = 13;

struct BandTable {
    const uint16_t* offsets;  // count + 1 edges, the last one the window length
    uint8_t count;
};

// Hz for samplingFrequencyIndex 0..12; 0 past that (DsiSamplingFrequency).
uint32_t SamplingFrequency(unsigned index);
// The index whose tables serve an explicitly coded frequency.
unsigned SamplingIndexFor(uint32_t frequency);
const BandTable& LongBands(unsigned index);
const BandTable& ShortBands(unsigned index);
// Highest band TNS may reach.
unsigned TnsMaxBandsLong(unsigned index);
unsigned TnsMaxBandsShort(unsigned index);

}  // namespace aac
