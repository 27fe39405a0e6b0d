// The tables of AAC-LC other than the Huffman codebooks: per rate the scale
// factor band edges for long and short windows and the TNS band limits (the
// rates themselves are the configuration parser's), the inverse
// quantisation, and the channels of each channel configuration.
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

// Largest quantised magnitude a frame can code: the escape limit plus the
// largest pulse.
constexpr unsigned kMaxQuant = 8191 + 15;
struct QuantTables {
    float pow43[kMaxQuant + 1];  // q^(4/3)
    float gain[256];             // 2^(0.25 (sf - 100)) per scale factor
};
// Built on first use.
const QuantTables& Quantisation();

// Channels of channelConfiguration 1..7; 0 for the others.
unsigned ConfigurationChannels(unsigned configuration);
// For channelConfiguration 1..7, the decoded channel (in element order,
// centre first) that each output channel takes, in the WAVE order (front
// left, right, centre, LFE, surrounds); ConfigurationChannels() entries.
const uint8_t* WaveOrder(unsigned configuration);

}  // namespace aac
