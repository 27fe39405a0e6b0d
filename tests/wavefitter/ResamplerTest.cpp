// The resampler against ideal tones: signal-to-noise ratio, images and
// aliases measured with a windowed DFT, exact counts, streaming and reset.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <random>
#include <vector>

#include "standins/wavefitter/Resampler.h"

namespace {

const double kPi = 3.14159265358979323846;

struct Tone {
    double hz;
    double amplitude;  // of full scale
};

std::vector<int16_t> MakeTones(unsigned rate, size_t frames, unsigned channels, const std::vector<Tone>& tones) {
    std::vector<int16_t> pcm(frames * channels);
    for (size_t i = 0; i < frames; ++i) {
        double v = 0.0;
        for (const Tone& t : tones) v += t.amplitude * std::sin(2.0 * kPi * t.hz * double(i) / rate);
        for (unsigned c = 0; c < channels; ++c) pcm[i * channels + c] = static_cast<int16_t>(std::lround(v * 32767.0));
    }
    return pcm;
}

std::vector<int16_t> Convert(unsigned inRate, unsigned outRate, unsigned channels, const std::vector<int16_t>& in) {
    CResampler resampler(inRate, outRate, channels);
    std::vector<int16_t> out;
    resampler.Process(in.data(), in.size() / channels, out);
    resampler.Flush(out);
    return out;
}

std::vector<double> Channel(const std::vector<int16_t>& pcm, unsigned channels, unsigned c) {
    std::vector<double> x;
    for (size_t i = c; i < pcm.size(); i += channels) x.push_back(pcm[i] / 32767.0);
    return x;
}

// SNR in dB of x[first..last) against amplitude * sin(2 pi hz k / rate):
// the converter adds no delay, so the ideal tone has the input's phase.
double SnrDb(const std::vector<double>& x, unsigned rate, const Tone& tone, size_t first, size_t last) {
    double signal = 0.0, noise = 0.0;
    for (size_t k = first; k < last; ++k) {
        const double ideal = tone.amplitude * std::sin(2.0 * kPi * tone.hz * double(k) / rate);
        signal += ideal * ideal;
        noise += (x[k] - ideal) * (x[k] - ideal);
    }
    return 10.0 * std::log10(signal / noise);
}

void Fft(std::vector<std::complex<double>>& a) {
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const std::complex<double> w(std::cos(-2.0 * kPi / len), std::sin(-2.0 * kPi / len));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> wk(1.0);
            for (size_t k = 0; k < len / 2; ++k) {
                const std::complex<double> u = a[i + k], v = a[i + k + len / 2] * wk;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                wk *= w;
            }
        }
    }
}

// Magnitude spectrum in dB (relative to a full-scale sine) of 16384 samples
// from first on, under a 4-term Blackman-Harris window (side lobes -92 dB).
struct Spectrum {
    std::vector<double> db;
    double binHz;
    // The loudest bin within two of hz.
    double Peak(double hz) const {
        const long centre = std::lround(hz / binHz);
        double loudest = -400.0;
        for (long b = centre - 2; b <= centre + 2; ++b) loudest = std::max(loudest, db[size_t(b)]);
        return loudest;
    }
    // Loudest bin outside +-guard Hz of every frequency in keep.
    double LoudestExcept(const std::vector<double>& keep, double guard) const {
        double loudest = -400.0;
        for (size_t b = 1; b < db.size(); ++b) {
            bool near = false;
            for (double hz : keep) near = near || std::fabs(b * binHz - hz) <= guard;
            if (!near && db[b] > loudest) loudest = db[b];
        }
        return loudest;
    }
};

