// The AAC-LC decoder behind the filter's frames-to-PCM step. A frame that
// cannot be decoded plays as silence and the next one starts afresh.
#pragma once

#include "AacFrameDecoder.h"
#include "AacLcDecoder.h"
#include "common/Mp4DsiParser.h"

#include <memory>

class CAacLcFrameDecoder : public IAacFrameDecoder {
public:
    // True when the configuration describes a stream this decoder follows:
    // an AAC-LC core (HE-AAC included) of 1024-sample frames, channel
    // configuration 1 to 7.
    static bool CanDecode(const AudioSpecificConfigInfo& config);
    // Null when the configuration cannot be decoded or the layout does not
    // match it.
    static std::unique_ptr<CAacLcFrameDecoder> Create(const AudioSpecificConfigInfo& config, const PcmLayout& layout);

    void Reset() override { m_decoder.Reset(); }
    void DecodeFrame(const uint8_t* data, size_t size, uint64_t firstSample, int16_t* pcm) override;

    uint64_t ConcealedFrames() const { return m_concealed; }
    const aac::DecoderStats& Stats() const { return m_decoder.Stats(); }

private:
    CAacLcFrameDecoder() = default;

    aac::LcDecoder m_decoder;
    uint64_t m_concealed = 0;
};
