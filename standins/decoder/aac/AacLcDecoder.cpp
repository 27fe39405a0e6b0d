#include "AacLcDecoder.h"

#include "AacBitReader.h"
#include "AacHuffman.h"
#include "AacTables.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace aac {

namespace {

enum : unsigned { ID_SCE = 0, ID_CPE = 1, ID_CCE = 2, ID_LFE = 3, ID_DSE = 4, ID_PCE = 5, ID_FIL = 6, ID_END = 7 };
enum : uint8_t {
    ZERO_HCB = 0,
    ESC_HCB = 11,
    RESERVED_HCB = 12,
    NOISE_HCB = 13,
    INTENSITY_HCB2 = 14,
    INTENSITY_HCB = 15
};

constexpr unsigned kMaxQuant = 8191 + 15;  // escape limit plus the largest pulse
constexpr unsigned kMaxGroups = 8;
constexpr unsigned kMaxBands = 64;

struct Tables {
    float pow43[kMaxQuant + 1];
    float gain[256];  // 2^(0.25 (sf - 100))
    Tables() {
        for (unsigned i = 0; i <= kMaxQuant; ++i) pow43[i] = float(std::pow(double(i), 4.0 / 3.0));
        for (int i = 0; i < 256; ++i) gain[i] = float(std::pow(2.0, 0.25 * (i - 100)));
    }
};

const Tables& Quant() {
    static const Tables tables;
    return tables;
}

bool IsIntensity(uint8_t cb) { return cb == INTENSITY_HCB || cb == INTENSITY_HCB2; }

}  // namespace

struct LcDecoder::IcsInfo {
    uint8_t windowSequence = 0;  // window_sequence
    uint8_t windowShape = 0;     // window_shape
    uint8_t maxSfb = 0;          // max_sfb
    uint8_t numWindows = 1;
    uint8_t numGroups = 1;                 // num_window_groups
    uint8_t groupLength[kMaxGroups] = {};  // window_group_length
    const uint16_t* swb = nullptr;         // band edges of one window
    unsigned numSwb = 0;
    bool Short() const { return windowSequence == EIGHT_SHORT_SEQUENCE; }
};

struct LcDecoder::ChannelData {
    struct TnsFilter {
        uint8_t length = 0;     // length
        uint8_t order = 0;      // order
        uint8_t direction = 0;  // direction
        float lpc[13] = {};
    };
    IcsInfo ics;
    uint8_t cb[kMaxGroups][kMaxBands] = {};  // sect_cb per band
    int sf[kMaxGroups][kMaxBands] = {};      // scale factor, is_position or noise energy
    bool tnsPresent = false;
    uint8_t tnsFilters[8] = {};  // n_filt
    TnsFilter tns[8][3];
    int32_t quant[1024];
    float spec[1024];
};

// Parses one raw_data_block into spectra and runs them through the tools.
class LcDecoder::FrameParser {
public:
    FrameParser(LcDecoder& decoder, BitReader& reader) : m_d(decoder), m_r(reader) {}

    // The tools this frame used; counted as the frame is parsed.
    const DecoderStats& Used() const { return m_used; }

