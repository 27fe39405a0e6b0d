// The stand-in PCM: same bytes on every run, and the tail of a full run
// equals a run started at any frame.
#include <gtest/gtest.h>

#include "ToneFrameDecoder.h"

#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

std::vector<int16_t> Decode(const PcmLayout& layout, uint32_t firstFrame, uint32_t frames) {
    CToneFrameDecoder decoder(layout);
    std::vector<int16_t> pcm(size_t(frames) * layout.samplesPerFrame * layout.channels);
    for (uint32_t i = 0; i < frames; ++i)
        decoder.DecodeFrame(nullptr, 0, uint64_t(firstFrame + i) * layout.samplesPerFrame,
                            pcm.data() + size_t(i) * layout.samplesPerFrame * layout.channels);
    return pcm;
}

TEST(ToneFrameDecoder, TwoRunsGiveTheSameSamples) {
    const PcmLayout layout{48000, 2, 1024};
    EXPECT_EQ(Decode(layout, 0, 20), Decode(layout, 0, 20));
}

TEST(ToneFrameDecoder, OutputFromAFrameIsTheTailOfTheFullOutput) {
    for (const PcmLayout layout : {PcmLayout{22050, 1, 1024}, PcmLayout{44100, 1, 2048}, PcmLayout{48000, 6, 1024}}) {
        const std::vector<int16_t> full = Decode(layout, 0, 40);
        const std::vector<int16_t> tail = Decode(layout, 17, 23);
        const size_t skip = size_t(17) * layout.samplesPerFrame * layout.channels;
        EXPECT_TRUE(std::equal(tail.begin(), tail.end(), full.begin() + skip)) << layout.rate;
    }
}

TEST(ToneFrameDecoder, IsA440HzToneWithoutJumps) {
    const PcmLayout layout{44100, 2, 1024};
    const std::vector<int16_t> pcm = Decode(layout, 0, 44);  // about 1.02 s
    // Neighbouring samples never differ by more than the sine's steepest step.
    const double step = 2 * 3.14159265358979 * 440 / 44100 * CToneFrameDecoder::kAmplitude + 1;
    int crossings = 0;
    int peak = 0;
    for (size_t i = 2; i < pcm.size(); i += 2) {
        EXPECT_EQ(pcm[i], pcm[i + 1]) << "channels differ at " << i;
        ASSERT_LE(std::abs(pcm[i] - pcm[i - 2]), step) << i;
        if ((pcm[i - 2] < 0) != (pcm[i] < 0)) ++crossings;
        peak = std::max(peak, std::abs(int(pcm[i])));
    }
    const double seconds = double(pcm.size() / 2) / 44100;
    EXPECT_NEAR(2 * 440 * seconds, crossings, 2);
    EXPECT_EQ(CToneFrameDecoder::kAmplitude, peak);
}

TEST(ToneFrameDecoder, PhaseStaysExactFarIntoTheStream) {
    // A day into a 48 kHz stream the tone is where a fresh start puts it.
    const uint64_t day = 86400ull * 48000;
    for (uint64_t i = 0; i < 1000; ++i)
        EXPECT_EQ(CToneFrameDecoder::SampleAt(i, 48000), CToneFrameDecoder::SampleAt(day + i, 48000));
}

}  // namespace
