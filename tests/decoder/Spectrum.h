// Short-time spectra of interleaved 16-bit PCM for comparing two decodes of
// the same audio: the energy in frequency bands (for noise, where only the
// level can agree) and the signal-to-difference ratio of the complex spectra
// in a band (for coded tones, which must agree sample by sample).
#pragma once

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace spectrum {

constexpr size_t kWindow = 2048;  // a power of two
constexpr size_t kHop = kWindow / 2;

using Bins = std::vector<std::complex<double>>;

// In-place radix-2 transform; `x.size()` is a power of two.
inline void Fft(Bins& x) {
    const size_t n = x.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j |= bit;
        if (i < j) std::swap(x[i], x[j]);
    }
    const double pi = 3.14159265358979323846;
    for (size_t len = 2; len <= n; len <<= 1) {
        const std::complex<double> step = std::polar(1.0, -2 * pi / double(len));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> w = 1;
            for (size_t k = 0; k < len / 2; ++k, w *= step) {
                const std::complex<double> a = x[i + k], b = x[i + k + len / 2] * w;
                x[i + k] = a + b;
                x[i + k + len / 2] = a - b;
            }
        }
    }
}

// The spectra of one channel, Hann-windowed frames every kHop samples; only
// frames that lie wholly inside the first `length` samples (per channel).
inline std::vector<Bins> Frames(const std::vector<int16_t>& pcm, unsigned channels, unsigned channel, size_t length) {
    std::vector<Bins> frames;
    length = std::min(length, pcm.size() / channels);
    const double pi = 3.14159265358979323846;
    for (size_t start = 0; start + kWindow <= length; start += kHop) {
        Bins x(kWindow);
        for (size_t i = 0; i < kWindow; ++i) {
            const double hann = 0.5 - 0.5 * std::cos(2 * pi * double(i) / kWindow);
            x[i] = hann * pcm[(start + i) * channels + channel];
        }
        Fft(x);
        x.resize(kWindow / 2);
        frames.push_back(std::move(x));
    }
    return frames;
}

inline size_t BinOf(double hz, unsigned rate) {
    return std::min(kWindow / 2, size_t(std::lround(hz * kWindow / rate)));
}

// Energy between `lowHz` and `highHz`, summed over the frames.
inline double BandEnergy(const std::vector<Bins>& frames, unsigned rate, double lowHz, double highHz) {
    double sum = 0;
    for (const Bins& f : frames)
        for (size_t k = BinOf(lowHz, rate); k < BinOf(highHz, rate); ++k) sum += std::norm(f[k]);
    return sum;
}

// Level of `got` against `reference` in the band, in dB (0: the same energy).
inline double LevelDb(const std::vector<Bins>& reference, const std::vector<Bins>& got, unsigned rate, double lowHz,
                      double highHz) {
    const double r = BandEnergy(reference, rate, lowHz, highHz), g = BandEnergy(got, rate, lowHz, highHz);
    if (r <= 0 || g <= 0) return r == g ? 0 : g > r ? 300 : -300;
    return 10 * std::log10(g / r);
}

// Reference energy over the energy of the difference in the band, in dB,
// over the frames both have.
inline double BandSnrDb(const std::vector<Bins>& reference, const std::vector<Bins>& got, unsigned rate, double lowHz,
                        double highHz) {
    double signal = 0, noise = 0;
    for (size_t i = 0; i < std::min(reference.size(), got.size()); ++i)
        for (size_t k = BinOf(lowHz, rate); k < BinOf(highHz, rate); ++k) {
            signal += std::norm(reference[i][k]);
            noise += std::norm(reference[i][k] - got[i][k]);
        }
    if (noise == 0) return 200;
    return signal == 0 ? -200 : 10 * std::log10(signal / noise);
}

// Sample-level signal-to-difference ratio of two interleaved streams over
// the first `count` values, in dB.
inline double SnrDb(const int16_t* reference, const int16_t* got, size_t count) {
    double signal = 0, noise = 0;
    for (size_t i = 0; i < count; ++i) {
        const double d = double(reference[i]) - got[i];
        signal += double(reference[i]) * reference[i];
        noise += d * d;
    }
    if (noise == 0) return 200;
    return signal == 0 ? -200 : 10 * std::log10(signal / noise);
}

}  // namespace spectrum