    bool Run() {
        unsigned channel = 0;
        for (;;) {
            if (m_r.Overrun()) return false;
            const unsigned id = m_r.Read(3);  // id_syn_ele
            switch (id) {
                case ID_SCE:
                case ID_LFE:
                    if (channel + 1 > m_d.m_channels) return false;
                    m_r.Read(4);  // element_instance_tag
                    if (!IndividualChannel(m_a, false)) return false;
                    Finish(m_a, channel++);
                    break;
                case ID_CPE:
                    if (channel + 2 > m_d.m_channels) return false;
                    m_r.Read(4);  // element_instance_tag
                    if (!ChannelPair()) return false;
                    Finish(m_a, channel++);
                    Finish(m_b, channel++);
                    break;
                case ID_DSE: {
                    m_r.Read(4);                             // element_instance_tag
                    const bool align = m_r.Bit();            // data_byte_align_flag
                    unsigned count = m_r.Read(8);            // count
                    if (count == 255) count += m_r.Read(8);  // esc_count
                    if (align) m_r.ByteAlign();
                    m_r.Skip(size_t(count) * 8);  // data_stream_byte
                    break;
                }
                case ID_FIL: {
                    unsigned count = m_r.Read(4);               // count
                    if (count == 15) count += m_r.Read(8) - 1;  // esc_count
                    m_r.Skip(size_t(count) * 8);                // extension_payload
                    break;
                }
                case ID_END:
                    return !m_r.Overrun() && channel == m_d.m_channels;
                default:  // coupling channels and program configs are not followed
                    return false;
            }
        }
    }

private:
    bool ReadIcsInfo(IcsInfo& ics) {
        const unsigned index = m_d.m_config.samplingIndex;
        if (m_r.Bit()) return false;  // ics_reserved_bit
        ics.windowSequence = uint8_t(m_r.Read(2));
        ics.windowShape = uint8_t(m_r.Read(1));
        if (ics.Short()) {
            ics.maxSfb = uint8_t(m_r.Read(4));
            const unsigned grouping = m_r.Read(7);  // scale_factor_grouping
            ics.numWindows = 8;
            ics.numGroups = 1;
            ics.groupLength[0] = 1;
            for (unsigned i = 0; i < 7; ++i) {
                if (grouping & (0x40u >> i)) {
                    ++ics.groupLength[ics.numGroups - 1];
                } else {
                    ics.groupLength[ics.numGroups++] = 1;
                }
            }
            ics.swb = ShortBands(index).offsets;
            ics.numSwb = ShortBands(index).count;
        } else {
            ics.maxSfb = uint8_t(m_r.Read(6));
            if (m_r.Bit()) return false;  // predictor_data_present: no predictors in LC
            ics.numWindows = 1;
            ics.numGroups = 1;
            ics.groupLength[0] = 1;
            ics.swb = LongBands(index).offsets;
            ics.numSwb = LongBands(index).count;
        }
        return ics.maxSfb <= ics.numSwb && !m_r.Overrun();
    }

    bool ChannelPair() {
        const bool common = m_r.Bit();  // common_window
        m_msMask = 0;
        std::memset(m_msUsed, 0, sizeof m_msUsed);
        if (common) {
            if (!ReadIcsInfo(m_a.ics)) return false;
            m_msMask = m_r.Read(2);  // ms_mask_present
            if (m_msMask == 3) return false;
            for (unsigned g = 0; g < m_a.ics.numGroups; ++g)
                for (unsigned sfb = 0; sfb < m_a.ics.maxSfb; ++sfb)
                    m_msUsed[g][sfb] = m_msMask == 2 ? true : m_msMask == 1 ? m_r.Bit() : false;  // ms_used
            for (unsigned g = 0; g < m_a.ics.numGroups; ++g)
                for (unsigned sfb = 0; sfb < m_a.ics.maxSfb; ++sfb) m_used.msBands += m_msUsed[g][sfb];
            m_b.ics = m_a.ics;
        }
        if (!IndividualChannel(m_a, common) || !IndividualChannel(m_b, common)) return false;
        Stereo(common);
        return true;
    }

    bool IndividualChannel(ChannelData& ch, bool commonWindow) {
        const unsigned globalGain = m_r.Read(8);  // global_gain
        if (!commonWindow && !ReadIcsInfo(ch.ics)) return false;
        if (ch.ics.Short()) ++m_used.shortWindowChannels;
        if (!Sections(ch) || !ScaleFactors(ch, globalGain)) return false;
        Pulse pulse;
        if (m_r.Bit()) {  // pulse_data_present
            if (ch.ics.Short() || !ReadPulse(ch.ics, pulse)) return false;
        }
        ch.tnsPresent = m_r.Bit();  // tns_data_present
        if (ch.tnsPresent && !ReadTns(ch)) return false;
        if (m_r.Bit()) return false;  // gain_control_data_present: SSR only
        if (!Spectral(ch)) return false;
        for (unsigned i = 0; i < pulse.count; ++i) {
            int32_t& q = ch.quant[pulse.line[i]];
            q += q > 0 ? pulse.amp[i] : -int32_t(pulse.amp[i]);
        }
        Dequantise(ch);
        return !m_r.Overrun();
    }

