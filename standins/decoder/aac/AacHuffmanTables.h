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

}  // namespace aac
