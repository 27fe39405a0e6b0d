// User data: udta children, USMT uuid boxes and other moov-level boxes, all
// kept for the metadata layer.
#include "SmfReader.h"

#include <algorithm>
#include <cstring>

namespace {

void ReadRawBox(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box, SmfRawBox& raw) {
    raw.offset = box.start;
    raw.size = box.size;
    raw.type = box.type;
    SmfReadRaw(h, s, raw.payload, box.size - 8);
}

int KeepUdtaChild(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box) {
    SmfUdta& udta = *SmfState(h).movie->udta;
    SmfRawBox raw;
    ReadRawBox(h, s, box, raw);
    udta.children.push_back(std::move(raw));
    return SMF_ERR_NONE;
}

const SmfBoxRule kUdtaRules[] = {
    {SMF_BOX_ANY, KeepUdtaChild, 8, 0},
};

// Entries of MTDT / MTDF: size u16, type u32, language u16, encoding u16, data.
// `maxSize` caps an entry (0: no cap).
void ReadMtdEntries(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box, uint32_t maxSize,
                    std::vector<SmfMtdEntry>& out) {
    uint16_t count = SmfReadU16(h, s);
    for (uint32_t i = 0; i < count && !SmfFatal(h); ++i) {
        uint32_t pos = SmfTellPos(h, s);
        if (pos + 10 > box.end) {
            SmfRaise(h, SMF_STATUS_SIZE);
            break;
        }
        SmfMtdEntry e;
        e.size = SmfReadU16(h, s);
        e.type = SmfReadU32(h, s);
        e.language = SmfReadU16(h, s);
        e.encoding = SmfReadU16(h, s);
        uint32_t size = e.size;
        if (size < 10) {
            SmfRaise(h, SMF_STATUS_SIZE);
            break;
        }
        if (maxSize != 0 && size > maxSize) {
            SmfRaise(h, SMF_STATUS_SIZE);
            size = maxSize;
        }
        if (pos + size > box.end) {
            // Cut at the box end.
            SmfRaise(h, SMF_STATUS_SIZE);
            size = box.end - pos;
        }
        SmfReadRaw(h, s, e.data, size - 10);
        const uint32_t declared = e.size;
        out.push_back(std::move(e));
        if (declared > size) SmfSeekTo(h, s, pos + std::min<uint32_t>(declared, box.end - pos));
    }
}

int ParseMtdt(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box) {
    SmfUsmt& usmt = *SmfState(h).usmt;
    usmt.hasMtdt = true;
    ReadMtdEntries(h, s, box, 0, usmt.mtdt);
    return SMF_ERR_NONE;
}

int ParseMtdf(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box) {
    SmfUsmt& usmt = *SmfState(h).usmt;
    usmt.hasMtdf = true;
    ReadMtdEntries(h, s, box, 42, usmt.mtdf);
    return SMF_ERR_NONE;
}

const SmfBoxRule kUsmtRules[] = {
    {SMF_BOX_MTDT, ParseMtdt, 10, SMF_RULE_ONCE},
    {SMF_BOX_MTDF, ParseMtdf, 10, SMF_RULE_ONCE},
};

}  // namespace

int SmfParseUdta(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box) {
    SmfMovie& movie = *SmfState(h).movie;
    movie.udta = std::make_unique<SmfUdta>();
    movie.udta->head.size = box.size;
    movie.udta->head.type = box.type;
    movie.udta->offset = box.start;
    return SmfParseContainer(h, s, box, SmfTable(kUdtaRules));
}

int SmfParseUuid(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box) {
    SmfParseState& st = SmfState(h);
    uint8_t extended[16];
    SmfReadBytes(h, s, extended, sizeof extended);
    std::unique_ptr<SmfUsmt>& slot = st.track ? st.track->usmt : st.movie->usmt;
    if (std::memcmp(extended, SMF_UUID_USMT, sizeof extended) != 0) {
        SmfRaise(h, SMF_STATUS_UNKNOWN);
        SmfSeekTo(h, s, box.end);
        return SMF_ERR_NONE;
    }
    if (slot) {
        SmfRaise(h, SMF_STATUS_DUPLICATE);
        SmfSeekTo(h, s, box.end);
        return SMF_ERR_NONE;
    }
    slot = std::make_unique<SmfUsmt>();
    slot->head.size = box.size;
    slot->head.type = box.type;
    slot->offset = box.start;
    st.usmt = slot.get();
    int result = SmfParseChildren(h, s, SmfTable(kUsmtRules), box.start + 24, box.size - 24);
    st.usmt = nullptr;
    return result;
}

int SmfParseOtherMoovChild(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box) {
    SmfRawBox raw;
    ReadRawBox(h, s, box, raw);
    SmfState(h).movie->otherBoxes.push_back(std::move(raw));
    return SMF_ERR_NONE;
}
