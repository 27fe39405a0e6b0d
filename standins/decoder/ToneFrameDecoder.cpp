#include "ToneFrameDecoder.h"

#include <cmath>

int16_t CToneFrameDecoder::SampleAt(uint64_t index, uint32_t rate) {
    if (rate == 0) return 0;
    // The phase is reduced in integers first: no drift however far in.
    const uint64_t cycle = (index % rate) * kFrequency % rate;
    const double phase = 2.0 * 3.14159265358979323846 * double(cycle) / double(rate);
    return int16_t(std::lround(kAmplitude * std::sin(phase)));
}

void CToneFrameDecoder::DecodeFrame(const uint8_t*, size_t, uint64_t firstSample, int16_t* pcm) {
    for (uint32_t i = 0; i < m_layout.samplesPerFrame; ++i) {
        const int16_t value = SampleAt(firstSample + i, m_layout.rate);
        for (uint32_t c = 0; c < m_layout.channels; ++c) *pcm++ = value;
    }
}
