// Each coding tool alone, on per-channel data set by hand: values whose
// right answer is known without the tool, and the bands, windows and lines
// a tool must leave alone.
#include <gtest/gtest.h>

#include "aac/AacTables.h"
#include "aac/AacTools.h"

#include <cmath>
#include <memory>

namespace {

constexpr unsigned k44100 = 4;  // samplingFrequencyIndex
constexpr double kPi = 3.14159265358979323846;

// A channel of one long window at 44100 Hz (bands 0-2: lines 0-4-8-12).
std::unique_ptr<aac::ChannelData> LongChannel(unsigned maxSfb) {
    auto ch = std::make_unique<aac::ChannelData>();
    ch->ics.windowSequence = aac::ONLY_LONG_SEQUENCE;
    ch->ics.maxSfb = uint8_t(maxSfb);
    ch->ics.swb = aac::LongBands(k44100).offsets;
    ch->ics.numSwb = aac::LongBands(k44100).count;
    ch->ics.groupLength[0] = 1;
    return ch;
}

// Eight short windows at 44100 Hz in two groups, of 3 and 5 windows (bands
// 0-1: lines 0-4-8 of each window).
std::unique_ptr<aac::ChannelData> ShortChannel(unsigned maxSfb) {
    auto ch = std::make_unique<aac::ChannelData>();
    ch->ics.windowSequence = aac::EIGHT_SHORT_SEQUENCE;
    ch->ics.maxSfb = uint8_t(maxSfb);
    ch->ics.numWindows = 8;
    ch->ics.numGroups = 2;
    ch->ics.groupLength[0] = 3;
    ch->ics.groupLength[1] = 5;
    ch->ics.swb = aac::ShortBands(k44100).offsets;
    ch->ics.numSwb = aac::ShortBands(k44100).count;
    return ch;
}

double Energy(const float* line, unsigned count) {
    double sum = 0;
    for (unsigned i = 0; i < count; ++i) sum += double(line[i]) * line[i];
    return sum;
}

TEST(AacPulses, AddAwayFromZeroAndTakeAZeroLineNegative) {
    auto ch = LongChannel(3);
    ch->quant[10] = 5;
    ch->quant[11] = -3;
    ch->quant[12] = 0;
    ch->quant[13] = 9;
    ch->pulse.count = 3;
    const uint16_t lines[] = {10, 11, 12};
    const uint8_t amps[] = {2, 2, 3};
    for (unsigned i = 0; i < 3; ++i) {
        ch->pulse.line[i] = lines[i];
        ch->pulse.amp[i] = amps[i];
    }
    aac::ApplyPulses(*ch);
    EXPECT_EQ(7, ch->quant[10]);
    EXPECT_EQ(-5, ch->quant[11]);
    EXPECT_EQ(-3, ch->quant[12]);
    EXPECT_EQ(9, ch->quant[13]);
}

// sign(q) |q|^(4/3) 2^((sf - 100) / 4), each band at its own scale factor
// and each window of a group at the group's.
TEST(AacDequantise, ScalesEachBandOfEachWindowByItsGroupsFactor) {
    auto ch = ShortChannel(2);
    ch->cb[0][0] = 1;
    ch->cb[0][1] = aac::ZERO_HCB;
    ch->cb[1][0] = aac::NOISE_HCB;
    ch->cb[1][1] = aac::ESC_HCB;
    ch->sf[0][0] = 104;                // gain 2
    ch->sf[1][0] = 40;                 // a noise energy, not a gain
    ch->sf[1][1] = 96;                 // gain 0.5
    for (float& s : ch->spec) s = 99;  // left from an earlier channel
    ch->quant[0 * 128 + 0] = 27;
    ch->quant[2 * 128 + 1] = -8;
    ch->quant[0 * 128 + 5] = 9;  // in a zero band
    ch->quant[3 * 128 + 2] = 7;  // in the noise band of window 3, group 1
    ch->quant[4 * 128 + 4] = 1;
    ch->quant[7 * 128 + 7] = -1000;
    ch->quant[7 * 128 + 8] = 5;  // past max_sfb
    aac::Dequantise(*ch);
    EXPECT_FLOAT_EQ(162.0f, ch->spec[0]);
    EXPECT_FLOAT_EQ(-32.0f, ch->spec[2 * 128 + 1]);
    EXPECT_FLOAT_EQ(0.5f, ch->spec[4 * 128 + 4]);
    EXPECT_NEAR(-0.5 * std::pow(1000.0, 4.0 / 3.0), ch->spec[7 * 128 + 7], 0.01);
    for (unsigned line : {0u * 128 + 5, 3u * 128 + 2, 7u * 128 + 8, 1023u}) EXPECT_EQ(0.0f, ch->spec[line]) << line;
    double total = 0;
    for (float s : ch->spec) total += std::abs(s);
    EXPECT_NEAR(162 + 32 + 0.5 + 0.5 * std::pow(1000.0, 4.0 / 3.0), total, 0.01);
}

// Noise carries the coded energy in each window of its band, differs from
// band to band, and follows the seed.
TEST(AacNoiseSubstitution, EachWindowOfANoiseBandCarriesTheCodedEnergy) {
    auto ch = ShortChannel(2);
    ch->cb[0][1] = aac::NOISE_HCB;
    ch->sf[0][1] = 8;  // 2^(8/2) = 16
    ch->cb[1][0] = aac::NOISE_HCB;
    ch->sf[1][0] = -4;  // 1/4
    ch->cb[1][1] = 1;
    for (unsigned w = 0; w < 8; ++w) ch->spec[w * 128 + 5] = 3;  // band 1 of group 1: coded
    const uint32_t start = 12345;
    uint32_t seed = start;
    aac::SubstituteNoise(*ch, seed);
    EXPECT_NE(start, seed);
    for (unsigned w = 0; w < 8; ++w) {
        SCOPED_TRACE(w);
        const float* window = ch->spec + w * 128;
        if (w < 3) {
            EXPECT_NEAR(16.0, Energy(window + 4, 4), 1e-3);
            EXPECT_EQ(0.0, Energy(window, 4));
        } else {
            EXPECT_NEAR(0.25, Energy(window, 4), 1e-5);
            EXPECT_EQ(3.0f, window[5]);
        }
        EXPECT_EQ(0.0, Energy(window + 8, 120));
    }
    EXPECT_NE(ch->spec[4], ch->spec[128 + 4]);
    // The same seed, the same noise.
    auto again = ShortChannel(2);
    again->cb[0][1] = aac::NOISE_HCB;
    again->sf[0][1] = 8;
    uint32_t seedAgain = start;
    aac::SubstituteNoise(*again, seedAgain);
    for (unsigned k = 4; k < 8; ++k) EXPECT_EQ(ch->spec[k], again->spec[k]) << k;
}

TEST(AacNoiseSubstitution, FlaggedNoiseOfAPairIsTheLeftNoiseAtTheRightEnergy) {
    auto left = LongChannel(2), right = LongChannel(2);
    aac::StereoData stereo;
    stereo.commonWindow = true;
    stereo.msMask = 1;
    stereo.msUsed[0][0] = true;
    for (unsigned sfb = 0; sfb < 2; ++sfb) {
        left->cb[0][sfb] = right->cb[0][sfb] = aac::NOISE_HCB;
        left->sf[0][sfb] = 8;
        right->sf[0][sfb] = 12;  // 2^(4/4) louder in amplitude
    }
    uint32_t seed = 1;
    aac::SubstituteNoise(*left, seed);
    aac::SubstituteNoise(*right, seed);
    const float unflagged = right->spec[4];
    aac::CorrelateNoise(*left, *right, stereo);
    for (unsigned k = 0; k < 4; ++k) EXPECT_FLOAT_EQ(2 * left->spec[k], right->spec[k]) << k;
    EXPECT_EQ(unflagged, right->spec[4]);
    EXPECT_NE(2 * left->spec[4], right->spec[4]);
}

TEST(AacMidSide, FlaggedCodedBandsBecomeLeftAndRight) {
    auto left = LongChannel(4), right = LongChannel(4);
    aac::StereoData stereo;
    stereo.commonWindow = true;
    stereo.msMask = 1;
    for (unsigned sfb = 0; sfb < 4; ++sfb) left->cb[0][sfb] = right->cb[0][sfb] = 1;
    stereo.msUsed[0][0] = true;   // mid/side
    stereo.msUsed[0][1] = false;  // left/right already
    stereo.msUsed[0][2] = true;   // but the left is noise
    left->cb[0][2] = aac::NOISE_HCB;
    stereo.msUsed[0][3] = true;  // but the right is intensity
    right->cb[0][3] = aac::INTENSITY_HCB;
    for (unsigned k = 0; k < 16; ++k) {
        left->spec[k] = float(k + 3);
        right->spec[k] = 1;
    }
    aac::MidSide(*left, *right, stereo);
    for (unsigned k = 0; k < 4; ++k) {
        EXPECT_EQ(float(k + 4), left->spec[k]) << k;
        EXPECT_EQ(float(k + 2), right->spec[k]) << k;
    }
    for (unsigned k = 4; k < 16; ++k) {
        EXPECT_EQ(float(k + 3), left->spec[k]) << k;
        EXPECT_EQ(1.0f, right->spec[k]) << k;
    }
}

// The right channel is the left at 0.5^(position / 4); codebook 14 turns
// it over, and so does an ms_used flag, but only when the flags are coded
// band by band (ms_mask_present 1), not when they are all set (2).
TEST(AacIntensityStereo, RightBandsAreTheLeftAtTheCodedScaleAndPhase) {
    struct Case {
        uint8_t cb;
        int position;
        unsigned msMask;
        bool msUsed;
        float scale;
    };
    const Case cases[] = {
        {aac::INTENSITY_HCB, 4, 0, false, 0.5f}, {aac::INTENSITY_HCB2, -8, 0, false, -4.0f},
        {aac::INTENSITY_HCB, 0, 1, true, -1.0f}, {aac::INTENSITY_HCB2, 0, 1, true, 1.0f},
        {aac::INTENSITY_HCB, 0, 1, false, 1.0f}, {aac::INTENSITY_HCB, 8, 2, true, 0.25f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.cb) << " " << c.position << " mask " << c.msMask);
        auto left = LongChannel(2), right = LongChannel(2);
        aac::StereoData stereo;
        stereo.commonWindow = true;
        stereo.msMask = c.msMask;
        stereo.msUsed[0][1] = c.msUsed;
        left->cb[0][1] = 1;
        right->cb[0][1] = c.cb;
        right->sf[0][1] = c.position;
        right->cb[0][0] = 1;
        for (unsigned k = 0; k < 8; ++k) {
            left->spec[k] = float(k + 1);
            right->spec[k] = 100;
        }
        aac::IntensityStereo(*left, *right, stereo);
        for (unsigned k = 0; k < 4; ++k) EXPECT_EQ(100.0f, right->spec[k]) << k;
        for (unsigned k = 4; k < 8; ++k) EXPECT_FLOAT_EQ(c.scale * float(k + 1), right->spec[k]) << k;
        for (unsigned k = 0; k < 8; ++k) EXPECT_EQ(float(k + 1), left->spec[k]) << k;
    }
}

