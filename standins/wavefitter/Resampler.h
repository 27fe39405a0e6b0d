// Band-limited sample-rate conversion of interleaved 16-bit PCM: a
// Kaiser-windowed sinc evaluated in L phases for the rational ratio
// L/M = out/in (or in a fine phase table with interpolation when L is
// large). Output frame k sits exactly at input time k*M/L, so the converter
// adds no delay; the cut-off lies just below the lower of the two Nyquist
// frequencies. Portable: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class CResampler {
public:
    // Throws std::invalid_argument for a zero rate or channel count.
    CResampler(unsigned inRate, unsigned outRate, unsigned channels);

    // Takes frames interleaved input frames and appends to out every output
    // frame they complete.
    void Process(const int16_t* in, size_t frames, std::vector<int16_t>& out);
    // End of input: appends the remaining output frames, so that N input
    // frames give ceil(N * out / in) output frames in all. Then resets.
    void Flush(std::vector<int16_t>& out);
    // Forgets all input, as after a seek.
    void Reset();

    bool IsIdentity() const noexcept { return m_up == m_down; }
    unsigned Channels() const noexcept { return m_channels; }
    // Output frames produced since the last reset.
    uint64_t OutputFrames() const noexcept { return m_nextOut; }

private:
    void BuildTable();
    // Fills m_taps with the kernel for output fraction phase / m_up.
    const float* Kernel(uint64_t phase);
    void Produce(uint64_t inputLimit, std::vector<int16_t>& out);
    void Compact();

    unsigned m_up = 1;    // L
    unsigned m_down = 1;  // M
    unsigned m_channels = 1;
    double m_scale = 1.0;        // cut-off relative to the input Nyquist
    int m_half = 0;              // taps each side of the centre
    unsigned m_phases = 1;       // rows of the table
    bool m_exactPhases = true;   // m_phases == m_up
    std::vector<float> m_table;  // (m_phases + 1) rows of 2 * m_half taps
    std::vector<float> m_taps;   // one interpolated row

    std::vector<float> m_history;  // interleaved input from absolute frame m_base on
    int64_t m_base = 0;
    uint64_t m_inputFrames = 0;  // real input frames since the last reset
    uint64_t m_nextOut = 0;
};

// Interleaves a mono block as two identical channels.
void MonoToStereo(const int16_t* in, size_t frames, int16_t* out);
