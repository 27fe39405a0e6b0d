// Stand-in for real decoding: a steady sine whose phase depends only on the
// absolute output sample index, so every run and every seek gives the same
// bytes for the same samples.
#pragma once

#include "AacFrameDecoder.h"

class CToneFrameDecoder : public IAacFrameDecoder {
public:
    static constexpr uint32_t kFrequency = 440;
    static constexpr int16_t kAmplitude = 8192;  // about -12 dBFS

    explicit CToneFrameDecoder(const PcmLayout& layout) : m_layout(layout) {}

    void Reset() override {}
    void DecodeFrame(const uint8_t* data, size_t size, uint64_t firstSample, int16_t* pcm) override;

    // The tone's value at absolute sample `index` for a `rate` Hz stream.
    static int16_t SampleAt(uint64_t index, uint32_t rate);

private:
    PcmLayout m_layout;
};