// A coefficient c of resolution res is the sine of c pi / (2^res - 1), or
// of c pi / (2^res + 1) below zero; the predictor comes from these by the
// step-up recursion.
TEST(AacTns, PredictorFromQuantisedReflectionCoefficients) {
    aac::TnsFilter filter;
    filter.resolution = 4;
    filter.order = 3;
    filter.coef[0] = 7;
    filter.coef[1] = -8;
    filter.coef[2] = 3;
    const double k1 = std::sin(7 * kPi / 15), k2 = std::sin(-8 * kPi / 17), k3 = std::sin(3 * kPi / 15);
    float lpc[4];
    aac::TnsPredictor(filter, lpc);
    const double a1 = k1 + k2 * k1, a2 = k2;
    EXPECT_EQ(1.0f, lpc[0]);
    EXPECT_NEAR(a1 + k3 * a2, lpc[1], 1e-6);
    EXPECT_NEAR(a2 + k3 * a1, lpc[2], 1e-6);
    EXPECT_NEAR(k3, lpc[3], 1e-6);

    filter.resolution = 3;
    filter.order = 2;
    filter.coef[0] = 3;
    filter.coef[1] = -4;
    aac::TnsPredictor(filter, lpc);
    EXPECT_NEAR(std::sin(3 * kPi / 7) * (1 + std::sin(-4 * kPi / 9)), lpc[1], 1e-6);
    EXPECT_NEAR(std::sin(-4 * kPi / 9), lpc[2], 1e-6);
}

