// The synthesis filter bank of AAC: IMDCT of 2048 or 256 points with sine
// or KBD windows, the four window sequences and the overlap-add between
// frames.
#pragma once

#include <complex>
#include <cstdint>
#include <vector>

namespace aac {

enum WindowSequence : uint8_t {
    ONLY_LONG_SEQUENCE = 0,
    LONG_START_SEQUENCE = 1,
    EIGHT_SHORT_SEQUENCE = 2,
    LONG_STOP_SEQUENCE = 3
};

// y[n] = 2/N * sum_k X[k] cos(2pi/N (n + n0)(k + 1/2)), n0 = (N/2 + 1)/2,
// for N/2 coefficients X in and N samples y out.
class Imdct {
public:
    explicit Imdct(unsigned n);
    void Transform(const float* in, float* out);
    unsigned Length() const { return m_n; }

private:
    unsigned m_n;
    std::vector<std::complex<float>> m_twiddle;  // pre/post twiddles, N/4 each
    std::vector<std::complex<float>> m_fftRoots;
    std::vector<uint16_t> m_bitReverse;
    std::vector<std::complex<float>> m_work;
    std::vector<float> m_dct;
};

// Rising halves of the windows: sine and KBD (alpha 4 long, 6 short).
struct WindowTables {
    float sineLong[1024], kbdLong[1024], sineShort[128], kbdShort[128];
    const float* Long(unsigned shape) const { return shape ? kbdLong : sineLong; }
    const float* Short(unsigned shape) const { return shape ? kbdShort : sineShort; }
};
const WindowTables& Windows();

// One channel's synthesis state.
class FilterBank {
public:
    FilterBank();
    // 1024 coefficients (eight groups of 128 for short windows) in, 1024
    // samples out; `shape` is this frame's window_shape.
    void Synthesize(const float* spectrum, WindowSequence sequence, unsigned shape, float* out);
    void Reset();

private:
    Imdct m_long{2048};
    Imdct m_short{256};
    float m_overlap[1024];
    float m_buffer[2048];
    float m_block[2048];
    unsigned m_previousShape = 0;
};

}  // namespace aac