    bool Sections(ChannelData& ch) {
        const IcsInfo& ics = ch.ics;
        const unsigned bits = ics.Short() ? 3 : 5;
        const unsigned escape = (1u << bits) - 1;
        std::memset(ch.cb, 0, sizeof ch.cb);
        for (unsigned g = 0; g < ics.numGroups; ++g) {
            unsigned k = 0;
            while (k < ics.maxSfb) {
                const uint8_t cb = uint8_t(m_r.Read(4));  // sect_cb
                if (cb == RESERVED_HCB) return false;
                unsigned length = 0;
                for (;;) {
                    const unsigned increment = m_r.Read(bits);  // sect_len_incr
                    if (m_r.Overrun()) return false;
                    length += increment;
                    if (increment != escape) break;
                }
                if (length == 0 || k + length > ics.maxSfb) return false;
                if (cb == NOISE_HCB) m_used.noiseBands += length;
                if (IsIntensity(cb)) m_used.intensityBands += length;
                for (unsigned i = 0; i < length; ++i) ch.cb[g][k + i] = cb;
                k += length;
            }
        }
        return true;
    }

    bool ScaleFactors(ChannelData& ch, unsigned globalGain) {
        const HuffmanBook& book = ScalefactorBook();
        int scale = int(globalGain);
        int position = 0;
        int noise = int(globalGain) - 90;
        bool firstNoise = true;
        for (unsigned g = 0; g < ch.ics.numGroups; ++g) {
            for (unsigned sfb = 0; sfb < ch.ics.maxSfb; ++sfb) {
                const uint8_t cb = ch.cb[g][sfb];
                int value = 0;
                if (cb == ZERO_HCB) {
                    value = 0;
                } else if (IsIntensity(cb)) {
                    const int d = book.Decode(m_r);  // hcod_sf
                    if (d < 0) return false;
                    position += d - 60;
                    value = position;
                } else if (cb == NOISE_HCB) {
                    if (firstNoise) {
                        noise += int(m_r.Read(9)) - 256;  // dpcm_noise_nrg
                        firstNoise = false;
                    } else {
                        const int d = book.Decode(m_r);
                        if (d < 0) return false;
                        noise += d - 60;
                    }
                    value = noise;
                } else {
                    const int d = book.Decode(m_r);
                    if (d < 0) return false;
                    scale += d - 60;
                    if (scale < 0 || scale > 255) return false;
                    value = scale;
                }
                if (value < -512 || value > 512) return false;
                ch.sf[g][sfb] = value;
            }
        }
        return !m_r.Overrun();
    }

    struct Pulse {
        unsigned count = 0;
        uint16_t line[4] = {};
        uint8_t amp[4] = {};
    };

    bool ReadPulse(const IcsInfo& ics, Pulse& pulse) {
        pulse.count = m_r.Read(2) + 1;       // number_pulse
        const unsigned start = m_r.Read(6);  // pulse_start_sfb
        if (start >= ics.numSwb) return false;
        unsigned k = ics.swb[start];
        for (unsigned i = 0; i < pulse.count; ++i) {
            k += m_r.Read(5);  // pulse_offset
            if (k >= 1024) return false;
            pulse.line[i] = uint16_t(k);
            pulse.amp[i] = uint8_t(m_r.Read(4));  // pulse_amp
        }
        return true;
    }

