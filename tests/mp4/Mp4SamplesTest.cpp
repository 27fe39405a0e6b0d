// The committed sample files against what ffprobe reported for them.
#include "common/SmfAbsStreamImpl.h"
#include "mp4/Mp4File.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

std::wstring Widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }

std::string SamplePath(const std::string& name) {
#ifdef _WIN32
    // Wine maps the Unix root to drive Z:.
    return std::string("Z:") + TRN_TESTDATA_DIR + "/" + name;
#else
    return std::string(TRN_TESTDATA_DIR) + "/" + name;
#endif
}

struct Probe {
    std::string file;
    uint32_t rate = 0, channels = 0, timescale = 0, ticks = 0;
    double seconds = 0;
};

// Sampling frequency and channel configuration of an AudioSpecificConfig
// with a 5-bit object type (what the encoder writes).
void AscRateAndChannels(const std::vector<uint8_t>& asc, uint32_t& rate, uint32_t& channels) {
    static const uint32_t kRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                      22050, 16000, 12000, 11025, 8000,  7350};
    rate = channels = 0;
    if (asc.size() < 2) return;
    uint32_t index = ((asc[0] & 0x07) << 1) | (asc[1] >> 7);
    rate = index < 13 ? kRates[index] : 0;
    channels = (asc[1] >> 3) & 0x0F;
    if (channels == 7) channels = 8;
}

std::vector<Probe> ReadProbes() {
    std::vector<Probe> out;
    std::ifstream in(std::string(TRN_TESTDATA_DIR) + "/ffprobe.txt");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        Probe p;
        if (fields >> p.file >> p.rate >> p.channels >> p.timescale >> p.ticks >> p.seconds) out.push_back(p);
    }
    return out;
}

TEST(Samples, AgreeWithFfprobe) {
    std::vector<Probe> probes = ReadProbes();
    ASSERT_GE(probes.size(), 8u);
    for (const Probe& p : probes) {
        SCOPED_TRACE(p.file);
        const ComPtr<ISmfAbsStream> stream = AdoptComPtr(OpenFileStream(Widen(SamplePath(p.file)).c_str()));
        CMp4File mp4;
        ASSERT_EQ(S_OK, mp4.Initialize(stream.get()));
        std::vector<uint32_t> audio, video;
        ASSERT_EQ(S_OK, mp4.GetTrackIds(audio, video));
        ASSERT_FALSE(audio.empty());
        ASSERT_EQ(S_OK, mp4.SetAudioTrackId(audio[0]));
        uint32_t bits = 0, rate = 0, channels = 0, timescale = 0, duration = 0;
        ASSERT_EQ(S_OK, mp4.GetAudioSampleDescription(&bits, &rate, &channels));
        ASSERT_EQ(S_OK, mp4.GetMediaTimescale(&timescale));
        ASSERT_EQ(S_OK, mp4.GetMediaDuration(&duration));
        std::vector<uint8_t> dsi;
        EXPECT_EQ(S_OK, mp4.GetDecoderSpecificInformation(dsi));
        EXPECT_GE(dsi.size(), 2u);
        // The sample entry states the rate when it fits 16 bits; the real
        // channel count is in the decoder configuration.
        EXPECT_EQ(p.rate < 0x10000 ? p.rate : 0u, rate);
        uint32_t ascRate = 0, ascChannels = 0;
        AscRateAndChannels(dsi, ascRate, ascChannels);
        EXPECT_EQ(p.rate, ascRate);
        EXPECT_EQ(p.channels, ascChannels);
        EXPECT_EQ(p.timescale, timescale);
        EXPECT_EQ(p.ticks, duration);
        EXPECT_EQ(p.file == "video-and-audio.mp4" ? 1u : 0u, video.size());
    }
}

}  // namespace
