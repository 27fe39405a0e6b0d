// Huffman decoding for the scale factor and spectral codebooks.
#pragma once

#include "AacBitReader.h"
#include "AacHuffmanTables.h"

#include <cstdint>
#include <vector>

namespace aac {

class HuffmanBook {
public:
    HuffmanBook(const HuffEntry* entries, uint32_t count);
    // The next codeword's index, or -1 when the bits match no codeword.
    int Decode(BitReader& reader) const;
    uint32_t Size() const { return m_count; }

private:
    static constexpr unsigned kFastBits = 10;
    struct Long {
        uint32_t code;
        uint16_t index;
        uint8_t length;
    };
    uint32_t m_count;
    std::vector<uint16_t> m_fast;  // (index + 1) << 4 | length, 0 for longer codes
    std::vector<Long> m_long;      // codes past kFastBits, shortest first
};

// The scale factor codebook (index 60 is a zero difference).
const HuffmanBook& ScalefactorBook();
// Spectral codebook 1 to 11; null for others.
const HuffmanBook* SpectralBook(unsigned book);

}  // namespace aac
