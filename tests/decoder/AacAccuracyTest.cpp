// The decoder against ffmpeg's own decode of the same files (made by
// testdata/aac/make-aac-tests.sh): the edit list's length exactly (ffmpeg's
// decode keeps the encoder's tail padding, so it runs up to a frame longer),
// and an SNR of at least 60 dB over that length.
#include <gtest/gtest.h>

#include "AacDecodeSupport.h"

#include <cmath>
#include <cstdio>

namespace {

struct AccuracyCase {
    const char* name;
    uint32_t rate;
    uint32_t channels;
    double seconds;
};

const AccuracyCase kCases[] = {
    {"tone-8000-mono", 8000, 1, 1.5},          {"clicks-16000-mono", 16000, 1, 1.5},
    {"tones-22050-stereo", 22050, 2, 1.5},     {"bursts-32000-stereo", 32000, 2, 1.5},
    {"music-44100-stereo", 44100, 2, 2.0},     {"attack-48000-stereo", 48000, 2, 1.5},
    {"intensity-44100-stereo", 44100, 2, 1.5},
};

double SnrDb(const std::vector<int16_t>& reference, const std::vector<int16_t>& decoded) {
    double signal = 0, noise = 0;
    const size_t n = std::min(reference.size(), decoded.size());
    for (size_t i = 0; i < n; ++i) {
        const double d = double(reference[i]) - decoded[i];
        signal += double(reference[i]) * reference[i];
        noise += d * d;
    }
    if (noise == 0) return 200;
    return 10 * std::log10(signal / noise);
}

class AacAccuracy : public ::testing::TestWithParam<AccuracyCase> {};

TEST_P(AacAccuracy, MatchesTheReferenceDecode) {
    const AccuracyCase& c = GetParam();
    const std::vector<uint8_t> bytes = ReadBytes(AacPath(std::string(c.name) + ".m4a"));
    ASSERT_FALSE(bytes.empty());
    CAacTrack track;
    ASSERT_EQ(S_OK, OpenTrackBytes(track, bytes));
    EXPECT_EQ(c.rate, track.Layout().rate);
    EXPECT_EQ(c.channels, track.Layout().channels);
    EXPECT_EQ(1024u, track.SkipSamples());  // ffmpeg's encoder priming, from the edit list

    const std::vector<int16_t> reference = ReadPcm(AacPath(std::string(c.name) + ".pcm"));
    const std::vector<int16_t> decoded = DecodeTrack(track, bytes);
    ASSERT_FALSE(reference.empty());
    EXPECT_EQ(size_t(std::lround(c.seconds * c.rate)) * c.channels, decoded.size());
    EXPECT_GE(reference.size(), decoded.size());
    EXPECT_LT(reference.size(), decoded.size() + 1024 * c.channels);
    const double snr = SnrDb(reference, decoded);
    std::printf("[ snr      ] %s %.1f dB\n", c.name, snr);
    EXPECT_GE(snr, 60.0) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Files, AacAccuracy, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<AccuracyCase>& info) {
                             std::string name = info.param.name;
                             for (char& ch : name)
                                 if (ch == '-') ch = '_';
                             return name;
                         });

}  // namespace
