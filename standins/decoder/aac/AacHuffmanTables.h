// The AAC Huffman codebooks as data; AacHuffman.h decodes with them.
#pragma once

#include <cstdint>

namespace aac {

struct HuffEntry {
    uint32_t code;
    uint8_t length;
};

extern const HuffEntry kScalefactorBook[121];
extern const HuffEntry kSpectralBook1[81];
extern const HuffEntry kSpectralBook2[81];
extern const HuffEntry kSpectralBook3[81];
extern const HuffEntry kSpectralBook4[81];
extern const HuffEntry kSpectralBook5[81];
extern const HuffEntry kSpectralBook6[81];
extern const HuffEntry kSpectralBook7[64];
extern const HuffEntry kSpectralBook8[64];
extern const HuffEntry kSpectralBook9[169];
extern const HuffEntry kSpectralBook10[169];
extern const HuffEntry kSpectralBook11[289];

// Per spectral codebook (1 to 11; 0 unused): how many values each of a
// codeword's digits can take. Books 1, 2, 5 and 6 code signed values
// centred on zero, the others magnitudes followed by sign bits.
extern const uint8_t kSpectralModulo[12];

}  // namespace aac