Spectrum Analyse(const std::vector<double>& x, unsigned rate, size_t first) {
    const size_t n = 16384;
    std::vector<std::complex<double>> a(n);
    double gain = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double p = 2.0 * kPi * i / (n - 1);
        const double w = 0.35875 - 0.48829 * std::cos(p) + 0.14128 * std::cos(2 * p) - 0.01168 * std::cos(3 * p);
        a[i] = x[first + i] * w;
        gain += w;
    }
    Fft(a);
    Spectrum s;
    s.binHz = double(rate) / n;
    for (size_t b = 0; b < n / 2; ++b) s.db.push_back(20.0 * std::log10(std::abs(a[b]) * 2.0 / gain + 1e-20));
    return s;
}

struct Case {
    unsigned inRate, outRate;
};

class ToneConversion : public ::testing::TestWithParam<Case> {};

TEST_P(ToneConversion, OneKilohertzIsCleanAndFree) {
    const Case c = GetParam();
    const Tone tone{1000.0, 0.5};
    const size_t inFrames = c.inRate;  // one second
    const std::vector<int16_t> out = Convert(c.inRate, c.outRate, 1, MakeTones(c.inRate, inFrames, 1, {tone}));
    const std::vector<double> x = Channel(out, 1, 0);
    ASSERT_EQ((uint64_t(inFrames) * c.outRate + c.inRate - 1) / c.inRate, x.size());

    // Keep clear of the edges, where the input starts and stops abruptly.
    const size_t edge = c.outRate / 20;
    const double snr = SnrDb(x, c.outRate, tone, edge, x.size() - edge);
    EXPECT_GE(snr, 60.0) << c.inRate << " -> " << c.outRate;

    const Spectrum s = Analyse(x, c.outRate, edge);
    const double peak = s.Peak(tone.hz);
    // The DFT bins miss 1 kHz: up to 0.83 dB scalloping loss.
    EXPECT_NEAR(20.0 * std::log10(tone.amplitude), peak, 1.0);
    EXPECT_LT(s.LoudestExcept({tone.hz}, 30.0), peak - 60.0) << "image or alias";
    std::printf("%u -> %u Hz: SNR %.1f dB, loudest other component %.1f dB below the tone\n", c.inRate, c.outRate, snr,
                peak - s.LoudestExcept({tone.hz}, 30.0));
}

INSTANTIATE_TEST_SUITE_P(Rates, ToneConversion,
                         ::testing::Values(Case{22050, 44100}, Case{32000, 44100}, Case{8000, 48000},
                                           Case{96000, 44100}, Case{44100, 48000}, Case{11025, 48000}),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             return std::to_string(info.param.inRate) + "to" + std::to_string(info.param.outRate);
                         });

TEST(Resampler, DownsamplingCutsAboveTheNewNyquist) {
    // 30 kHz would fold to 14.1 kHz at 44.1 kHz, 23 kHz to 21.1 kHz.
    const std::vector<Tone> tones{{1000.0, 0.3}, {30000.0, 0.3}, {23000.0, 0.3}};
    const std::vector<int16_t> out = Convert(96000, 44100, 2, MakeTones(96000, 96000, 2, tones));
    for (unsigned c = 0; c < 2; ++c) {
        const Spectrum s = Analyse(Channel(out, 2, c), 44100, 2205);
        const double peak = s.Peak(1000.0);
        EXPECT_LT(s.Peak(44100.0 - 30000.0), peak - 60.0);
        EXPECT_LT(s.Peak(44100.0 - 23000.0), peak - 60.0);
        EXPECT_LT(s.LoudestExcept({1000.0}, 30.0), peak - 60.0);
    }
}

TEST(Resampler, SameRateIsExact) {
    const std::vector<int16_t> in = MakeTones(44100, 5000, 2, {{1234.0, 0.9}});
    EXPECT_EQ(in, Convert(44100, 44100, 2, in));
}

TEST(Resampler, ChannelsStayApart) {
    std::vector<int16_t> in = MakeTones(32000, 8000, 2, {{1000.0, 0.5}});
    for (size_t i = 1; i < in.size(); i += 2) in[i] = 0;  // right channel silent
    const std::vector<int16_t> out = Convert(32000, 44100, 2, in);
    for (size_t i = 1; i < out.size(); i += 2) ASSERT_EQ(0, out[i]) << i;
}

