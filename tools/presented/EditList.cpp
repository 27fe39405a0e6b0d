#include "EditList.h"

#include <algorithm>

namespace presented {

namespace {

constexpr uint32_t Type(const char (&s)[5]) {
    return (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) | (uint32_t(uint8_t(s[2])) << 8) |
           uint32_t(uint8_t(s[3]));
}

uint32_t Be32(const uint8_t* p) { return SmfBigEndian32(p); }
uint64_t Be64(const uint8_t* p) { return (uint64_t(Be32(p)) << 32) | Be32(p + 4); }

struct Box {
    uint64_t start = 0;
    uint64_t end = 0;      // start + size, never beyond the parent
    uint64_t payload = 0;  // first byte after the header
    uint32_t type = 0;
};

class Walker {
public:
    Walker(ISmfAbsStream* stream, uint64_t fileSize)
        : m_stream(stream), m_limit(std::min<uint64_t>(fileSize, UINT32_MAX)) {}

    uint64_t Limit() const { return m_limit; }

    // Reads `count` bytes at `position`, all inside the file.
    EditStatus ReadAt(uint64_t position, void* buffer, uint32_t count) {
        if (position > m_limit || count > m_limit - position) return EditStatus::BadBox;
        if (!m_stream->SeekTo(uint32_t(position))) return EditStatus::ReadFailed;
        uint8_t* bytes = static_cast<uint8_t*>(buffer);
        uint32_t done = 0;
        while (done < count) {
            const uint32_t got = m_stream->ReadSome(bytes + done, count - done);
            if (got == 0) return EditStatus::ReadFailed;
            done += got;
        }
        return EditStatus::Found;
    }

    // The header of the box at `position` in a parent that ends at `end`.
    EditStatus Header(uint64_t position, uint64_t end, Box* box) {
        if (++m_boxes > kMaxBoxes) return EditStatus::TooLarge;
        if (end - position < 8) return EditStatus::BadBox;
        uint8_t head[16];
        EditStatus status = ReadAt(position, head, 8);
        if (status != EditStatus::Found) return status;
        const uint32_t size = Be32(head);
        box->type = Be32(head + 4);
        box->start = position;
        uint64_t length = size;
        box->payload = position + 8;
        if (size == 1) {
            if (end - position < 16) return EditStatus::BadBox;
            status = ReadAt(position + 8, head + 8, 8);
            if (status != EditStatus::Found) return status;
            length = Be64(head + 8);
            box->payload = position + 16;
            if (length < 16) return EditStatus::BadBox;
        } else if (size == 0) {
            length = end - position;
        } else if (size < 8) {
            return EditStatus::BadBox;
        }
        if (length > end - position) return EditStatus::BadBox;
        box->end = position + length;
        return EditStatus::Found;
    }

    // The first child of type `type` in [begin, end): Found, Absent or a failure.
    EditStatus Find(uint64_t begin, uint64_t end, uint32_t type, Box* box) {
        for (uint64_t position = begin; position < end;) {
            const EditStatus status = Header(position, end, box);
            if (status != EditStatus::Found) return status;
            if (box->type == type) return EditStatus::Found;
            position = box->end;  // at least 8 bytes on
        }
        return EditStatus::Absent;
    }

    // A full box's version and the `count` bytes after version and flags.
    EditStatus FullBox(const Box& box, uint8_t* version, uint8_t* bytes, uint32_t count) {
        if (box.end - box.payload < 4 + uint64_t(count)) return EditStatus::BadBox;
        uint8_t head[4];
        EditStatus status = ReadAt(box.payload, head, 4);
        if (status != EditStatus::Found) return status;
        *version = head[0];
        return count ? ReadAt(box.payload + 4, bytes, count) : EditStatus::Found;
    }

    // The 32-bit field after the creation and modification times of a
    // version 0 or 1 header: the timescale of mvhd and mdhd, the track id of
    // tkhd.
    EditStatus FieldAfterTimes(const Box& box, uint32_t* value) {
        uint8_t version = 0;
        uint8_t bytes[20];
        EditStatus status = FullBox(box, &version, bytes, 0);
        if (status != EditStatus::Found) return status;
        if (version > 1) return EditStatus::BadVersion;
        const uint32_t at = version == 0 ? 8 : 16;
        status = FullBox(box, &version, bytes, at + 4);
        if (status != EditStatus::Found) return status;
        *value = Be32(bytes + at);
        return EditStatus::Found;
    }

