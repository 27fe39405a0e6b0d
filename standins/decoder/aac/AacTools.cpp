#include "AacTools.h"

#include "AacTables.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace aac {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Calls visit(group, band, first line of the window) for each window of
// each band below max_sfb.
template <typename Visit>
void ForEachBandWindow(const IcsInfo& ics, Visit visit) {
    unsigned window = 0;
    for (unsigned g = 0; g < ics.numGroups; ++g) {
        for (unsigned sfb = 0; sfb < ics.maxSfb; ++sfb)
            for (unsigned w = 0; w < ics.groupLength[g]; ++w) visit(g, sfb, (window + w) * kShortLines);
        window += ics.groupLength[g];
    }
}

// A band of random values carrying the coded energy.
void Noise(float* out, unsigned width, int energy, uint32_t& seed) {
    double sum = 0;
    for (unsigned i = 0; i < width; ++i) {
        seed = seed * 1664525u + 1013904223u;
        out[i] = float(int32_t(seed));
        sum += double(out[i]) * out[i];
    }
    if (sum <= 0) return;
    const float scale = float(std::pow(2.0, 0.25 * energy) / std::sqrt(sum));
    for (unsigned i = 0; i < width; ++i) out[i] *= scale;
}

}  // namespace

void ApplyPulses(ChannelData& ch) {
    for (unsigned i = 0; i < ch.pulse.count; ++i) {
        int32_t& q = ch.quant[ch.pulse.line[i]];
        q += q > 0 ? ch.pulse.amp[i] : -int32_t(ch.pulse.amp[i]);
    }
}

void Dequantise(ChannelData& ch) {
    const QuantTables& t = Quantisation();
    const IcsInfo& ics = ch.ics;
    std::memset(ch.spec, 0, sizeof ch.spec);
    ForEachBandWindow(ics, [&](unsigned g, unsigned sfb, unsigned offset) {
        const uint8_t cb = ch.cb[g][sfb];
        if (cb == ZERO_HCB || cb == NOISE_HCB || IsIntensity(cb)) return;
        float* s = ch.spec + offset;
        const int32_t* q = ch.quant + offset;
        const float gain = t.gain[ch.sf[g][sfb]];
        for (unsigned k = ics.swb[sfb]; k < ics.swb[sfb + 1]; ++k) {
            const int32_t v = q[k];
            const float magnitude = t.pow43[std::min<uint32_t>(uint32_t(v < 0 ? -v : v), kMaxQuant)];
            s[k] = (v < 0 ? -magnitude : magnitude) * gain;
        }
    });
}

void SubstituteNoise(ChannelData& ch, uint32_t& seed) {
    const IcsInfo& ics = ch.ics;
    ForEachBandWindow(ics, [&](unsigned g, unsigned sfb, unsigned offset) {
        if (ch.cb[g][sfb] != NOISE_HCB) return;
        const unsigned begin = ics.swb[sfb], end = ics.swb[sfb + 1];
        Noise(ch.spec + offset + begin, end - begin, ch.sf[g][sfb], seed);
    });
}

void CorrelateNoise(const ChannelData& left, ChannelData& right, const StereoData& stereo) {
    const IcsInfo& ics = left.ics;
    ForEachBandWindow(ics, [&](unsigned g, unsigned sfb, unsigned offset) {
        if (left.cb[g][sfb] != NOISE_HCB || right.cb[g][sfb] != NOISE_HCB || !stereo.msUsed[g][sfb]) return;
        const float ratio = float(std::pow(2.0, 0.25 * (right.sf[g][sfb] - left.sf[g][sfb])));
        const float* l = left.spec + offset;
        float* r = right.spec + offset;
        for (unsigned k = ics.swb[sfb]; k < ics.swb[sfb + 1]; ++k) r[k] = l[k] * ratio;
    });
}

