#include "AacLcFrameDecoder.h"

#include "AacTables.h"

namespace {

bool ToDecoderConfig(const AudioSpecificConfigInfo& info, aac::DecoderConfig* config) {
    if (info.m_nObjectType < 0 || info.m_nChannelConfiguration < 0 || info.m_nFrameLength <= 0) return false;
    config->objectType = unsigned(info.m_nObjectType);
    config->channelConfiguration = unsigned(info.m_nChannelConfiguration);
    config->frameLength = unsigned(info.m_nFrameLength);
    const unsigned index = unsigned(info.m_nSamplingFrequencyIndex);
    // An explicitly coded frequency uses the tables of the nearest index.
    config->samplingIndex = index < aac::kSamplingIndices ? index : aac::SamplingIndexFor(info.m_dwSamplingFrequency);
    return true;
}

}  // namespace

bool CAacLcFrameDecoder::CanDecode(const AudioSpecificConfigInfo& config) {
    aac::DecoderConfig c;
    aac::LcDecoder probe;
    return ToDecoderConfig(config, &c) && probe.Configure(c);
}

std::unique_ptr<CAacLcFrameDecoder> CAacLcFrameDecoder::Create(const AudioSpecificConfigInfo& config,
                                                               const PcmLayout& layout) {
    aac::DecoderConfig c;
    std::unique_ptr<CAacLcFrameDecoder> decoder(new CAacLcFrameDecoder());
    if (!ToDecoderConfig(config, &c) || !decoder->m_decoder.Configure(c)) return nullptr;
    if (layout.channels != decoder->m_decoder.Channels() || layout.samplesPerFrame != aac::LcDecoder::kFrame)
        return nullptr;
    return decoder;
}

void CAacLcFrameDecoder::DecodeFrame(const uint8_t* data, size_t size, uint64_t, int16_t* pcm) {
    if (!m_decoder.DecodeFrame(data, size, pcm)) ++m_concealed;
}
