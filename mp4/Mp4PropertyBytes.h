// Bounded big-endian reading and writing over the payload of one box; the
// property classes never touch a byte outside the payload they were given.
#pragma once

#include "base/PortableTypes.h"

#include <cstddef>
#include <vector>

class CMp4ByteCursor {
public:
    CMp4ByteCursor(const BYTE* pbData, size_t cbData) : m_pbData(pbData), m_cbData(pbData ? cbData : 0) {}

    size_t Remaining() const { return m_cbData - m_cbPos; }
    const BYTE* Current() const { return m_pbData + m_cbPos; }
    size_t Position() const { return m_cbPos; }

    bool Skip(size_t cb) {
        if (cb > Remaining()) return false;
        m_cbPos += cb;
        return true;
    }
    bool ReadBytes(BYTE* pbOut, size_t cb) {
        if (cb > Remaining()) return false;
        for (size_t i = 0; i < cb; ++i) pbOut[i] = m_pbData[m_cbPos + i];
        m_cbPos += cb;
        return true;
    }
    bool ReadU8(BYTE& b) { return ReadBytes(&b, 1); }
    bool ReadU16(WORD& w) {
        BYTE ab[2];
        if (!ReadBytes(ab, 2)) return false;
        w = (WORD)(ab[0] << 8 | ab[1]);
        return true;
    }
    bool ReadU32(DWORD& dw) {
        BYTE ab[4];
        if (!ReadBytes(ab, 4)) return false;
        dw = (DWORD)ab[0] << 24 | (DWORD)ab[1] << 16 | (DWORD)ab[2] << 8 | ab[3];
        return true;
    }

private:
    const BYTE* m_pbData;
    size_t m_cbData;
    size_t m_cbPos = 0;
};

inline void Mp4AppendU8(std::vector<BYTE>& out, BYTE b) { out.push_back(b); }
inline void Mp4AppendU16(std::vector<BYTE>& out, WORD w) {
    out.push_back((BYTE)(w >> 8));
    out.push_back((BYTE)w);
}
inline void Mp4AppendU32(std::vector<BYTE>& out, DWORD dw) {
    out.push_back((BYTE)(dw >> 24));
    out.push_back((BYTE)(dw >> 16));
    out.push_back((BYTE)(dw >> 8));
    out.push_back((BYTE)dw);
}
inline void Mp4AppendBytes(std::vector<BYTE>& out, const BYTE* pb, size_t cb) { out.insert(out.end(), pb, pb + cb); }

// Wraps a payload into complete box bytes: u32 size, type, payload.
inline std::vector<BYTE> Mp4MakeBox(DWORD dwType, const std::vector<BYTE>& payload) {
    std::vector<BYTE> box;
    box.reserve(payload.size() + 8);
    Mp4AppendU32(box, (DWORD)(payload.size() + 8));
    Mp4AppendU32(box, dwType);
    box.insert(box.end(), payload.begin(), payload.end());
    return box;
}

// One stored box: its size and type as read and its payload of size - 8 bytes.
struct Mp4BoxRef {
    DWORD dwSize;
    DWORD dwType;
    const BYTE* pbPayload;
    size_t cbPayload;  // bytes available at pbPayload
};
