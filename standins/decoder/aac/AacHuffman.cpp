#include "AacHuffman.h"

#include <algorithm>

namespace aac {

HuffmanBook::HuffmanBook(const HuffEntry* entries, uint32_t count) : m_count(count), m_fast(1u << kFastBits, 0) {
    for (uint32_t i = 0; i < count; ++i) {
        const HuffEntry& e = entries[i];
        if (e.length <= kFastBits) {
            const unsigned spare = kFastBits - e.length;
            const uint32_t first = e.code << spare;
            for (uint32_t j = 0; j < (1u << spare); ++j) m_fast[first + j] = uint16_t(((i + 1) << 4) | e.length);
        } else {
            m_long.push_back(Long{e.code, uint16_t(i), e.length});
        }
    }
    std::sort(m_long.begin(), m_long.end(), [](const Long& a, const Long& b) { return a.length < b.length; });
}

int HuffmanBook::Decode(BitReader& reader) const {
    const uint16_t fast = m_fast[reader.Peek(kFastBits)];
    if (fast != 0) {
        reader.Skip(fast & 15);
        return (fast >> 4) - 1;
    }
    if (m_long.empty()) return -1;
    const unsigned widest = m_long.back().length;
    const uint32_t bits = reader.Peek(widest);
    for (const Long& l : m_long) {
        if ((bits >> (widest - l.length)) == l.code) {
            reader.Skip(l.length);
            return l.index;
        }
    }
    return -1;
}

const HuffmanBook& ScalefactorBook() {
    static const HuffmanBook book(kScalefactorBook, 121);
    return book;
}

const HuffmanBook* SpectralBook(unsigned book) {
    static const HuffmanBook books[11] = {
        {kSpectralBook1, 81},  {kSpectralBook2, 81},   {kSpectralBook3, 81},   {kSpectralBook4, 81},
        {kSpectralBook5, 81},  {kSpectralBook6, 81},   {kSpectralBook7, 64},   {kSpectralBook8, 64},
        {kSpectralBook9, 169}, {kSpectralBook10, 169}, {kSpectralBook11, 289},
    };
    return book >= 1 && book <= 11 ? &books[book - 1] : nullptr;
}

}  // namespace aac