void IntensityStereo(const ChannelData& left, ChannelData& right, const StereoData& stereo) {
    const IcsInfo& ics = left.ics;
    ForEachBandWindow(ics, [&](unsigned g, unsigned sfb, unsigned offset) {
        const uint8_t cb = right.cb[g][sfb];
        if (!IsIntensity(cb)) return;
        float scale = float(std::pow(0.5, 0.25 * right.sf[g][sfb]));
        if (cb == INTENSITY_HCB2) scale = -scale;
        if (stereo.msMask == 1 && stereo.msUsed[g][sfb]) scale = -scale;
        const float* l = left.spec + offset;
        float* r = right.spec + offset;
        for (unsigned k = ics.swb[sfb]; k < ics.swb[sfb + 1]; ++k) r[k] = l[k] * scale;
    });
}

void MidSide(ChannelData& left, ChannelData& right, const StereoData& stereo) {
    const IcsInfo& ics = left.ics;
    ForEachBandWindow(ics, [&](unsigned g, unsigned sfb, unsigned offset) {
        const uint8_t l = left.cb[g][sfb], r = right.cb[g][sfb];
        if (!stereo.msUsed[g][sfb] || l == NOISE_HCB || r == NOISE_HCB || IsIntensity(r)) return;
        float* ls = left.spec + offset;
        float* rs = right.spec + offset;
        for (unsigned k = ics.swb[sfb]; k < ics.swb[sfb + 1]; ++k) {
            const float m = ls[k], s = rs[k];
            ls[k] = m + s;
            rs[k] = m - s;
        }
    });
}

void TnsPredictor(const TnsFilter& filter, float* lpc) {
    const unsigned resolution = filter.resolution;
    const double iqfac = ((1 << (resolution - 1)) - 0.5) / (kPi / 2);
    const double iqfacNegative = ((1 << (resolution - 1)) + 0.5) / (kPi / 2);
    float reflection[kMaxTnsOrder];
    for (unsigned i = 0; i < filter.order; ++i) {
        const int value = filter.coef[i];
        reflection[i] = float(std::sin(value / (value >= 0 ? iqfac : iqfacNegative)));
    }
    // Reflection coefficients to the direct form, one order at a time.
    lpc[0] = 1;
    for (unsigned m = 1; m <= filter.order; ++m) {
        float next[kMaxTnsOrder + 1];
        for (unsigned i = 1; i < m; ++i) next[i] = lpc[i] + reflection[m - 1] * lpc[m - i];
        for (unsigned i = 1; i < m; ++i) lpc[i] = next[i];
        lpc[m] = reflection[m - 1];
    }
}

void ApplyTns(ChannelData& ch, unsigned samplingIndex) {
    if (!ch.tnsPresent) return;  // the filters are left from an earlier channel
    const IcsInfo& ics = ch.ics;
    const unsigned maxBands =
        std::min<unsigned>(ics.Short() ? TnsMaxBandsShort(samplingIndex) : TnsMaxBandsLong(samplingIndex), ics.maxSfb);
    for (unsigned w = 0; w < ics.numWindows; ++w) {
        float* spec = ch.spec + w * kShortLines;
        unsigned bottom = ics.numSwb;
        for (unsigned f = 0; f < ch.tnsFilters[w]; ++f) {
            const TnsFilter& filter = ch.tns[w][f];
            const unsigned top = bottom;
            bottom = top > filter.length ? top - filter.length : 0;
            if (!filter.order) continue;
            const unsigned start = ics.swb[std::min(bottom, maxBands)];
            const unsigned end = ics.swb[std::min(top, maxBands)];
            if (end <= start) continue;
            float lpc[kMaxTnsOrder + 1];
            TnsPredictor(filter, lpc);
            float state[kMaxTnsOrder] = {};
            const int step = filter.direction ? -1 : 1;
            int k = filter.direction ? int(end) - 1 : int(start);
            for (unsigned n = start; n < end; ++n, k += step) {
                float y = spec[k];
                for (unsigned j = filter.order; j > 0; --j) {
                    y -= lpc[j] * state[j - 1];
                }
                for (unsigned j = filter.order - 1; j > 0; --j) state[j] = state[j - 1];
                state[0] = y;
                spec[k] = y;
            }
        }
    }
}

}  // namespace aac
