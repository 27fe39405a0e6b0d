// The decoder's parts: codebooks that are complete prefix codes, the fast
// IMDCT against its defining sum, and frames that are cut or corrupted.
#include <gtest/gtest.h>

#include "AacDecodeSupport.h"
#include "aac/AacFilterBank.h"
#include "aac/AacHuffman.h"
#include "aac/AacHuffmanTables.h"
#include "aac/AacLcDecoder.h"
#include "aac/AacTables.h"

#include <cmath>
#include <random>

namespace {

TEST(AacHuffman, EveryCodebookIsACompletePrefixCode) {
    struct Book {
        const aac::HuffEntry* entries;
        unsigned count;
    };
    const Book books[] = {{aac::kScalefactorBook, 121}, {aac::kSpectralBook1, 81},   {aac::kSpectralBook2, 81},
                          {aac::kSpectralBook3, 81},    {aac::kSpectralBook4, 81},   {aac::kSpectralBook5, 81},
                          {aac::kSpectralBook6, 81},    {aac::kSpectralBook7, 64},   {aac::kSpectralBook8, 64},
                          {aac::kSpectralBook9, 169},   {aac::kSpectralBook10, 169}, {aac::kSpectralBook11, 289}};
    for (const Book& b : books) {
        SCOPED_TRACE(b.count);
        double kraft = 0;
        for (unsigned i = 0; i < b.count; ++i) {
            const aac::HuffEntry& e = b.entries[i];
            ASSERT_LT(e.code, 1u << e.length) << i;
            kraft += std::ldexp(1.0, -int(e.length));
            for (unsigned j = 0; j < b.count; ++j) {
                const aac::HuffEntry& f = b.entries[j];
                if (i == j || f.length < e.length) continue;
                ASSERT_NE(e.code, f.code >> (f.length - e.length)) << i << " prefixes " << j;
            }
        }
        EXPECT_DOUBLE_EQ(1.0, kraft);
    }
}

// A spectral codeword's digits, each of the book's modulo, span exactly the
// book's entries.
TEST(AacHuffman, EachSpectralBooksDigitsSpanItsEntries) {
    for (unsigned cb = 1; cb <= 11; ++cb) {
        const unsigned modulo = aac::kSpectralModulo[cb];
        const unsigned entries = cb < 5 ? modulo * modulo * modulo * modulo : modulo * modulo;
        ASSERT_NE(nullptr, aac::SpectralBook(cb));
        EXPECT_EQ(entries, aac::SpectralBook(cb)->Size()) << cb;
    }
}

// The rates come from the configuration parser, the band tables and the
// explicit-rate ranges from here: each rate must land on its own index and
// each index's bands must fill exactly one window.
TEST(AacTables, RatesBandsAndTnsLimitsAgreeIndexByIndex) {
    for (unsigned i = 0; i < aac::kSamplingIndices; ++i) {
        SCOPED_TRACE(i);
        const uint32_t hz = aac::SamplingFrequency(i);
        ASSERT_NE(0u, hz);
        if (i > 0) {
            EXPECT_LT(hz, aac::SamplingFrequency(i - 1));
        }
        // 7350 Hz shares the tables of 8000 Hz.
        EXPECT_EQ(i < aac::kSamplingIndices - 1 ? i : i - 1, aac::SamplingIndexFor(hz));
        const aac::BandTable& longBands = aac::LongBands(i);
        const aac::BandTable& shortBands = aac::ShortBands(i);
        EXPECT_EQ(1024u, longBands.offsets[longBands.count]);
        EXPECT_EQ(128u, shortBands.offsets[shortBands.count]);
        EXPECT_LE(aac::TnsMaxBandsLong(i), longBands.count);
        EXPECT_LE(aac::TnsMaxBandsShort(i), shortBands.count);
    }
    for (unsigned i : {13u, 14u, 15u, 0xFFFFFFFFu}) EXPECT_EQ(0u, aac::SamplingFrequency(i)) << i;
}

TEST(AacFilterBank, ImdctMatchesTheDefinition) {
    for (unsigned n : {256u, 2048u}) {
        std::mt19937 random(n);
        std::uniform_real_distribution<float> value(-1000, 1000);
        std::vector<float> in(n / 2), out(n);
        for (float& v : in) v = value(random);
        aac::Imdct imdct(n);
        imdct.Transform(in.data(), out.data());
        const double n0 = (n / 2.0 + 1) / 2;
        double worst = 0;
        for (unsigned i = 0; i < n; i += 7) {
            double sum = 0;
            for (unsigned k = 0; k < n / 2; ++k)
                sum += in[k] * std::cos(2 * 3.14159265358979323846 / n * (i + n0) * (k + 0.5));
            worst = std::max(worst, std::abs(2.0 / n * sum - out[i]));
        }
        EXPECT_LT(worst, 0.02) << n;
    }
}

class AacDamagedFrames : public ::testing::Test {
protected:
    void SetUp() override {
        m_bytes = ReadBytes(TRN_TESTDATA_DIR "/aac/attack-48000-stereo.m4a");
        ASSERT_EQ(S_OK, OpenTrackBytes(m_track, m_bytes));
        m_decoder = CreateFrameDecoder(m_track);
        ASSERT_TRUE(m_decoder);
        m_pcm.resize(1024 * 2);
    }
    std::vector<uint8_t> FrameBytes(uint32_t i) const {
        const AacFrame& f = m_track.Frames().Frame(i);
        return std::vector<uint8_t>(m_bytes.begin() + f.offset, m_bytes.begin() + f.offset + f.size);
    }
    bool Silent() const {
        return std::all_of(m_pcm.begin(), m_pcm.end(), [](int16_t v) { return v == 0; });
    }
    std::vector<uint8_t> m_bytes;
    CAacTrack m_track;
    std::unique_ptr<IAacFrameDecoder> m_decoder;
    std::vector<int16_t> m_pcm;
};

TEST_F(AacDamagedFrames, CutFramesPlaySilenceAndTheNextFrameDecodes) {
    aac::LcDecoder decoder;
    aac::DecoderConfig config;
    config.samplingIndex = 3;
    ASSERT_TRUE(decoder.Configure(config));
    for (uint32_t i = 5; i < 15; ++i) {
        std::vector<uint8_t> frame = FrameBytes(i);
        for (size_t cut : {size_t(0), size_t(1), frame.size() / 3, frame.size() - 1}) {
            std::vector<uint8_t> part(frame.begin(), frame.begin() + cut);
            std::fill(m_pcm.begin(), m_pcm.end(), int16_t(1));
            EXPECT_FALSE(decoder.DecodeFrame(part.data(), part.size(), m_pcm.data())) << i << " cut " << cut;
            EXPECT_TRUE(Silent());
        }
        EXPECT_TRUE(decoder.DecodeFrame(frame.data(), frame.size(), m_pcm.data())) << i;
    }
    EXPECT_FALSE(decoder.DecodeFrame(nullptr, 0, m_pcm.data()));
}

TEST_F(AacDamagedFrames, CorruptedFramesNeverReadOutsideTheFrame) {
    // Under the sanitizers: random bit flips and garbage, frame after frame.
    std::mt19937 random(7);
    for (int round = 0; round < 3; ++round) {
        for (uint32_t i = 0; i < m_track.Frames().Count(); ++i) {
            std::vector<uint8_t> frame = FrameBytes(i);
            for (int flips = 0; flips < 1 + round * 4; ++flips)
                frame[random() % frame.size()] ^= uint8_t(1u << (random() % 8));
            m_decoder->DecodeFrame(frame.data(), frame.size(), 0, m_pcm.data());
        }
    }
    std::vector<uint8_t> garbage(700);
    for (int i = 0; i < 200; ++i) {
        for (uint8_t& b : garbage) b = uint8_t(random());
        m_decoder->DecodeFrame(garbage.data(), random() % garbage.size(), 0, m_pcm.data());
    }
    // Intact frames decode again afterwards.
    m_decoder->Reset();
    const std::vector<uint8_t> frame = FrameBytes(10);
    m_decoder->DecodeFrame(frame.data(), frame.size(), 0, m_pcm.data());
    EXPECT_FALSE(Silent());
}

TEST(AacTrimmedSegment, SeeksLandOnTheSampleAfterThePriming) {
    const TrimmedTrack t{1024, 88200, 44100, 1024, 88};
    EXPECT_EQ(20000000, t.Duration());
    StreamSegment all = SegmentFor(t, 0, INT64_MAX);
    EXPECT_EQ(0u, all.fromSample);
    EXPECT_EQ(88200u, all.toSample);
    EXPECT_EQ(1u, all.firstFrame);  // frame 0 is all priming
    EXPECT_EQ(88u, all.endFrame);
    StreamSegment mid = SegmentFor(t, 7500000, 10000000);
    EXPECT_EQ(33075u, mid.fromSample);
    EXPECT_EQ(44100u, mid.toSample);
    EXPECT_EQ((1024u + 33075) / 1024, mid.firstFrame);
    EXPECT_EQ((1024u + 44099) / 1024 + 1, mid.endFrame);
    EXPECT_EQ(7500000, mid.start);
    StreamSegment past = SegmentFor(t, 30000000, INT64_MAX);
    EXPECT_EQ(past.firstFrame, past.endFrame);
    StreamSegment negative = SegmentFor(t, -5, -1);
    EXPECT_EQ(negative.firstFrame, negative.endFrame);
}

}  // namespace

namespace {

TEST(AacDamagedFrame, UnstableFilterOutputIsSilenceNotNan) {
    // Found by the fuzz target: the first byte picks the configuration.
    const std::vector<uint8_t> input = ReadBytes(TRN_TESTDATA_DIR "/aac/unstable-tns-frame.bin");
    ASSERT_GT(input.size(), 1u);
    aac::LcDecoder decoder;
    aac::DecoderConfig config;
    config.samplingIndex = input[0] % 12;
    config.channelConfiguration = (input[0] >> 4) % 2 + 1;
    ASSERT_TRUE(decoder.Configure(config));
    std::vector<int16_t> pcm(1024 * decoder.Channels(), 1);
    for (int i = 0; i < 2; ++i) decoder.DecodeFrame(input.data() + 1, input.size() - 1, pcm.data());
    EXPECT_TRUE(std::all_of(pcm.begin(), pcm.end(), [](int16_t v) { return v == 0; }));
}

}  // namespace