    bool ReadTns(ChannelData& ch) {
        const bool isShort = ch.ics.Short();
        for (unsigned w = 0; w < ch.ics.numWindows; ++w) {
            ch.tnsFilters[w] = uint8_t(m_r.Read(isShort ? 1 : 2));  // n_filt
            if (!ch.tnsFilters[w]) continue;
            const unsigned resolution = m_r.Read(1) + 3;  // coef_res
            for (unsigned f = 0; f < ch.tnsFilters[w]; ++f) {
                ChannelData::TnsFilter& filter = ch.tns[w][f];
                filter.length = uint8_t(m_r.Read(isShort ? 4 : 6));  // length
                filter.order = uint8_t(m_r.Read(isShort ? 3 : 5));   // order
                if (filter.order > (isShort ? 7 : 12)) return false;
                if (!filter.order) continue;
                filter.direction = uint8_t(m_r.Read(1));         // direction
                const unsigned bits = resolution - m_r.Read(1);  // coef_compress
                const double iqfac = ((1 << (resolution - 1)) - 0.5) / (3.14159265358979323846 / 2);
                const double iqfacNegative = ((1 << (resolution - 1)) + 0.5) / (3.14159265358979323846 / 2);
                float reflection[12];
                for (unsigned i = 0; i < filter.order; ++i) {
                    int value = int(m_r.Read(bits));  // coef
                    if (value & (1 << (bits - 1))) value -= 1 << bits;
                    reflection[i] = float(std::sin(value / (value >= 0 ? iqfac : iqfacNegative)));
                }
                // Reflection coefficients to the direct-form predictor.
                float* a = filter.lpc;
                a[0] = 1;
                for (unsigned m = 1; m <= filter.order; ++m) {
                    float next[13];
                    for (unsigned i = 1; i < m; ++i) next[i] = a[i] + reflection[m - 1] * a[m - i];
                    for (unsigned i = 1; i < m; ++i) a[i] = next[i];
                    a[m] = reflection[m - 1];
                }
            }
        }
        return !m_r.Overrun();
    }

    bool Spectral(ChannelData& ch) {
        const IcsInfo& ics = ch.ics;
        std::memset(ch.quant, 0, sizeof ch.quant);
        unsigned window = 0;
        for (unsigned g = 0; g < ics.numGroups; ++g) {
            for (unsigned sfb = 0; sfb < ics.maxSfb; ++sfb) {
                const uint8_t cb = ch.cb[g][sfb];
                if (cb == ZERO_HCB || cb >= NOISE_HCB) continue;
                const HuffmanBook* book = SpectralBook(cb);
                const unsigned dim = cb < 5 ? 4 : 2;
                for (unsigned w = 0; w < ics.groupLength[g]; ++w) {
                    int32_t* q = ch.quant + (window + w) * 128;
                    for (unsigned k = ics.swb[sfb]; k < ics.swb[sfb + 1]; k += dim)
                        if (!Codeword(*book, cb, q + k)) return false;
                }
            }
            window += ics.groupLength[g];
        }
        return !m_r.Overrun();
    }

    bool Codeword(const HuffmanBook& book, uint8_t cb, int32_t* out) {
        int index = book.Decode(m_r);
        if (index < 0) return false;
        static const uint8_t kModulo[12] = {0, 3, 3, 3, 3, 9, 9, 8, 8, 13, 13, 17};
        const bool isSigned = cb == 1 || cb == 2 || cb == 5 || cb == 6;
        const int offset = isSigned ? int(kModulo[cb] / 2) : 0;
        const unsigned dim = cb < 5 ? 4 : 2;
        int values[4];
        for (int i = int(dim) - 1; i >= 0; --i) {
            values[i] = index % kModulo[cb] - offset;
            index /= kModulo[cb];
        }
        if (!isSigned) {
            for (unsigned i = 0; i < dim; ++i)
                if (values[i] && m_r.Bit()) values[i] = -values[i];  // sign_bits
            if (cb == ESC_HCB) {
                for (unsigned i = 0; i < dim; ++i) {
                    if (values[i] != 16 && values[i] != -16) continue;
                    unsigned prefix = 0;
                    while (m_r.Bit()) {  // escape_prefix
                        if (++prefix > 8 || m_r.Overrun()) return false;
                    }
                    const int magnitude = (1 << (prefix + 4)) + int(m_r.Read(prefix + 4));  // escape_word
                    values[i] = values[i] < 0 ? -magnitude : magnitude;
                }
            }
        }
        for (unsigned i = 0; i < dim; ++i) out[i] = values[i];
        return true;
    }