// A first-order filter answers an impulse at the start of its range with a
// geometric series, upwards or downwards, and stops at max_sfb.
TEST(AacTns, FiltersOnlyTheCodedBandsBelowMaxSfbInTheCodedDirection) {
    const uint16_t* swb = aac::LongBands(k44100).offsets;
    for (uint8_t direction : {0, 1}) {
        SCOPED_TRACE(int(direction));
        auto ch = LongChannel(20);
        ch->tnsPresent = true;
        ch->tnsFilters[0] = 1;
        aac::TnsFilter& filter = ch->tns[0][0];
        filter.length = uint8_t(ch->ics.numSwb - 10);  // bands 10 up to the top, clipped to 20
        filter.order = 1;
        filter.direction = direction;
        filter.resolution = 4;
        filter.coef[0] = 2;
        const double k = std::sin(2 * kPi / 15);
        const unsigned begin = swb[10], end = swb[20];
        const unsigned first = direction ? end - 1 : begin;
        ch->spec[first] = 1;
        ch->spec[begin - 1] = 5;
        ch->spec[end] = 5;
        aac::ApplyTns(*ch, k44100);
        for (unsigned n = 0; n < end - begin; ++n) {
            const unsigned line = direction ? first - n : first + n;
            EXPECT_NEAR(std::pow(-k, n), ch->spec[line], 1e-6) << line;
        }
        EXPECT_EQ(5.0f, ch->spec[begin - 1]);
        EXPECT_EQ(5.0f, ch->spec[end]);
        // Filters left from an earlier channel do nothing without tns_data_present.
        ch->tnsPresent = false;
        ch->spec[first] = 1;
        ch->spec[direction ? first - 1 : first + 1] = 0;
        aac::ApplyTns(*ch, k44100);
        EXPECT_EQ(0.0f, ch->spec[direction ? first - 1 : first + 1]);
    }
}

}  // namespace
