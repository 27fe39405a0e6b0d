// The syntax alone: a channel pair written bit by bit, read back into
// per-channel data without any tool having run.
#include <gtest/gtest.h>

#include "aac/AacHuffmanTables.h"
#include "aac/AacSyntax.h"
#include "aac/AacTables.h"

#include <memory>
#include <string>
#include <vector>

namespace {

constexpr unsigned k44100 = 4;  // samplingFrequencyIndex

class BitWriter {
public:
    void Put(uint32_t value, unsigned bits) {
        for (unsigned i = bits; i > 0; --i) {
            if (m_bits % 8 == 0) m_bytes.push_back(0);
            if ((value >> (i - 1)) & 1) m_bytes.back() |= uint8_t(0x80u >> (m_bits % 8));
            ++m_bits;
        }
    }
    void Put(const aac::HuffEntry& code) { Put(code.code, code.length); }
    // A scale factor difference.
    void Sf(int difference) { Put(aac::kScalefactorBook[60 + difference]); }
    const std::vector<uint8_t>& Bytes() const { return m_bytes; }

private:
    std::vector<uint8_t> m_bytes;
    size_t m_bits = 0;
};

// Keeps what the reader hands over, and in which order.
class Recorder : public aac::ElementSink {
public:
    void ChannelRead(aac::ChannelData& ch) override {
        m_events += "read ";
        m_channels.push_back(std::make_unique<aac::ChannelData>(ch));
    }
    void SingleChannel(aac::ChannelData&, unsigned index) override { m_events += "single" + std::to_string(index); }
    void ChannelPair(aac::ChannelData&, aac::ChannelData&, const aac::StereoData& stereo, unsigned index) override {
        m_events += "pair" + std::to_string(index) + " ";
        m_stereo = stereo;
    }
    std::string m_events;
    std::vector<std::unique_ptr<aac::ChannelData>> m_channels;
    aac::StereoData m_stereo;
};

// A common-window pair at 44100 Hz, three long bands (lines 0-4-8-12):
// left  coded (book 1), noise, zero; two pulses; one TNS filter
// right coded (book 11, an escape), noise, intensity.
std::vector<uint8_t> ChannelPairBlock() {
    BitWriter w;
    w.Put(1, 3);  // ID_CPE
    w.Put(0, 4);  // element_instance_tag
    w.Put(1, 1);  // common_window
    w.Put(0, 1);  // ics_reserved_bit
    w.Put(0, 2);  // ONLY_LONG_SEQUENCE
    w.Put(1, 1);  // KBD
    w.Put(3, 6);  // max_sfb
    w.Put(0, 1);  // predictor_data_present
    w.Put(1, 2);  // ms_mask_present: band by band
    w.Put(0b101, 3);
    // Left.
    w.Put(100, 8);  // global_gain
    for (unsigned cb : {1u, 13u, 0u}) {
        w.Put(cb, 4);
        w.Put(1, 5);  // one band
    }
    w.Sf(+1);           // 101
    w.Put(256 + 5, 9);  // first noise energy: 100 - 90 + 5
    w.Put(1, 1);        // pulse_data_present
    w.Put(1, 2);        // two pulses
    w.Put(1, 6);        // from band 1 (line 4)
    w.Put(1, 5);        // line 5
    w.Put(3, 4);        // amplitude 3
    w.Put(2, 5);        // line 7
    w.Put(7, 4);        // amplitude 7
    w.Put(1, 1);        // tns_data_present
    w.Put(1, 2);        // one filter
    w.Put(1, 1);        // coef_res: 4 bits
    w.Put(20, 6);       // length
    w.Put(2, 5);        // order
    w.Put(1, 1);        // downwards
    w.Put(1, 1);        // coef_compress: 3 bits
    w.Put(0b011, 3);    // 3
    w.Put(0b110, 3);    // -2
    w.Put(0, 1);        // gain_control_data_present
    // 1 0 0 -1
    w.Put(aac::kSpectralBook1[2 * 27 + 1 * 9 + 1 * 3 + 0]);
    // Right.
    w.Put(90, 8);
    for (unsigned cb : {11u, 13u, 15u}) {
        w.Put(cb, 4);
        w.Put(1, 5);
    }
    w.Sf(-2);           // 88
    w.Put(256 - 3, 9);  // 90 - 90 - 3
    w.Sf(+4);           // is_position 4
    w.Put(0, 3);        // no pulses, TNS or gain control
    // 16 (an escape) and 0, a plus sign, the escape 32 + 8; 0 and 3, a minus sign.
    w.Put(aac::kSpectralBook11[16 * 17 + 0]);
    w.Put(0, 1);
    w.Put(0b10, 2);
    w.Put(8, 5);
    w.Put(aac::kSpectralBook11[0 * 17 + 3]);
    w.Put(1, 1);
    w.Put(7, 3);  // ID_END
    return w.Bytes();
}

TEST(AacSyntax, AChannelPairReadsIntoPerChannelData) {
    const std::vector<uint8_t> block = ChannelPairBlock();
    aac::BitReader bits(block.data(), block.size());
    auto reader = std::make_unique<aac::SyntaxReader>(bits, k44100);
    Recorder sink;
    ASSERT_TRUE(reader->RawDataBlock(2, sink));
    EXPECT_EQ("read read pair0 ", sink.m_events);
    ASSERT_EQ(2u, sink.m_channels.size());
    EXPECT_TRUE(sink.m_stereo.commonWindow);
    EXPECT_EQ(1u, sink.m_stereo.msMask);
    EXPECT_TRUE(sink.m_stereo.msUsed[0][0]);
    EXPECT_FALSE(sink.m_stereo.msUsed[0][1]);
    EXPECT_TRUE(sink.m_stereo.msUsed[0][2]);

    const aac::ChannelData& left = *sink.m_channels[0];
    const aac::ChannelData& right = *sink.m_channels[1];
    for (const aac::ChannelData* ch : {&left, &right}) {
        EXPECT_EQ(3u, ch->ics.maxSfb);
        EXPECT_EQ(1u, ch->ics.windowShape);
        EXPECT_FALSE(ch->ics.Short());
        EXPECT_EQ(aac::LongBands(k44100).offsets, ch->ics.swb);
    }
    EXPECT_EQ(1, left.cb[0][0]);
    EXPECT_EQ(aac::NOISE_HCB, left.cb[0][1]);
    EXPECT_EQ(aac::ZERO_HCB, left.cb[0][2]);
    EXPECT_EQ(101, left.sf[0][0]);
    EXPECT_EQ(15, left.sf[0][1]);
    ASSERT_EQ(2u, left.pulse.count);
    EXPECT_EQ(5u, left.pulse.line[0]);
    EXPECT_EQ(3u, left.pulse.amp[0]);
    EXPECT_EQ(7u, left.pulse.line[1]);
    EXPECT_EQ(7u, left.pulse.amp[1]);
    ASSERT_TRUE(left.tnsPresent);
    ASSERT_EQ(1u, left.tnsFilters[0]);
    const aac::TnsFilter& filter = left.tns[0][0];
    EXPECT_EQ(20u, filter.length);
    EXPECT_EQ(2u, filter.order);
    EXPECT_EQ(1u, filter.direction);
    EXPECT_EQ(4u, filter.resolution);
    EXPECT_EQ(3, filter.coef[0]);
    EXPECT_EQ(-2, filter.coef[1]);
    const int32_t leftLines[] = {1, 0, 0, -1, 0};  // the pulses are not applied yet
    for (unsigned k = 0; k < 5; ++k) EXPECT_EQ(leftLines[k], left.quant[k]) << k;

    EXPECT_EQ(aac::ESC_HCB, right.cb[0][0]);
    EXPECT_EQ(aac::NOISE_HCB, right.cb[0][1]);
    EXPECT_EQ(aac::INTENSITY_HCB, right.cb[0][2]);
    EXPECT_EQ(88, right.sf[0][0]);
    EXPECT_EQ(-3, right.sf[0][1]);
    EXPECT_EQ(4, right.sf[0][2]);
    EXPECT_EQ(0u, right.pulse.count);
    EXPECT_FALSE(right.tnsPresent);
    const int32_t rightLines[] = {40, 0, 0, -3, 0};
    for (unsigned k = 0; k < 5; ++k) EXPECT_EQ(rightLines[k], right.quant[k]) << k;
}

TEST(AacSyntax, ABlockThatIsCutOrCodesOtherChannelsIsRefused) {
    const std::vector<uint8_t> block = ChannelPairBlock();
    for (size_t size = 0; size < block.size(); ++size) {
        aac::BitReader bits(block.data(), size);
        auto reader = std::make_unique<aac::SyntaxReader>(bits, k44100);
        Recorder sink;
        EXPECT_FALSE(reader->RawDataBlock(2, sink)) << size;
    }
    for (unsigned channels : {1u, 3u}) {
        aac::BitReader bits(block.data(), block.size());
        auto reader = std::make_unique<aac::SyntaxReader>(bits, k44100);
        Recorder sink;
        EXPECT_FALSE(reader->RawDataBlock(channels, sink)) << channels;
    }
}

}  // namespace
