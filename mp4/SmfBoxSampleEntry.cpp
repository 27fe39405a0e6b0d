// Sample descriptions: stsd, the audio and video sample entries and their
// esds / avcC children.
#include "SmfReader.h"

namespace {

int ParseEsds(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box) {
    auto esds = std::make_unique<SmfEsds>();
    esds->head.size = box.size;
    esds->head.type = box.type;
    esds->head.version = box.version;
    esds->head.flags = box.flags;
    SmfReadRaw(h, s, esds->payload, box.size - 12);
    // A later esds replaces an earlier one.
    SmfState(h).entry->esds = std::move(esds);
    return SMF_ERR_NONE;
}

bool IsHighProfile(uint8_t profile) { return profile == 100 || profile == 110 || profile == 122 || profile == 144; }

// Reads `count` length-prefixed parameter sets; false when one would pass `end`.
bool ReadParameterSets(SmfMovieHandle* h, ISmfAbsStream* s, uint32_t count, uint32_t end,
                       std::vector<std::vector<uint8_t>>& out) {
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t pos = SmfTellPos(h, s);
        if (SmfFatal(h) || pos + 2 > end) return false;
        uint16_t length = SmfReadU16(h, s);
        if (pos + 2 + length > end) return false;
        out.emplace_back();
        SmfReadRaw(h, s, out.back(), length);
    }
    return true;
}

int ParseAvcC(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box) {
    SmfSampleEntry& entry = *SmfState(h).entry;
    uint8_t configurationVersion = SmfReadU8(h, s);
    if (configurationVersion != 1) {
        SmfRaise(h, SMF_STATUS_UNKNOWN);
        SmfSeekTo(h, s, box.end);
        return SMF_ERR_NONE;
    }
    auto avc = std::make_unique<SmfAvcC>();
    avc->head.size = box.size;
    avc->head.type = box.type;
    avc->configurationVersion = configurationVersion;
    avc->profile = SmfReadU8(h, s);
    avc->compatibility = SmfReadU8(h, s);
    avc->level = SmfReadU8(h, s);
    avc->lengthSizeMinusOne = SmfReadU8(h, s) & 0x03;
    uint32_t spsCount = SmfReadU8(h, s) & 0x1F;
    // A parameter set running past the box leaves the position short of its
    // end, which the child loop reports.
    if (ReadParameterSets(h, s, spsCount, box.end, avc->sequenceParameterSets)) {
        uint32_t pos = SmfTellPos(h, s);
        if (pos < box.end) {
            uint32_t ppsCount = SmfReadU8(h, s);
            if (ReadParameterSets(h, s, ppsCount, box.end, avc->pictureParameterSets)) {
                pos = SmfTellPos(h, s);
                // High profiles append chroma and bit-depth fields.
                if (pos < box.end && IsHighProfile(avc->profile)) SmfReadRaw(h, s, avc->extension, box.end - pos);
            }
        }
    }
    entry.avcC = std::move(avc);
    return SMF_ERR_NONE;
}

int KeepOtherChild(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box) {
    SmfSampleEntry& entry = *SmfState(h).entry;
    if (entry.otherCount == SmfSampleEntry::kOtherSlots) {
        SmfRaise(h, SMF_STATUS_COUNT);
        return SMF_ERR_BOX;
    }
    SmfRawBox& raw = entry.others[entry.otherCount++];
    raw.offset = box.start;
    raw.size = box.size;
    raw.type = box.type;
    SmfReadRaw(h, s, raw.payload, box.size - 8);
    return SMF_ERR_NONE;
}

const SmfBoxRule kAudioEntryRules[] = {
    {SMF_BOX_ESDS, ParseEsds, 12, SMF_RULE_FULL},
    {SMF_BOX_ANY, KeepOtherChild, 8, 0},
};

const SmfBoxRule kVideoEntryRules[] = {
    {SMF_BOX_ESDS, ParseEsds, 12, SMF_RULE_FULL},
    {SMF_BOX_AVCC, ParseAvcC, 15, 0},
    {SMF_BOX_ANY, KeepOtherChild, 8, 0},
};

