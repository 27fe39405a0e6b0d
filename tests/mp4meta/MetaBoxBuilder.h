// Builds box bytes for the metadata tests.
#pragma once

#include "mp4/Mp4PropertyBytes.h"
#include "mp4/Mp4PropertyId3v2.h"
#include "mp4/Mp4PropertyTable.h"

#include <initializer_list>
#include <string>
#include <vector>

class MetaBytes {
public:
    MetaBytes& u8(unsigned v) {
        m_bytes.push_back((BYTE)v);
        return *this;
    }
    MetaBytes& u16(unsigned v) {
        Mp4AppendU16(m_bytes, (WORD)v);
        return *this;
    }
    MetaBytes& u32(DWORD v) {
        Mp4AppendU32(m_bytes, v);
        return *this;
    }
    MetaBytes& fourcc(const char* p) { return u32(MP4_FOURCC(p[0], p[1], p[2], p[3])); }
    MetaBytes& raw(std::initializer_list<unsigned> bytes) {
        for (unsigned b : bytes) m_bytes.push_back((BYTE)b);
        return *this;
    }
    MetaBytes& str(const std::string& s, bool terminate = true) {
        m_bytes.insert(m_bytes.end(), s.begin(), s.end());
        if (terminate) m_bytes.push_back(0);
        return *this;
    }
    // UTF-16 with a byte-order mark and a terminator.
    MetaBytes& utf16(const std::u16string& s, bool bigEndian = true, bool terminate = true) {
        auto put = [&](unsigned u) {
            m_bytes.push_back((BYTE)(bigEndian ? u >> 8 : u));
            m_bytes.push_back((BYTE)(bigEndian ? u : u >> 8));
        };
        put(0xFEFF);
        for (char16_t c : s) put(c);
        if (terminate) put(0);
        return *this;
    }
    MetaBytes& bytes(const std::vector<BYTE>& b) {
        m_bytes.insert(m_bytes.end(), b.begin(), b.end());
        return *this;
    }
    const std::vector<BYTE>& get() const { return m_bytes; }

private:
    std::vector<BYTE> m_bytes;
};

// A stored box as the reader keeps it: size, type and payload.
struct MetaBox {
    MetaBox(const char* type, const std::vector<BYTE>& payload)
        : m_type(MP4_FOURCC(type[0], type[1], type[2], type[3])), m_payload(payload) {}
    Mp4BoxRef ref() const {
        return Mp4BoxRef{(DWORD)(m_payload.size() + 8), m_type, m_payload.empty() ? nullptr : m_payload.data(),
                         m_payload.size()};
    }
    std::vector<BYTE> bytes() const { return Mp4MakeBox(m_type, m_payload); }
    DWORD m_type;
    std::vector<BYTE> m_payload;
};

// A uuid box holding one ID3v2 frame with the given body.
inline MetaBox MetaFrame(const char* frameId, const std::vector<BYTE>& body, unsigned flags = 0) {
    MetaBytes payload;
    for (BYTE b : kMp4Id3v2FrameUuid) payload.u8(b);
    payload.fourcc(frameId).u16(flags).bytes(body);
    return MetaBox("uuid", payload.get());
}

inline Mp4BoxRef MetaRefOf(const std::vector<BYTE>& box) {
    DWORD size = (DWORD)box[0] << 24 | (DWORD)box[1] << 16 | (DWORD)box[2] << 8 | box[3];
    DWORD type = (DWORD)box[4] << 24 | (DWORD)box[5] << 16 | (DWORD)box[6] << 8 | box[7];
    return Mp4BoxRef{size, type, box.data() + 8, box.size() - 8};
}
