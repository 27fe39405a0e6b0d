// Reads a byte buffer bit by bit, most significant bit first. A read that
// asks for more bits than remain is refused as a whole, so a short or
// malformed configuration can never make a parser read past the buffer.
#pragma once

#include "base/PortableTypes.h"

class DsiBitReader {
public:
    // A null pointer is treated as an empty buffer.
    DsiBitReader(const BYTE* pbData, size_t cbData) noexcept;

    uint64_t BitsLeft() const noexcept { return m_cBitsTotal - m_iBitPos; }

    // Returns the next nBits (1 to 32). Throws the status E_FAIL, consuming
    // nothing, when fewer bits remain; E_INVALIDARG for a count out of range.
    uint32_t Read(unsigned nBits);

    // Moves to the next byte boundary counted from the first byte.
    void AlignToByte() noexcept;

private:
    const BYTE* m_pbData;
    uint64_t m_cBitsTotal;  // 64 bits: a byte count times 8 may not fit in size_t
    uint64_t m_iBitPos = 0;
};
