// The byte-stream interface the MP4 library reads through. A few virtual
// primitives in fixed slot order, with non-virtual helpers on top that turn
// failures into plain values (the helpers never throw).
#pragma once

#include "base/PortableTypes.h"

#include <cstdint>

// {F277B3DA-875E-4163-A772-1FC9D3A101BD}
extern const IID IID_ISmfAbsStream;

enum SmfSeekOrigin : int32_t { SMF_SEEK_SET = 0, SMF_SEEK_CUR = 1, SMF_SEEK_END = 2 };

struct ISmfAbsStream : public IUnknown {
    STDMETHOD(Tell)(int32_t* position) = 0;
    STDMETHOD(Seek)(int32_t offset, int32_t origin) = 0;
    STDMETHOD(Read)(void* buffer, uint32_t count, uint32_t* bytesRead) = 0;
    STDMETHOD(Write)(const void* data, uint32_t count, uint32_t* bytesWritten) = 0;
    STDMETHOD(Reserved)(intptr_t first, intptr_t second) = 0;

    // Bytes read; 0 when the stream fails.
    uint32_t ReadSome(void* buffer, uint32_t count);
    // Current position as unsigned 32-bit; -1 when it cannot be told.
    int64_t Position();
    // Absolute seek over the full unsigned 32-bit range.
    bool SeekTo(uint32_t position);
    bool SeekBy(int32_t offset);
    // Size of the stream, keeping the position; 0 when it cannot be found.
    uint32_t StreamSize();

    // Big-endian readers: false (and the value 0) on a short read.
    bool ReadU8(uint8_t& value);
    bool ReadU16(uint16_t& value);
    bool ReadU24(uint32_t& value);
    bool ReadU32(uint32_t& value);
    bool ReadU64(uint64_t& value);
    bool ReadFourCC(uint32_t& value) { return ReadU32(value); }
    bool ReadFullBoxHeader(uint8_t& version, uint32_t& flags);

protected:
    ~ISmfAbsStream() = default;
};

inline uint32_t SmfBigEndian32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
inline uint16_t SmfBigEndian16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }
