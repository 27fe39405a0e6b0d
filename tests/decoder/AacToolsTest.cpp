// The coding tools the accuracy files stand for are really in them, and
// noise substitution, whose noise is random, agrees with ffmpeg's decode in
// level band by band while the coded tones beside it agree sample by sample.
#include <gtest/gtest.h>

#include "AacDecodeSupport.h"
#include "Spectrum.h"
#include "aac/AacLcFrameDecoder.h"

#include <cstdio>

namespace {

struct Decoded {
    aac::DecoderStats stats;
    uint64_t concealed = 0;
    std::vector<int16_t> pcm;
    PcmLayout layout;
};

Decoded Decode(const std::string& name) {
    Decoded d;
    const std::vector<uint8_t> bytes = ReadBytes(AacPath(name + ".m4a"));
    CAacTrack track;
    if (bytes.empty() || OpenTrackBytes(track, bytes) != S_OK) return d;
    std::unique_ptr<CAacLcFrameDecoder> decoder = CAacLcFrameDecoder::Create(track.Config(), track.Layout());
    if (!decoder) return d;
    d.pcm = DecodeTrackWith(decoder.get(), track, bytes);
    d.stats = decoder->Stats();
    d.concealed = decoder->ConcealedFrames();
    d.layout = track.Layout();
    return d;
}

TEST(AacTools, EachFileUsesTheToolItStandsFor) {
    const Decoded intensity = Decode("intensity-44100-stereo");
    EXPECT_GT(intensity.stats.intensityBands, 100u);
    const Decoded noise = Decode("noise-44100-stereo");
    EXPECT_GT(noise.stats.noiseBands, 100u);
    EXPECT_EQ(0u, noise.stats.intensityBands);
    const Decoded attack = Decode("attack-48000-stereo");
    EXPECT_GT(attack.stats.shortWindowChannels, 0u);
    const Decoded music = Decode("music-44100-stereo");
    EXPECT_GT(music.stats.msBands, 0u);
    for (const Decoded* d : {&intensity, &noise, &attack, &music}) {
        EXPECT_EQ(0u, d->concealed);
        EXPECT_GT(d->stats.frames, 40u);
    }
}

TEST(AacTools, FramesThatFailAreNotCounted) {
    const std::vector<uint8_t> bytes = ReadBytes(AacPath("noise-44100-stereo.m4a"));
    CAacTrack track;
    ASSERT_EQ(S_OK, OpenTrackBytes(track, bytes));
    std::unique_ptr<CAacLcFrameDecoder> decoder = CAacLcFrameDecoder::Create(track.Config(), track.Layout());
    ASSERT_TRUE(decoder);
    std::vector<int16_t> pcm(size_t(track.Layout().FrameBytes()) / 2);
    const AacFrame& f = track.Frames().Frame(10);
    decoder->DecodeFrame(bytes.data() + f.offset, f.size / 2, 0, pcm.data());  // cut in half
    EXPECT_EQ(1u, decoder->ConcealedFrames());
    EXPECT_EQ(0u, decoder->Stats().frames);
    EXPECT_EQ(0u, decoder->Stats().noiseBands);
}

// The encoder put the noise into long-window bands 24-26 and 28-29
// (4.2-5.7 kHz, 6.3-7.6 kHz at 44100 Hz); the tones below 1 kHz and the
// finely coded noise up to 4 kHz are ordinary bands.
TEST(AacTools, SubstitutedNoiseHasTheReferenceLevel) {
    const Decoded d = Decode("noise-44100-stereo");
    ASSERT_FALSE(d.pcm.empty());
    const std::vector<int16_t> reference = ReadPcm(AacPath("noise-44100-stereo.pcm"));
    ASSERT_GE(reference.size(), d.pcm.size());
    const size_t length = d.pcm.size() / 2;
    const unsigned rate = d.layout.rate;
    struct Band {
        double low, high;
    };
    const Band noise[] = {{4220, 5680}, {6300, 7570}};
    for (unsigned channel = 0; channel < 2; ++channel) {
        SCOPED_TRACE(channel);
        const auto want = spectrum::Frames(reference, 2, channel, length);
        const auto got = spectrum::Frames(d.pcm, 2, channel, length);
        ASSERT_GT(got.size(), 50u);
        for (const Band& b : noise) {
            // Per band over the whole file, and over each quarter of it.
            const double level = spectrum::LevelDb(want, got, rate, b.low, b.high);
            std::printf("[ level    ] channel %u %.0f-%.0f Hz %+.2f dB\n", channel, b.low, b.high, level);
            EXPECT_NEAR(0.0, level, 1.5) << b.low;
            const size_t quarter = got.size() / 4;
            for (size_t q = 0; q < 4; ++q) {
                const std::vector<spectrum::Bins> w(want.begin() + q * quarter, want.begin() + (q + 1) * quarter);
                const std::vector<spectrum::Bins> g(got.begin() + q * quarter, got.begin() + (q + 1) * quarter);
                EXPECT_NEAR(0.0, spectrum::LevelDb(w, g, rate, b.low, b.high), 1.5) << b.low << " quarter " << q;
            }
        }
        const double tones = spectrum::BandSnrDb(want, got, rate, 0, 4000);
        std::printf("[ snr      ] channel %u 0-4000 Hz %.1f dB\n", channel, tones);
        EXPECT_GE(tones, 60.0);
    }
}

}  // namespace
