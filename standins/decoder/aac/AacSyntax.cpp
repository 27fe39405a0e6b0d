#include "AacSyntax.h"

#include "AacHuffman.h"
#include "AacTables.h"

#include <cstring>

namespace aac {

namespace {

enum : unsigned { ID_SCE = 0, ID_CPE = 1, ID_CCE = 2, ID_LFE = 3, ID_DSE = 4, ID_PCE = 5, ID_FIL = 6, ID_END = 7 };

}  // namespace

bool SyntaxReader::RawDataBlock(unsigned channels, ElementSink& sink) {
    unsigned channel = 0;
    for (;;) {
        if (m_r.Overrun()) return false;
        const unsigned id = m_r.Read(3);  // id_syn_ele
        switch (id) {
            case ID_SCE:
            case ID_LFE:
                if (channel + 1 > channels) return false;
                m_r.Read(4);  // element_instance_tag
                if (!IndividualChannel(m_a, false)) return false;
                sink.ChannelRead(m_a);
                sink.SingleChannel(m_a, channel++);
                break;
            case ID_CPE:
                if (channel + 2 > channels) return false;
                m_r.Read(4);  // element_instance_tag
                if (!ChannelPair(sink)) return false;
                sink.ChannelPair(m_a, m_b, m_stereo, channel);
                channel += 2;
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
                return !m_r.Overrun() && channel == channels;
            default:  // coupling channels and program configs are not followed
                return false;
        }
    }
}

bool SyntaxReader::ReadIcsInfo(IcsInfo& ics) {
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
        ics.swb = ShortBands(m_samplingIndex).offsets;
        ics.numSwb = ShortBands(m_samplingIndex).count;
    } else {
        ics.maxSfb = uint8_t(m_r.Read(6));
        if (m_r.Bit()) return false;  // predictor_data_present: no predictors in LC
        ics.numWindows = 1;
        ics.numGroups = 1;
        ics.groupLength[0] = 1;
        ics.swb = LongBands(m_samplingIndex).offsets;
        ics.numSwb = LongBands(m_samplingIndex).count;
    }
    return ics.maxSfb <= ics.numSwb && !m_r.Overrun();
}

bool SyntaxReader::ChannelPair(ElementSink& sink) {
    m_stereo = StereoData();
    m_stereo.commonWindow = m_r.Bit();  // common_window
    const bool common = m_stereo.commonWindow;
    if (common) {
        if (!ReadIcsInfo(m_a.ics)) return false;
        m_stereo.msMask = m_r.Read(2);  // ms_mask_present
        if (m_stereo.msMask == 3) return false;
        for (unsigned g = 0; g < m_a.ics.numGroups; ++g)
            for (unsigned sfb = 0; sfb < m_a.ics.maxSfb; ++sfb)
                m_stereo.msUsed[g][sfb] = m_stereo.msMask == 2 || (m_stereo.msMask == 1 && m_r.Bit());  // ms_used
        m_b.ics = m_a.ics;
    }
    if (!IndividualChannel(m_a, common)) return false;
    sink.ChannelRead(m_a);
    if (!IndividualChannel(m_b, common)) return false;
    sink.ChannelRead(m_b);
    return true;
}

bool SyntaxReader::IndividualChannel(ChannelData& ch, bool commonWindow) {
    const unsigned globalGain = m_r.Read(8);  // global_gain
    if (!commonWindow && !ReadIcsInfo(ch.ics)) return false;
    if (!Sections(ch) || !ScaleFactors(ch, globalGain)) return false;
    ch.pulse = PulseData();
    if (m_r.Bit()) {  // pulse_data_present
        if (ch.ics.Short() || !ReadPulse(ch.ics, ch.pulse)) return false;
    }
    ch.tnsPresent = m_r.Bit();  // tns_data_present
    if (ch.tnsPresent && !ReadTns(ch)) return false;
    if (m_r.Bit()) return false;  // gain_control_data_present: SSR only
    return Spectral(ch);
}

bool SyntaxReader::Sections(ChannelData& ch) {
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
            for (unsigned i = 0; i < length; ++i) ch.cb[g][k + i] = cb;
            k += length;
        }
    }
    return true;
}

bool SyntaxReader::ScaleFactors(ChannelData& ch, unsigned globalGain) {
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

bool SyntaxReader::ReadPulse(const IcsInfo& ics, PulseData& pulse) {
    pulse.count = m_r.Read(2) + 1;       // number_pulse
    const unsigned start = m_r.Read(6);  // pulse_start_sfb
    if (start >= ics.numSwb) return false;
    unsigned k = ics.swb[start];
    for (unsigned i = 0; i < pulse.count; ++i) {
        k += m_r.Read(5);  // pulse_offset
        if (k >= kSpectrumLines) return false;
        pulse.line[i] = uint16_t(k);
        pulse.amp[i] = uint8_t(m_r.Read(4));  // pulse_amp
    }
    return true;
}

bool SyntaxReader::ReadTns(ChannelData& ch) {
    const bool isShort = ch.ics.Short();
    for (unsigned w = 0; w < ch.ics.numWindows; ++w) {
        ch.tnsFilters[w] = uint8_t(m_r.Read(isShort ? 1 : 2));  // n_filt
        if (!ch.tnsFilters[w]) continue;
        const unsigned resolution = m_r.Read(1) + 3;  // coef_res
        for (unsigned f = 0; f < ch.tnsFilters[w]; ++f) {
            TnsFilter& filter = ch.tns[w][f];
            filter.length = uint8_t(m_r.Read(isShort ? 4 : 6));  // length
            filter.order = uint8_t(m_r.Read(isShort ? 3 : 5));   // order
            if (filter.order > (isShort ? 7 : kMaxTnsOrder)) return false;
            if (!filter.order) continue;
            filter.direction = uint8_t(m_r.Read(1));         // direction
            const unsigned bits = resolution - m_r.Read(1);  // coef_compress
            filter.resolution = uint8_t(resolution);
            for (unsigned i = 0; i < filter.order; ++i) {
                int value = int(m_r.Read(bits));  // coef
                if (value & (1 << (bits - 1))) value -= 1 << bits;
                filter.coef[i] = int8_t(value);
            }
        }
    }
    return !m_r.Overrun();
}

bool SyntaxReader::Spectral(ChannelData& ch) {
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
                int32_t* q = ch.quant + (window + w) * kShortLines;
                for (unsigned k = ics.swb[sfb]; k < ics.swb[sfb + 1]; k += dim)
                    if (!Codeword(*book, cb, q + k)) return false;
            }
        }
        window += ics.groupLength[g];
    }
    return !m_r.Overrun();
}

bool SyntaxReader::Codeword(const HuffmanBook& book, uint8_t cb, int32_t* out) {
    int index = book.Decode(m_r);
    if (index < 0) return false;
    const int modulo = kSpectralModulo[cb];
    const bool isSigned = cb == 1 || cb == 2 || cb == 5 || cb == 6;
    const int offset = isSigned ? modulo / 2 : 0;
    const unsigned dim = cb < 5 ? 4 : 2;
    int values[4];
    for (int i = int(dim) - 1; i >= 0; --i) {
        values[i] = index % modulo - offset;
        index /= modulo;
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

}  // namespace aac