TEST(Resampler, FullScaleSaturatesInsteadOfWrapping) {
    // A full-scale square wave overshoots after band limiting (Gibbs).
    std::vector<int16_t> in(4000);
    for (size_t i = 0; i < in.size(); ++i) in[i] = (i / 50) % 2 ? -32768 : 32767;
    const std::vector<int16_t> out = Convert(22050, 44100, 1, in);
    size_t clipped = 0;
    for (size_t k = 400; k + 400 < out.size(); ++k) {
        const size_t t = (k / 2) % 100;  // input frame within one period
        if (t >= 5 && t < 45) {
            ASSERT_GT(out[k], 30000) << k;
        }
        if (t >= 55 && t < 95) {
            ASSERT_LT(out[k], -30000) << k;
        }
        clipped += out[k] == 32767 || out[k] == -32768;
    }
    EXPECT_GT(clipped, 0u);
}

TEST(Resampler, BlocksOfAnySizeGiveTheSameOutput) {
    const Case cases[] = {{22050, 44100}, {32000, 44100}, {96000, 44100}, {44101, 48000}};
    std::mt19937 random(7);
    for (const Case& c : cases) {
        const std::vector<int16_t> in = MakeTones(c.inRate, 30000, 2, {{1000.0, 0.5}, {5000.0, 0.2}});
        const std::vector<int16_t> whole = Convert(c.inRate, c.outRate, 2, in);

        CResampler resampler(c.inRate, c.outRate, 2);
        std::vector<int16_t> pieces;
        size_t done = 0;
        while (done < in.size() / 2) {
            const size_t frames = std::min<size_t>(random() % 700, in.size() / 2 - done);
            resampler.Process(in.data() + done * 2, frames, pieces);
            done += frames;
        }
        resampler.Flush(pieces);
        EXPECT_EQ(whole, pieces) << c.inRate << " -> " << c.outRate;
    }
}

TEST(Resampler, FineTableForLargeRatiosIsStillClean) {
    // 44101/48000 has no small ratio: the interpolated table serves it.
    const Tone tone{1000.0, 0.5};
    const std::vector<int16_t> out = Convert(44101, 48000, 1, MakeTones(44101, 44101, 1, {tone}));
    const std::vector<double> x = Channel(out, 1, 0);
    EXPECT_GE(SnrDb(x, 48000, tone, 2400, x.size() - 2400), 60.0);
}

TEST(Resampler, ResetForgetsEarlierInput) {
    const std::vector<int16_t> first = MakeTones(32000, 5000, 1, {{3000.0, 0.8}});
    const std::vector<int16_t> second = MakeTones(32000, 5000, 1, {{1000.0, 0.5}});
    CResampler resampler(32000, 44100, 1);
    std::vector<int16_t> out;
    resampler.Process(first.data(), first.size(), out);
    resampler.Reset();
    out.clear();
    resampler.Process(second.data(), second.size(), out);
    resampler.Flush(out);
    EXPECT_EQ(Convert(32000, 44100, 1, second), out);
    EXPECT_EQ(0u, resampler.OutputFrames());
}

TEST(Resampler, RefusesZeroRatesAndChannels) {
    EXPECT_THROW(CResampler(0, 44100, 2), std::invalid_argument);
    EXPECT_THROW(CResampler(44100, 0, 2), std::invalid_argument);
    EXPECT_THROW(CResampler(44100, 48000, 0), std::invalid_argument);
}

TEST(Resampler, MonoIsDuplicatedToStereo) {
    const int16_t in[] = {1, -2, 32767, -32768};
    int16_t out[8] = {};
    MonoToStereo(in, 4, out);
    const int16_t expected[] = {1, 1, -2, -2, 32767, 32767, -32768, -32768};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(expected[i], out[i]);
}

}  // namespace