    void Dequantise(ChannelData& ch) {
        const Tables& t = Quant();
        const IcsInfo& ics = ch.ics;
        std::memset(ch.spec, 0, sizeof ch.spec);
        unsigned window = 0;
        for (unsigned g = 0; g < ics.numGroups; ++g) {
            for (unsigned sfb = 0; sfb < ics.maxSfb; ++sfb) {
                const uint8_t cb = ch.cb[g][sfb];
                if (cb == ZERO_HCB || IsIntensity(cb)) continue;
                const unsigned begin = ics.swb[sfb], end = ics.swb[sfb + 1];
                for (unsigned w = 0; w < ics.groupLength[g]; ++w) {
                    float* s = ch.spec + (window + w) * 128;
                    if (cb == NOISE_HCB) {
                        Noise(s + begin, end - begin, ch.sf[g][sfb]);
                        continue;
                    }
                    const int32_t* q = ch.quant + (window + w) * 128;
                    const float gain = t.gain[ch.sf[g][sfb]];
                    for (unsigned k = begin; k < end; ++k) {
                        const int32_t v = q[k];
                        const float magnitude = t.pow43[std::min<uint32_t>(uint32_t(v < 0 ? -v : v), kMaxQuant)];
                        s[k] = (v < 0 ? -magnitude : magnitude) * gain;
                    }
                }
            }
            window += ics.groupLength[g];
        }
    }

    // A band of random values carrying the coded energy.
    void Noise(float* out, unsigned width, int energy) {
        double sum = 0;
        for (unsigned i = 0; i < width; ++i) {
            m_d.m_noiseSeed = m_d.m_noiseSeed * 1664525u + 1013904223u;
            out[i] = float(int32_t(m_d.m_noiseSeed));
            sum += double(out[i]) * out[i];
        }
        if (sum <= 0) return;
        const float scale = float(std::pow(2.0, 0.25 * energy) / std::sqrt(sum));
        for (unsigned i = 0; i < width; ++i) out[i] *= scale;
    }

    void Stereo(bool common) {
        if (!common) return;  // M/S and intensity need a shared window
        const IcsInfo& ics = m_a.ics;
        unsigned window = 0;
        for (unsigned g = 0; g < ics.numGroups; ++g) {
            for (unsigned sfb = 0; sfb < ics.maxSfb; ++sfb) {
                const uint8_t left = m_a.cb[g][sfb], right = m_b.cb[g][sfb];
                const unsigned begin = ics.swb[sfb], end = ics.swb[sfb + 1];
                for (unsigned w = 0; w < ics.groupLength[g]; ++w) {
                    float* l = m_a.spec + (window + w) * 128;
                    float* r = m_b.spec + (window + w) * 128;
                    if (IsIntensity(right)) {
                        float scale = float(std::pow(0.5, 0.25 * m_b.sf[g][sfb]));
                        if (right == INTENSITY_HCB2) scale = -scale;
                        if (m_msMask == 1 && m_msUsed[g][sfb]) scale = -scale;
                        for (unsigned k = begin; k < end; ++k) r[k] = l[k] * scale;
                    } else if (left == NOISE_HCB && right == NOISE_HCB) {
                        if (!m_msUsed[g][sfb]) continue;
                        // The same noise in both channels, each at its own energy.
                        const float ratio = float(std::pow(2.0, 0.25 * (m_b.sf[g][sfb] - m_a.sf[g][sfb])));
                        for (unsigned k = begin; k < end; ++k) r[k] = l[k] * ratio;
                    } else if (m_msUsed[g][sfb] && left != NOISE_HCB && right != NOISE_HCB) {
                        for (unsigned k = begin; k < end; ++k) {
                            const float m = l[k], s = r[k];
                            l[k] = m + s;
                            r[k] = m - s;
                        }
                    }
                }
            }
            window += ics.groupLength[g];
        }
    }

    void Tns(ChannelData& ch) {
        const IcsInfo& ics = ch.ics;
        const unsigned index = m_d.m_config.samplingIndex;
        const unsigned maxBands =
            std::min<unsigned>(ics.Short() ? TnsMaxBandsShort(index) : TnsMaxBandsLong(index), ics.maxSfb);
        for (unsigned w = 0; w < ics.numWindows; ++w) {
            float* spec = ch.spec + w * 128;
            unsigned bottom = ics.numSwb;
            for (unsigned f = 0; f < ch.tnsFilters[w]; ++f) {
                const ChannelData::TnsFilter& filter = ch.tns[w][f];
                const unsigned top = bottom;
                bottom = top > filter.length ? top - filter.length : 0;
                if (!filter.order) continue;
                const unsigned start = ics.swb[std::min(bottom, maxBands)];
                const unsigned end = ics.swb[std::min(top, maxBands)];
                if (end <= start) continue;
                float state[12] = {};
                const int step = filter.direction ? -1 : 1;
                int k = filter.direction ? int(end) - 1 : int(start);
                for (unsigned n = start; n < end; ++n, k += step) {
                    float y = spec[k];
                    for (unsigned j = filter.order; j > 0; --j) {
                        y -= filter.lpc[j] * state[j - 1];
                    }
                    for (unsigned j = filter.order - 1; j > 0; --j) state[j] = state[j - 1];
                    state[0] = y;
                    spec[k] = y;
                }
            }
        }
    }