    EditStatus Entries(const Box& elst, EditList* out) {
        uint8_t version = 0;
        uint8_t countBytes[4];
        EditStatus status = FullBox(elst, &version, countBytes, 4);
        if (status != EditStatus::Found) return status;
        if (version > 1) return EditStatus::BadVersion;
        const uint32_t count = Be32(countBytes);
        const uint32_t entryBytes = version == 0 ? 12 : 20;
        const uint64_t room = elst.end - elst.payload - 8;  // FullBox checked the 8 bytes
        if (count > room / entryBytes) return EditStatus::BadCount;
        if (count > kMaxEditEntries) return EditStatus::TooLarge;
        std::vector<uint8_t> bytes(size_t(count) * entryBytes);
        if (count) {
            status = ReadAt(elst.payload + 8, bytes.data(), uint32_t(bytes.size()));
            if (status != EditStatus::Found) return status;
        }
        out->version = version;
        out->entries.resize(count);
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t* p = &bytes[size_t(i) * entryBytes];
            EditEntry& e = out->entries[i];
            if (version == 0) {
                e.segmentDuration = Be32(p);
                // The unsigned value the decoder has always used, -1 apart.
                const uint32_t time = Be32(p + 4);
                e.mediaTime = time == 0xFFFFFFFFu ? -1 : int64_t(time);
                e.mediaRate = int32_t(Be32(p + 8));
            } else {
                e.segmentDuration = Be64(p);
                e.mediaTime = int64_t(Be64(p + 8));
                e.mediaRate = int32_t(Be32(p + 16));
                if (e.mediaTime < -1) return EditStatus::BadValue;
            }
        }
        return EditStatus::Found;
    }

private:
    ISmfAbsStream* m_stream;
    uint64_t m_limit;
    uint32_t m_boxes = 0;
};

EditStatus Read(Walker& walker, uint32_t trackId, EditList* out) {
    Box moov;
    EditStatus status = walker.Find(0, walker.Limit(), Type("moov"), &moov);
    if (status == EditStatus::Absent) return EditStatus::NoTrack;
    if (status != EditStatus::Found) return status;

    Box trak;
    bool haveTrak = false;
    for (uint64_t position = moov.payload; position < moov.end && !haveTrak;) {
        Box child;
        status = walker.Header(position, moov.end, &child);
        if (status != EditStatus::Found) return status;
        position = child.end;
        if (child.type == Type("mvhd") && out->movieTimescale == 0) {
            status = walker.FieldAfterTimes(child, &out->movieTimescale);
            if (status != EditStatus::Found) return status;
        } else if (child.type == Type("trak")) {
            Box tkhd;
            status = walker.Find(child.payload, child.end, Type("tkhd"), &tkhd);
            if (status == EditStatus::Absent) continue;
            if (status != EditStatus::Found) return status;
            uint32_t id = 0;
            status = walker.FieldAfterTimes(tkhd, &id);
            if (status != EditStatus::Found) return status;
            if (id == trackId) {
                trak = child;
                haveTrak = true;
            }
        }
    }
    if (!haveTrak) return EditStatus::NoTrack;
    // An mvhd after the track still gives the movie's clock.
    if (out->movieTimescale == 0) {
        Box mvhd;
        status = walker.Find(moov.payload, moov.end, Type("mvhd"), &mvhd);
        if (status == EditStatus::Found) status = walker.FieldAfterTimes(mvhd, &out->movieTimescale);
        if (status != EditStatus::Found && status != EditStatus::Absent) return status;
    }

    Box mdia, mdhd;
    status = walker.Find(trak.payload, trak.end, Type("mdia"), &mdia);
    if (status == EditStatus::Found) status = walker.Find(mdia.payload, mdia.end, Type("mdhd"), &mdhd);
    if (status == EditStatus::Found) status = walker.FieldAfterTimes(mdhd, &out->mediaTimescale);
    if (status != EditStatus::Found && status != EditStatus::Absent) return status;

    Box edts, elst;
    status = walker.Find(trak.payload, trak.end, Type("edts"), &edts);
    if (status != EditStatus::Found) return status;
    status = walker.Find(edts.payload, edts.end, Type("elst"), &elst);
    if (status != EditStatus::Found) return status;
    return walker.Entries(elst, out);
}

}  // namespace

EditStatus ReadEditList(ISmfAbsStream* stream, uint64_t fileSize, uint32_t trackId, EditList* out) {
    if (!out) return EditStatus::ReadFailed;
    *out = EditList();
    if (!stream) return EditStatus::ReadFailed;
    Walker walker(stream, fileSize);
    const EditStatus status = Read(walker, trackId, out);
    if (status == EditStatus::Absent) {
        out->entries.clear();
        out->version = 0;
    } else if (status != EditStatus::Found) {
        *out = EditList();
    }
    return status;
}

const char* EditStatusName(EditStatus status) {
    switch (status) {
        case EditStatus::Found:
            return "Found";
        case EditStatus::Absent:
            return "Absent";
        case EditStatus::NoTrack:
            return "NoTrack";
        case EditStatus::BadBox:
            return "BadBox";
        case EditStatus::BadCount:
            return "BadCount";
        case EditStatus::BadVersion:
            return "BadVersion";
        case EditStatus::BadValue:
            return "BadValue";
        case EditStatus::TooLarge:
            return "TooLarge";
        case EditStatus::ReadFailed:
            return "ReadFailed";
    }
    return "?";
}

}  // namespace presented
