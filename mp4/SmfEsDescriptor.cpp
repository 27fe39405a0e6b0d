#include "SmfEsDescriptor.h"

#include "SmfResult.h"

namespace {

constexpr uint8_t kEsDescrTag = 3;
constexpr uint8_t kDecoderConfigDescrTag = 4;
constexpr uint8_t kDecSpecificInfoTag = 5;
constexpr uint8_t kSlConfigDescrTag = 6;

// A bounded big-endian reader that refuses to pass its end.
class ByteCursor {
public:
    ByteCursor(const uint8_t* data, size_t size) : m_p(data), m_cbLeft(size) {}
    size_t Left() const { return m_cbLeft; }
    const uint8_t* Here() const { return m_p; }
    bool Skip(size_t n) {
        if (n > m_cbLeft) return false;
        m_p += n;
        m_cbLeft -= n;
        return true;
    }
    bool U8(uint8_t& v) {
        if (m_cbLeft < 1) return false;
        v = *m_p;
        return Skip(1);
    }
    bool U16(uint16_t& v) {
        if (m_cbLeft < 2) return false;
        v = uint16_t((m_p[0] << 8) | m_p[1]);
        return Skip(2);
    }
    bool U24(uint32_t& v) {
        if (m_cbLeft < 3) return false;
        v = (uint32_t(m_p[0]) << 16) | (uint32_t(m_p[1]) << 8) | m_p[2];
        return Skip(3);
    }
    bool U32(uint32_t& v) {
        if (m_cbLeft < 4) return false;
        v = SmfBigEndian32(m_p);
        return Skip(4);
    }

private:
    const uint8_t* m_p;
    size_t m_cbLeft;
};

// Bits most significant first across byte boundaries.
class BitCursor {
public:
    BitCursor(const uint8_t* data, size_t size) : m_pbData(data), m_cBits(size * 8) {}
    size_t BitsLeft() const { return m_cBits - m_iBitPos; }
    bool Read(unsigned n, uint64_t& v) {
        if (n > 64 || n > BitsLeft()) return false;
        v = 0;
        for (unsigned i = 0; i < n; ++i, ++m_iBitPos)
            v = (v << 1) | ((m_pbData[m_iBitPos / 8] >> (7 - m_iBitPos % 8)) & 1u);
        return true;
    }
    template <typename T>
    bool Read(unsigned n, T& out) {
        uint64_t v = 0;
        if (!Read(n, v)) return false;
        out = T(v);
        return true;
    }

private:
    const uint8_t* m_pbData;
    size_t m_cBits;
    size_t m_iBitPos = 0;
};

struct DescriptorHeader {
    uint8_t tag = 0;
    uint32_t length = 0;
};

// Tag byte and 1..4 expandable length bytes; the length must fit what remains.
int ReadDescriptorHeader(ByteCursor& c, DescriptorHeader& h) {
    if (c.Left() <= 1) return SMF_ERR_ABSENT;
    c.U8(h.tag);
    h.length = 0;
    for (int i = 0; i < 4; ++i) {
        uint8_t b = 0;
        if (!c.U8(b)) return SMF_ERR_ABSENT;
        h.length = (h.length << 7) | (b & 0x7F);
        if (!(b & 0x80)) return h.length <= c.Left() ? SMF_ERR_NONE : SMF_ERR_ABSENT;
    }
    return SMF_ERR_ABSENT;
}

int ParseDecoderConfig(const uint8_t* data, uint32_t length, SmfEsDescriptor& es) {
    if (length < 13) return SMF_ERR_ABSENT;
    ByteCursor c(data, length);
    uint8_t b = 0;
    c.U8(es.objectTypeIndication);
    c.U8(b);
    es.streamType = uint8_t(b >> 2);
    es.upStream = uint8_t((b >> 1) & 1);
    c.U24(es.bufferSizeDB);
    c.U32(es.maxBitrate);
    c.U32(es.avgBitrate);
    es.hasDecoderConfig = true;
    while (c.Left() > 2) {
        DescriptorHeader h;
        SMF_CHECK(ReadDescriptorHeader(c, h));
        if (h.tag == kDecSpecificInfoTag && !es.hasDecoderSpecificInfo) {
            es.decoderSpecificInfo.assign(c.Here(), c.Here() + h.length);
            es.hasDecoderSpecificInfo = true;
        }
        c.Skip(h.length);
    }
    return c.Left() == 0 ? SMF_ERR_NONE : SMF_ERR_ABSENT;
}

int ParseSlConfig(const uint8_t* data, uint32_t length, SmfSlConfig& sl) {
    if (length == 0) return SMF_ERR_ABSENT;
    BitCursor b(data, length);
    b.Read(8, sl.predefined);
    if (sl.predefined == 0) {
        if (b.BitsLeft() < 15 * 8) return SMF_ERR_ABSENT;
        b.Read(1, sl.useAccessUnitStartFlag);
        b.Read(1, sl.useAccessUnitEndFlag);
        b.Read(1, sl.useRandomAccessPointFlag);
        b.Read(1, sl.hasRandomAccessUnitsOnlyFlag);
        b.Read(1, sl.usePaddingFlag);
        b.Read(1, sl.useTimeStampsFlag);
        b.Read(1, sl.useIdleFlag);
        b.Read(1, sl.durationFlag);
        b.Read(32, sl.timeStampResolution);
        b.Read(32, sl.ocrResolution);
        b.Read(8, sl.timeStampLength);
        b.Read(8, sl.ocrLength);
        b.Read(8, sl.auLength);
        b.Read(8, sl.instantBitrateLength);
        b.Read(4, sl.degradationPriorityLength);
        b.Read(5, sl.auSeqNumLength);
        b.Read(5, sl.packetSeqNumLength);
        uint8_t reserved = 0;
        b.Read(2, reserved);
    } else if (sl.predefined == 1) {
        sl.useTimeStampsFlag = 0;
        sl.timeStampResolution = 1000;
        sl.timeStampLength = 32;
    } else if (sl.predefined == 2) {
        sl.useTimeStampsFlag = 1;
    }
    if (sl.durationFlag) {
        if (b.BitsLeft() < 64) return SMF_ERR_ABSENT;
        b.Read(32, sl.timeScale);
        b.Read(16, sl.accessUnitDuration);
        b.Read(16, sl.compositionUnitDuration);
    }
    if (sl.useTimeStampsFlag) return b.BitsLeft() == 0 ? SMF_ERR_NONE : SMF_ERR_ABSENT;
    if (sl.timeStampLength > 64) return SMF_ERR_ABSENT;
    const int bytes = (2 * int(sl.timeStampLength) - 1) / 8 + 1;
    if (b.BitsLeft() != size_t(bytes) * 8) return SMF_ERR_ABSENT;
    b.Read(sl.timeStampLength, sl.startDecodingTimeStamp);
    b.Read(sl.timeStampLength, sl.startCompositionTimeStamp);
    return SMF_ERR_NONE;
}

}  // namespace

