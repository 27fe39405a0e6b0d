#include "AacFilterBank.h"

#include <cmath>
#include <cstring>

namespace aac {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Zeroth-order modified Bessel function of the first kind.
double BesselI0(double x) {
    double sum = 1, term = 1;
    for (int k = 1; k < 50; ++k) {
        term *= (x / (2 * k)) * (x / (2 * k));
        sum += term;
        if (term < sum * 1e-12) break;
    }
    return sum;
}

void MakeSine(float* w, unsigned half) {
    for (unsigned n = 0; n < half; ++n) w[n] = float(std::sin(kPi / (2 * half) * (n + 0.5)));
}

void MakeKbd(float* w, unsigned half, double alpha) {
    std::vector<double> kernel(half + 1);
    for (unsigned n = 0; n <= half; ++n) {
        const double r = (double(n) - half / 2.0) / (half / 2.0);
        kernel[n] = BesselI0(kPi * alpha * std::sqrt(std::max(0.0, 1 - r * r)));
    }
    double total = 0;
    for (double k : kernel) total += k;
    double sum = 0;
    for (unsigned n = 0; n < half; ++n) {
        sum += kernel[n];
        w[n] = float(std::sqrt(sum / total));
    }
}

}  // namespace

const WindowTables& Windows() {
    static const WindowTables tables = [] {
        WindowTables t;
        MakeSine(t.sineLong, 1024);
        MakeSine(t.sineShort, 128);
        MakeKbd(t.kbdLong, 1024, 4);
        MakeKbd(t.kbdShort, 128, 6);
        return t;
    }();
    return tables;
}

// The IMDCT is a DCT-IV of N/2 points, symmetrically extended; the DCT-IV
// runs as an N/8-point complex FFT between two twiddles.
Imdct::Imdct(unsigned n)
    : m_n(n), m_twiddle(n / 4), m_fftRoots(n / 8), m_bitReverse(n / 4), m_work(n / 4), m_dct(n / 2) {
    const unsigned m = n / 2, q = n / 4;
    for (unsigned k = 0; k < q; ++k) m_twiddle[k] = std::polar(1.0f, float(kPi * (k + 0.125) / m));
    for (unsigned k = 0; k < q / 2; ++k) m_fftRoots[k] = std::polar(1.0f, float(2 * kPi * k / q));
    unsigned bits = 0;
    while ((1u << bits) < q) ++bits;
    for (unsigned i = 0; i < q; ++i) {
        unsigned r = 0;
        for (unsigned b = 0; b < bits; ++b)
            if (i & (1u << b)) r |= 1u << (bits - 1 - b);
        m_bitReverse[i] = uint16_t(r);
    }
}

void Imdct::Transform(const float* in, float* out) {
    const unsigned m = m_n / 2, q = m_n / 4;
    for (unsigned k = 0; k < q; ++k)
        m_work[m_bitReverse[k]] = std::complex<float>(in[2 * k], -in[m - 1 - 2 * k]) * m_twiddle[k];
    // Radix-2 inverse FFT (positive exponent), in place.
    for (unsigned size = 2; size <= q; size *= 2) {
        const unsigned half = size / 2, step = q / size;
        for (unsigned start = 0; start < q; start += size) {
            for (unsigned j = 0; j < half; ++j) {
                const std::complex<float> t = m_work[start + j + half] * m_fftRoots[j * step];
                m_work[start + j + half] = m_work[start + j] - t;
                m_work[start + j] += t;
            }
        }
    }
    for (unsigned j = 0; j < q; ++j) {
        const std::complex<float> c = m_work[j] * m_twiddle[j];
        m_dct[2 * j] = c.real();
        m_dct[m - 1 - 2 * j] = c.imag();
    }
    const float scale = 2.0f / float(m_n);
    const unsigned h = m / 2;
    for (unsigned i = 0; i < h; ++i) out[i] = scale * m_dct[h + i];
    for (unsigned i = 0; i < m; ++i) out[h + i] = -scale * m_dct[m - 1 - i];
    for (unsigned i = 0; i < h; ++i) out[h + m + i] = -scale * m_dct[i];
}

FilterBank::FilterBank() { Reset(); }

void FilterBank::Reset() {
    std::memset(m_overlap, 0, sizeof m_overlap);
    m_previousShape = 0;
}

void FilterBank::Synthesize(const float* spectrum, WindowSequence sequence, unsigned shape, float* out) {
    const WindowTables& w = Windows();
    const float* longPrev = w.Long(m_previousShape);
    const float* longCur = w.Long(shape);
    const float* shortPrev = w.Short(m_previousShape);
    const float* shortCur = w.Short(shape);
    float* b = m_buffer;

    if (sequence == EIGHT_SHORT_SEQUENCE) {
        std::memset(b, 0, sizeof m_buffer);
        for (unsigned win = 0; win < 8; ++win) {
            m_short.Transform(spectrum + 128 * win, m_block);
            const float* rise = win == 0 ? shortPrev : shortCur;
            float* at = b + 448 + 128 * win;
            for (unsigned n = 0; n < 128; ++n) {
                at[n] += m_block[n] * rise[n];
                at[128 + n] += m_block[128 + n] * shortCur[127 - n];
            }
        }
    } else {
        m_long.Transform(spectrum, b);
        if (sequence == LONG_STOP_SEQUENCE) {
            for (unsigned n = 0; n < 448; ++n) b[n] = 0;
            for (unsigned n = 0; n < 128; ++n) b[448 + n] *= shortPrev[n];
        } else {
            for (unsigned n = 0; n < 1024; ++n) b[n] *= longPrev[n];
        }
        if (sequence == LONG_START_SEQUENCE) {
            for (unsigned n = 0; n < 128; ++n) b[1472 + n] *= shortCur[127 - n];
            for (unsigned n = 1600; n < 2048; ++n) b[n] = 0;
        } else {
            for (unsigned n = 0; n < 1024; ++n) b[1024 + n] *= longCur[1023 - n];
        }
    }
    for (unsigned n = 0; n < 1024; ++n) {
        out[n] = m_overlap[n] + b[n];
        m_overlap[n] = b[1024 + n];
    }
    m_previousShape = shape;
}

}  // namespace aac