int ParseEntryChildren(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box, const SmfBoxTable& table) {
    uint32_t pos = SmfTellPos(h, s);
    if (SmfFatal(h) || pos >= box.end || box.end - pos <= 7) return SMF_ERR_NONE;
    return SmfParseChildren(h, s, table, pos, box.end - pos);
}

int ParseAudioEntry(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box, SmfSampleEntry& e) {
    if (box.type != SMF_BOX_MP4A || box.size <= 35) {
        SmfRaise(h, SMF_STATUS_STRUCTURE);
        return SMF_ERR_BOX;
    }
    e.version = SmfReadU16(h, s);
    e.revision = SmfReadU16(h, s);
    e.vendor = SmfReadU32(h, s);
    e.channelCount = SmfReadU16(h, s);
    e.sampleSize = SmfReadU16(h, s);
    e.compressionId = SmfReadU16(h, s);
    e.packetSize = SmfReadU16(h, s);
    e.sampleRate = SmfReadU32(h, s);
    if (e.version != 0) {
        if (box.size <= 51) {
            SmfRaise(h, SMF_STATUS_STRUCTURE);
            return SMF_ERR_BOX;
        }
        e.samplesPerPacket = SmfReadU32(h, s);
        e.bytesPerPacket = SmfReadU32(h, s);
        e.bytesPerFrame = SmfReadU32(h, s);
        e.bytesPerSample = SmfReadU32(h, s);
    }
    return ParseEntryChildren(h, s, box, SmfTable(kAudioEntryRules));
}

int ParseVideoEntry(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box, SmfSampleEntry& e) {
    if (box.size <= 85) {
        SmfRaise(h, SMF_STATUS_STRUCTURE);
        return SMF_ERR_BOX;
    }
    SmfReadU16(h, s);
    SmfReadU16(h, s);
    for (int i = 0; i < 3; ++i) SmfReadU32(h, s);
    e.width = SmfReadU16(h, s);
    e.height = SmfReadU16(h, s);
    e.horizResolution = SmfReadU32(h, s);
    e.vertResolution = SmfReadU32(h, s);
    SmfReadU32(h, s);
    e.frameCount = SmfReadU16(h, s);
    SmfReadBytes(h, s, e.compressorName, sizeof e.compressorName);
    e.depth = SmfReadU16(h, s);
    SmfReadU16(h, s);
    return ParseEntryChildren(h, s, box, SmfTable(kVideoEntryRules));
}

int ParseSampleEntry(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box) {
    SmfParseState& st = SmfState(h);
    auto entry = std::make_unique<SmfSampleEntry>();
    SmfSampleEntry& e = *entry;
    e.head.size = box.size;
    e.head.type = box.type;
    e.handlerType = st.handlerType;
    uint8_t reserved[6];
    SmfReadBytes(h, s, reserved, sizeof reserved);
    e.dataReferenceIndex = SmfReadU16(h, s);
    st.entry = &e;
    st.stbl->entries.push_back(std::move(entry));
    int result;
    if (e.handlerType == SMF_HANDLER_SOUN) {
        result = ParseAudioEntry(h, s, box, e);
    } else if (e.handlerType == SMF_HANDLER_VIDE) {
        result = ParseVideoEntry(h, s, box, e);
    } else {
        SmfRaise(h, SMF_STATUS_UNKNOWN);
        SmfReadRaw(h, s, e.raw, box.size - 16);
        result = SMF_ERR_NONE;
    }
    st.entry = nullptr;
    return result;
}

const SmfBoxRule kStsdRules[] = {
    {SMF_BOX_ANY, ParseSampleEntry, 16, 0},
};

}  // namespace

int SmfParseStsd(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box) {
    SmfStbl& stbl = *SmfState(h).stbl;
    stbl.hasStsd = true;
    stbl.stsdHead.size = box.size;
    stbl.stsdHead.type = box.type;
    stbl.stsdHead.version = box.version;
    stbl.stsdHead.flags = box.flags;
    uint32_t count = SmfReadU32(h, s);
    uint32_t fits = (box.size - 16) / 16;
    if (count > fits) {
        SmfRaise(h, SMF_STATUS_COUNT);
        count = fits;
    }
    stbl.stsdCount = count;
    return SmfParseChildren(h, s, SmfTable(kStsdRules), box.start + 16, box.size - 16, count);
}
