// MSB-first reader over one frame. Reading past the end yields zero bits and
// marks the reader overrun; callers check Overrun() where a result matters,
// so a short or hostile frame can never make it touch memory it was not given.
#pragma once

#include <cstddef>
#include <cstdint>

namespace aac {

class BitReader {
public:
    BitReader(const uint8_t* data, size_t size) : m_data(data), m_size(data ? size : 0), m_bits(m_size * 8) {}

    // Up to 25 bits without consuming them; zeros past the end.
    uint32_t Peek(unsigned count) const {
        if (count == 0) return 0;
        const size_t byte = m_pos >> 3;
        uint32_t window = 0;
        for (size_t i = 0; i < 4; ++i) window = (window << 8) | (byte + i < m_size ? m_data[byte + i] : 0u);
        return (window << (m_pos & 7)) >> (32 - count);
    }
    void Skip(size_t count) {
        if (count > m_bits - m_pos) {
            m_pos = m_bits;
            m_overrun = true;
        } else {
            m_pos += count;
        }
    }
    uint32_t Read(unsigned count) {
        uint32_t value = 0;
        while (count > 24) {  // only the 32-bit reads of a few syntax fields
            value = (value << 16) | Read(16);
            count -= 16;
        }
        value = (value << count) | Peek(count);
        Skip(count);
        return value;
    }
    bool Bit() { return Read(1) != 0; }
    void ByteAlign() { Skip((8 - (m_pos & 7)) & 7); }

    size_t Position() const { return m_pos; }
    size_t Remaining() const { return m_bits - m_pos; }
    bool Overrun() const { return m_overrun; }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_bits;
    size_t m_pos = 0;
    bool m_overrun = false;
};

}  // namespace aac
