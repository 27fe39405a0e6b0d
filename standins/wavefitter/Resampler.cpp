#include "standins/wavefitter/Resampler.h"

#include "standins/shared/SampleRounding.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <stdexcept>

namespace {

// Zero crossings of the sinc on each side, the cut-off as a fraction of the
// lower Nyquist frequency, and the Kaiser shape: with these the stop band
// (about -90 dB) starts at the lower Nyquist frequency.
constexpr double kZeroCrossings = 32.0;
constexpr double kCutoff = 0.92;
constexpr double kKaiserBeta = 9.0;
// Above this many phases the table is sampled finer than needed and
// interpolated linearly between rows.
constexpr unsigned kMaxTablePhases = 4096;

const double kPi = 3.14159265358979323846;

double BesselI0(double x) {
    double sum = 1.0, term = 1.0;
    const double q = x * x / 4.0;
    for (int k = 1; k < 64 && term > sum * 1e-12; ++k) {
        term *= q / (double(k) * k);
        sum += term;
    }
    return sum;
}

int16_t Saturate(float v) { return RoundToSample(v); }

}  // namespace

CResampler::CResampler(unsigned inRate, unsigned outRate, unsigned channels) : m_channels(channels) {
    if (inRate == 0 || outRate == 0 || channels == 0) throw std::invalid_argument("resampler rate or channels");
    const unsigned g = std::gcd(inRate, outRate);
    m_up = outRate / g;
    m_down = inRate / g;
    if (!IsIdentity()) BuildTable();
    Reset();
}

void CResampler::BuildTable() {
    m_scale = kCutoff * std::min(1.0, double(m_up) / m_down);
    const double halfWidth = kZeroCrossings / m_scale;
    m_half = static_cast<int>(std::ceil(halfWidth));
    m_exactPhases = m_up <= kMaxTablePhases;
    m_phases = m_exactPhases ? m_up : kMaxTablePhases;
    const int width = 2 * m_half;
    m_table.assign(size_t(m_phases + 1) * width, 0.0f);
    m_taps.assign(width, 0.0f);
    const double i0Beta = BesselI0(kKaiserBeta);
    std::vector<double> values(width);
    for (unsigned row = 0; row <= m_phases; ++row) {
        // Tap n weighs input frame floor(t) - m_half + 1 + n for an output
        // at t = floor(t) + row / m_phases.
        const double frac = double(row) / m_phases;
        float* taps = &m_table[size_t(row) * width];
        double sum = 0.0;
        for (int n = 0; n < width; ++n) {
            const double tau = frac + (m_half - 1) - n;
            const double x = tau / halfWidth;
            double value = 0.0;
            if (std::fabs(x) < 1.0) {
                const double arg = kPi * m_scale * tau;
                const double sinc = tau == 0.0 ? 1.0 : std::sin(arg) / arg;
                value = m_scale * sinc * BesselI0(kKaiserBeta * std::sqrt(1.0 - x * x)) / i0Beta;
            }
            values[n] = value;
            sum += value;
        }
        // Unit gain at DC for every phase.
        for (int n = 0; n < width; ++n) taps[n] = static_cast<float>(values[n] / sum);
    }
}

void CResampler::Reset() {
    m_history.assign(size_t(m_half) * m_channels, 0.0f);  // silence before the first frame
    m_base = -m_half;
    m_inputFrames = 0;
    m_nextOut = 0;
}

const float* CResampler::Kernel(uint64_t phase) {
    const int width = 2 * m_half;
    if (m_exactPhases) return &m_table[size_t(phase) * width];
    const double pos = double(phase) * m_phases / m_up;
    const unsigned row = std::min(static_cast<unsigned>(pos), m_phases - 1);
    const float w = static_cast<float>(pos - row);
    const float* a = &m_table[size_t(row) * width];
    const float* b = a + width;
    for (int n = 0; n < width; ++n) m_taps[n] = a[n] + w * (b[n] - a[n]);
    return m_taps.data();
}

// Writes every output whose window ends before input frame inputLimit and
// whose time lies before the end of the real input.
void CResampler::Produce(uint64_t inputLimit, std::vector<int16_t>& out) {
    const int width = 2 * m_half;
    for (;;) {
        const uint64_t position = m_nextOut * m_down;
        const uint64_t centre = position / m_up;
        if (centre >= m_inputFrames) break;
        if (int64_t(centre) + m_half >= int64_t(inputLimit)) break;
        const float* kernel = Kernel(position % m_up);
        const float* x = &m_history[size_t(int64_t(centre) - m_half + 1 - m_base) * m_channels];
        for (unsigned c = 0; c < m_channels; ++c) {
            float acc = 0.0f;
            for (int n = 0; n < width; ++n) acc += kernel[n] * x[size_t(n) * m_channels + c];
            out.push_back(Saturate(acc));
        }
        ++m_nextOut;
    }
    Compact();
}

// Drops history no future output can reach.
void CResampler::Compact() {
    const int64_t centre = int64_t(m_nextOut * m_down / m_up);
    const int64_t keepFrom = centre - m_half + 1;
    const int64_t drop = keepFrom - m_base;
    if (drop <= 0 || size_t(drop) * m_channels < m_history.size() / 2) return;
    m_history.erase(m_history.begin(), m_history.begin() + ptrdiff_t(drop * m_channels));
    m_base = keepFrom;
}

void CResampler::Process(const int16_t* in, size_t frames, std::vector<int16_t>& out) {
    if (IsIdentity()) {
        out.insert(out.end(), in, in + frames * m_channels);
        m_nextOut += frames;
        return;
    }
    m_history.insert(m_history.end(), in, in + frames * m_channels);
    m_inputFrames += frames;
    Produce(m_inputFrames, out);
}

void CResampler::Flush(std::vector<int16_t>& out) {
    if (!IsIdentity()) {
        // Silence after the last frame closes the remaining windows.
        m_history.insert(m_history.end(), size_t(m_half) * m_channels, 0.0f);
        Produce(m_inputFrames + m_half, out);
    }
    Reset();
}

void MonoToStereo(const int16_t* in, size_t frames, int16_t* out) {
    for (size_t i = 0; i < frames; ++i) {
        out[2 * i] = in[i];
        out[2 * i + 1] = in[i];
    }
}
