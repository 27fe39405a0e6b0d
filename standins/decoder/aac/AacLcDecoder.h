// AAC-LC raw_data_block decoder (ISO/IEC 14496-3 general audio, low
// complexity profile): single, channel-pair and LFE elements, fill and data
// stream elements skipped; section data, scale factors, spectral Huffman
// decoding, inverse quantisation, pulse data, M/S and intensity stereo,
// noise substitution, TNS and the filter bank. Everything a frame says is
// checked against the configuration before it is used: a frame that does
// not parse is reported, never half-applied past the buffers.
#pragma once

#include "AacFilterBank.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace aac {

struct DecoderConfig {
    unsigned objectType = 2;     // audioObjectType of the core
    unsigned samplingIndex = 4;  // samplingFrequencyIndex of the core
    unsigned channelConfiguration = 2;
    unsigned frameLength = 1024;  // 1024 only; 960 is refused
};

// What the decoded frames used, counted per band and window group, so that
// tests can tell which coding tools a stream really exercises.
struct DecoderStats {
    uint64_t frames = 0;               // decoded without error
    uint64_t noiseBands = 0;           // noise substitution (codebook 13)
    uint64_t intensityBands = 0;       // intensity stereo (codebooks 14 and 15)
    uint64_t msBands = 0;              // mid/side
    uint64_t shortWindowChannels = 0;  // channels coded with eight short windows
};

class LcDecoder {
public:
    static constexpr unsigned kFrame = 1024;
    static constexpr unsigned kMaxChannels = 8;

    // False for a configuration this decoder cannot follow.
    bool Configure(const DecoderConfig& config);
    unsigned Channels() const { return m_channels; }

    // Decodes one raw_data_block into kFrame interleaved samples per channel
    // (in the WAVE channel order). False when the frame is corrupt or
    // truncated; `pcm` is then silence and the overlap forgotten.
    bool DecodeFrame(const uint8_t* data, size_t size, int16_t* pcm);
    void Reset();
    const DecoderStats& Stats() const { return m_stats; }

private:
    void Silence(int16_t* pcm);

    DecoderConfig m_config;
    unsigned m_channels = 0;
    std::vector<std::unique_ptr<FilterBank>> m_banks;
    std::vector<std::vector<float>> m_output;  // per channel, one frame
    uint32_t m_noiseSeed = 0x1F2E3D4Cu;
    DecoderStats m_stats;
};

}  // namespace aac
