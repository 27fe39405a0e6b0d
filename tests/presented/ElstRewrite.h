// Test helper: turns the version-0 elst boxes of a file (as ffmpeg writes
// them, moov after mdat) into version-1 boxes with the same values. Each
// entry grows from 12 to 20 bytes, so the box and its ancestors (edts, trak,
// moov) grow too; the sample data before the moov does not move, so chunk
// offsets stay right. Header-only so that the decoder tests can use it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace elstv1 {

inline uint32_t Be32(const std::vector<uint8_t>& b, size_t at) {
    return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) | b[at + 3];
}
inline void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (24 - 8 * i));
}
inline void Append32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (24 - 8 * i)));
}

// Rewrites the children of [begin, end); returns the bytes added.
inline size_t Rewrite(std::vector<uint8_t>& b, size_t begin, size_t end, int* rewritten) {
    size_t added = 0;
    for (size_t pos = begin; pos + 8 <= end + added;) {
        const uint32_t size = Be32(b, pos);
        const std::string type(b.begin() + pos + 4, b.begin() + pos + 8);
        if (size < 8 || pos + size > end + added) return added;
        size_t grown = 0;
        if (type == "moov" || type == "trak" || type == "edts") {
            grown = Rewrite(b, pos + 8, pos + size, rewritten);
        } else if (type == "elst" && b[pos + 8] == 0) {
            const uint32_t count = Be32(b, pos + 12);
            if (16 + uint64_t(count) * 12 > size) return added;
            std::vector<uint8_t> box;
            Append32(box, 0);
            box.insert(box.end(), {'e', 'l', 's', 't', 1, b[pos + 9], b[pos + 10], b[pos + 11]});
            Append32(box, count);
            for (uint32_t i = 0; i < count; ++i) {
                const size_t e = pos + 16 + size_t(i) * 12;
                const uint32_t duration = Be32(b, e), time = Be32(b, e + 4), rate = Be32(b, e + 8);
                Append32(box, 0);
                Append32(box, duration);
                Append32(box, time == 0xFFFFFFFFu ? 0xFFFFFFFFu : 0);  // sign of -1
                Append32(box, time);
                Append32(box, rate);
            }
            // Whatever followed the entries stays.
            box.insert(box.end(), b.begin() + pos + 16 + size_t(count) * 12, b.begin() + pos + size);
            Put32(box, 0, uint32_t(box.size()));
            grown = box.size() - size;
            b.erase(b.begin() + pos, b.begin() + pos + size);
            b.insert(b.begin() + pos, box.begin(), box.end());
            ++*rewritten;
        }
        if (grown) Put32(b, pos, uint32_t(size + grown));
        added += grown;
        pos += size + grown;
    }
    return added;
}

// The file with every version-0 elst as version 1; `rewritten` counts them.
inline std::vector<uint8_t> ToVersion1(std::vector<uint8_t> bytes, int* rewritten = nullptr) {
    int count = 0;
    Rewrite(bytes, 0, bytes.size(), &count);
    if (rewritten) *rewritten = count;
    return bytes;
}

}  // namespace elstv1
