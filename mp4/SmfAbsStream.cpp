#include "SmfAbsStream.h"

const IID IID_ISmfAbsStream = {0xF277B3DA, 0x875E, 0x4163, {0xA7, 0x72, 0x1F, 0xC9, 0xD3, 0xA1, 0x01, 0xBD}};

uint32_t ISmfAbsStream::ReadSome(void* buffer, uint32_t count) {
    uint32_t got = 0;
    if (count == 0) return 0;
    if (FAILED(Read(buffer, count, &got))) return 0;
    return got > count ? count : got;
}

int64_t ISmfAbsStream::Position() {
    int32_t pos = -1;
    if (FAILED(Tell(&pos))) return -1;
    return int64_t(uint32_t(pos));
}

bool ISmfAbsStream::SeekTo(uint32_t position) {
    // Offsets are signed 32-bit: the upper half is reached in steps.
    if (position < 0x80000000u) return SUCCEEDED(Seek(int32_t(position), SMF_SEEK_SET));
    if (FAILED(Seek(0x7FFFFFFF, SMF_SEEK_SET))) return false;
    uint32_t rest = position - 0x7FFFFFFFu;
    while (rest > 0) {
        uint32_t step = rest > 0x7FFFFFFFu ? 0x7FFFFFFFu : rest;
        if (FAILED(Seek(int32_t(step), SMF_SEEK_CUR))) return false;
        rest -= step;
    }
    return true;
}

bool ISmfAbsStream::SeekBy(int32_t offset) { return SUCCEEDED(Seek(offset, SMF_SEEK_CUR)); }

uint32_t ISmfAbsStream::StreamSize() {
    int64_t here = Position();
    if (here < 0) return 0;
    if (FAILED(Seek(0, SMF_SEEK_END))) return 0;
    int64_t end = Position();
    if (!SeekTo(uint32_t(here)) || end < 0) return 0;
    return uint32_t(end);
}

bool ISmfAbsStream::ReadU8(uint8_t& value) {
    value = 0;
    return ReadSome(&value, 1) == 1;
}

bool ISmfAbsStream::ReadU16(uint16_t& value) {
    uint8_t b[2];
    value = 0;
    if (ReadSome(b, 2) != 2) return false;
    value = SmfBigEndian16(b);
    return true;
}

bool ISmfAbsStream::ReadU24(uint32_t& value) {
    uint8_t b[3];
    value = 0;
    if (ReadSome(b, 3) != 3) return false;
    value = (uint32_t(b[0]) << 16) | (uint32_t(b[1]) << 8) | b[2];
    return true;
}

bool ISmfAbsStream::ReadU32(uint32_t& value) {
    uint8_t b[4];
    value = 0;
    if (ReadSome(b, 4) != 4) return false;
    value = SmfBigEndian32(b);
    return true;
}

bool ISmfAbsStream::ReadU64(uint64_t& value) {
    uint32_t hi = 0, lo = 0;
    value = 0;
    if (!ReadU32(hi) || !ReadU32(lo)) return false;
    value = (uint64_t(hi) << 32) | lo;
    return true;
}

bool ISmfAbsStream::ReadFullBoxHeader(uint8_t& version, uint32_t& flags) {
    flags = 0;
    return ReadU8(version) && ReadU24(flags);
}
