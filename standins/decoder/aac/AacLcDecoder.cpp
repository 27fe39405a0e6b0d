#include "AacLcDecoder.h"

#include "AacBitReader.h"
#include "AacHuffman.h"
#include "AacSyntax.h"
#include "AacTables.h"
#include "AacTools.h"
#include "standins/shared/SampleRounding.h"

#include <cmath>
#include <cstring>

namespace aac {

namespace {

// Runs the tools on each channel as the syntax reader hands it over, and
// the filter bank on each complete element; counts the tools the frame used.
class ElementDecoder final : public ElementSink {
public:
    ElementDecoder(unsigned samplingIndex, std::vector<std::unique_ptr<FilterBank>>& banks,
                   std::vector<std::vector<float>>& output, uint32_t& noiseSeed)
        : m_samplingIndex(samplingIndex), m_banks(banks), m_output(output), m_noiseSeed(noiseSeed) {}

    const DecoderStats& Used() const { return m_used; }

    void ChannelRead(ChannelData& ch) override {
        Count(ch);
        ApplyPulses(ch);
        Dequantise(ch);
        SubstituteNoise(ch, m_noiseSeed);
    }

    void SingleChannel(ChannelData& ch, unsigned index) override { Finish(ch, index); }

    void ChannelPair(ChannelData& left, ChannelData& right, const StereoData& stereo, unsigned index) override {
        if (stereo.commonWindow) {  // M/S and intensity need a shared window
            for (unsigned g = 0; g < left.ics.numGroups; ++g)
                for (unsigned sfb = 0; sfb < left.ics.maxSfb; ++sfb) m_used.msBands += stereo.msUsed[g][sfb];
            IntensityStereo(left, right, stereo);
            CorrelateNoise(left, right, stereo);
            MidSide(left, right, stereo);
        }
        Finish(left, index);
        Finish(right, index + 1);
    }

private:
    void Count(const ChannelData& ch) {
        if (ch.ics.Short()) ++m_used.shortWindowChannels;
        for (unsigned g = 0; g < ch.ics.numGroups; ++g) {
            for (unsigned sfb = 0; sfb < ch.ics.maxSfb; ++sfb) {
                m_used.noiseBands += ch.cb[g][sfb] == NOISE_HCB;
                m_used.intensityBands += IsIntensity(ch.cb[g][sfb]);
            }
        }
    }

    void Finish(ChannelData& ch, unsigned channel) {
        ApplyTns(ch, m_samplingIndex);
        m_banks[channel]->Synthesize(ch.spec, WindowSequence(ch.ics.windowSequence), ch.ics.windowShape,
                                     m_output[channel].data());
    }

    unsigned m_samplingIndex;
    std::vector<std::unique_ptr<FilterBank>>& m_banks;
    std::vector<std::vector<float>>& m_output;
    uint32_t& m_noiseSeed;
    DecoderStats m_used;
};

}  // namespace

bool LcDecoder::Configure(const DecoderConfig& config) {
    m_channels = 0;
    if (config.objectType != 2 && config.objectType != 1 && config.objectType != 4) return false;
    if (config.samplingIndex >= kSamplingIndices || config.frameLength != kFrame) return false;
    if (config.channelConfiguration < 1 || config.channelConfiguration > 7) return false;
    m_config = config;
    m_channels = ConfigurationChannels(config.channelConfiguration);
    m_banks.clear();
    m_output.assign(m_channels, std::vector<float>(kFrame));
    for (unsigned c = 0; c < m_channels; ++c) m_banks.push_back(std::make_unique<FilterBank>());
    Windows();
    Quantisation();
    ScalefactorBook();
    SpectralBook(1);
    return true;
}

void LcDecoder::Reset() {
    for (auto& bank : m_banks) bank->Reset();
}

void LcDecoder::Silence(int16_t* pcm) { std::memset(pcm, 0, sizeof(int16_t) * kFrame * m_channels); }

bool LcDecoder::DecodeFrame(const uint8_t* data, size_t size, int16_t* pcm) {
    if (m_channels == 0) return false;
    BitReader reader(data, size);
    // The reader's channel buffers are large: keep them off the stack.
    const std::unique_ptr<SyntaxReader> syntax = std::make_unique<SyntaxReader>(reader, m_config.samplingIndex);
    ElementDecoder elements(m_config.samplingIndex, m_banks, m_output, m_noiseSeed);
    if (!syntax->RawDataBlock(m_channels, elements)) {
        Reset();
        Silence(pcm);
        return false;
    }
    const uint8_t* order = WaveOrder(m_config.channelConfiguration);
    for (unsigned c = 0; c < m_channels; ++c) {
        const float* in = m_output[order[c]].data();
        int16_t* out = pcm + c;
        for (unsigned n = 0; n < kFrame; ++n, out += m_channels) {
            const float v = in[n];
            if (!std::isfinite(v)) {
                // A hostile frame can make TNS unstable: nothing of it may stay in the overlap.
                Reset();
                Silence(pcm);
                return false;
            }
            *out = RoundToSample(v);
        }
    }
    const DecoderStats& used = elements.Used();
    ++m_stats.frames;
    m_stats.noiseBands += used.noiseBands;
    m_stats.intensityBands += used.intensityBands;
    m_stats.msBands += used.msBands;
    m_stats.shortWindowChannels += used.shortWindowChannels;
    return true;
}

}  // namespace aac