    void Finish(ChannelData& ch, unsigned channel) {
        if (ch.tnsPresent) Tns(ch);
        m_d.m_banks[channel]->Synthesize(ch.spec, WindowSequence(ch.ics.windowSequence), ch.ics.windowShape,
                                         m_d.m_output[channel].data());
    }

    LcDecoder& m_d;
    BitReader& m_r;
    ChannelData m_a, m_b;
    unsigned m_msMask = 0;
    bool m_msUsed[kMaxGroups][kMaxBands] = {};
    DecoderStats m_used;
};

bool LcDecoder::Configure(const DecoderConfig& config) {
    static const uint8_t kChannels[8] = {0, 1, 2, 3, 4, 5, 6, 8};
    m_channels = 0;
    if (config.objectType != 2 && config.objectType != 1 && config.objectType != 4) return false;
    if (config.samplingIndex >= kSamplingIndices || config.frameLength != kFrame) return false;
    if (config.channelConfiguration < 1 || config.channelConfiguration > 7) return false;
    m_config = config;
    m_channels = kChannels[config.channelConfiguration];
    m_banks.clear();
    m_output.assign(m_channels, std::vector<float>(kFrame));
    for (unsigned c = 0; c < m_channels; ++c) m_banks.push_back(std::make_unique<FilterBank>());
    Windows();
    Quant();
    ScalefactorBook();
    SpectralBook(1);
    return true;
}

void LcDecoder::Reset() {
    for (auto& bank : m_banks) bank->Reset();
}

void LcDecoder::Silence(int16_t* pcm) { std::memset(pcm, 0, sizeof(int16_t) * kFrame * m_channels); }

bool LcDecoder::DecodeFrame(const uint8_t* data, size_t size, int16_t* pcm) {
    if (m_channels == 0) return false;
    BitReader reader(data, size);
    // The parser's channel buffers are large: keep them off the stack.
    std::unique_ptr<FrameParser> parser(new FrameParser(*this, reader));
    if (!parser->Run()) {
        Reset();
        Silence(pcm);
        return false;
    }
    // Element order (centre first) to the WAVE order (front left, right, centre, LFE, surrounds).
    // clang-format off
    static const uint8_t kOrder[8][8] = {{0},
                                         {0},
                                         {0, 1},
                                         {1, 2, 0},
                                         {1, 2, 0, 3},
                                         {1, 2, 0, 3, 4},
                                         {1, 2, 0, 5, 3, 4},
                                         {1, 2, 0, 7, 5, 6, 3, 4}};
    // clang-format on
    const uint8_t* order = kOrder[m_config.channelConfiguration];
    for (unsigned c = 0; c < m_channels; ++c) {
        const float* in = m_output[order[c]].data();
        int16_t* out = pcm + c;
        for (unsigned n = 0; n < kFrame; ++n, out += m_channels) {
            const float v = std::nearbyint(in[n]);
            if (!std::isfinite(v)) {
                // A hostile frame can make TNS unstable: nothing of it may stay in the overlap.
                Reset();
                Silence(pcm);
                return false;
            }
            *out = int16_t(v > 32767.0f ? 32767 : v < -32768.0f ? -32768 : int(v));
        }
    }
    const DecoderStats& used = parser->Used();
    ++m_stats.frames;
    m_stats.noiseBands += used.noiseBands;
    m_stats.intensityBands += used.intensityBands;
    m_stats.msBands += used.msBands;
    m_stats.shortWindowChannels += used.shortWindowChannels;
    return true;
}

}  // namespace aac
