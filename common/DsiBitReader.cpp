#include "common/DsiBitReader.h"

DsiBitReader::DsiBitReader(const BYTE* pbData, size_t cbData) noexcept
    : m_pbData(pbData), m_cBitsTotal(pbData != nullptr ? uint64_t(cbData) * 8 : 0) {}

uint32_t DsiBitReader::Read(unsigned nBits) {
    if (nBits == 0 || nBits > 32) {
        throw static_cast<HRESULT>(E_INVALIDARG);
    }
    if (BitsLeft() < nBits) {
        throw static_cast<HRESULT>(E_FAIL);
    }
    uint32_t dwValue = 0;
    for (unsigned i = 0; i < nBits; ++i, ++m_iBitPos) {
        const BYTE byCurrent = m_pbData[m_iBitPos >> 3];
        dwValue = (dwValue << 1) | ((byCurrent >> (7 - (m_iBitPos & 7))) & 1u);
    }
    return dwValue;
}

void DsiBitReader::AlignToByte() noexcept {
    // The total is a whole number of bytes, so this never passes the end.
    m_iBitPos = (m_iBitPos + 7) & ~uint64_t(7);
}