int SmfParseEsDescriptor(const uint8_t* data, size_t size, SmfEsDescriptor* out) {
    if (!out || (!data && size)) return SMF_ERR_ABSENT;
    *out = SmfEsDescriptor();
    ByteCursor c(data, size);
    DescriptorHeader h;
    for (;;) {
        SMF_CHECK(ReadDescriptorHeader(c, h));
        if (h.tag == kEsDescrTag) break;
        c.Skip(h.length);
    }
    if (c.Left() < 3) return SMF_ERR_ABSENT;
    uint8_t flags = 0;
    c.U16(out->esId);
    c.U8(flags);
    out->streamDependenceFlag = (flags >> 7) & 1;
    out->urlFlag = (flags >> 6) & 1;
    out->ocrStreamFlag = (flags >> 5) & 1;
    if (out->streamDependenceFlag && !c.U16(out->dependsOnEsId)) return SMF_ERR_ABSENT;
    if (out->urlFlag) {
        uint8_t urlLength = 0;
        if (!c.U8(urlLength) || c.Left() < urlLength) return SMF_ERR_ABSENT;
        out->url.assign(c.Here(), c.Here() + urlLength);
        c.Skip(urlLength);
    }
    if (out->ocrStreamFlag && !c.U16(out->ocrEsId)) return SMF_ERR_ABSENT;
    // The sub-descriptors run to the end of the payload, not of the ES_Descriptor.
    while (c.Left() > 2) {
        SMF_CHECK(ReadDescriptorHeader(c, h));
        if (h.tag == kDecoderConfigDescrTag) {
            SMF_CHECK(ParseDecoderConfig(c.Here(), h.length, *out));
        } else if (h.tag == kSlConfigDescrTag) {
            SMF_CHECK(ParseSlConfig(c.Here(), h.length, out->sl));
            out->hasSlConfig = true;
        }
        c.Skip(h.length);
    }
    return c.Left() == 0 ? SMF_ERR_NONE : SMF_ERR_ABSENT;
}

int SmfGetEsDescriptor(const SmfSampleEntry* entry, SmfEsDescriptor* out) {
    if (!entry || !out) return SMF_ERR_MISSING;
    if (!entry->esds) return SMF_ERR_ABSENT;
    const std::vector<uint8_t>& p = entry->esds->payload;
    SMF_CHECK(SmfParseEsDescriptor(p.data(), p.size(), out));
    return out->hasDecoderConfig ? SMF_ERR_NONE : SMF_ERR_ABSENT;
}
