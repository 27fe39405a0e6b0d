// File, movie, track and media headers, and the containers that hold them.
#include "SmfReader.h"

#include <algorithm>

namespace {

void ReadMatrix(SmfMovieHandle* h, ISmfAbsStream* s, int32_t (&matrix)[9]) {
    for (int32_t& m : matrix) m = int32_t(SmfReadU32(h, s));
}

void CopyFullHead(SmfFullBoxHead& head, const SmfBox& box) {
    head.size = box.size;
    head.type = box.type;
    head.version = box.version;
    head.flags = box.flags;
}

int ParseMvhd(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box) {
    SmfMovie& movie = *SmfState(h).movie;
    SmfMvhd& m = movie.mvhd;
    CopyFullHead(m.head, box);
    m.creationTime = SmfReadU32(h, s);
    m.modificationTime = SmfReadU32(h, s);
    m.timescale = SmfReadU32(h, s);
    m.duration = SmfReadU32(h, s);
    m.rate = int32_t(SmfReadU32(h, s));
    m.volume = int16_t(SmfReadU16(h, s));
    SmfReadU16(h, s);
    SmfReadU32(h, s);
    SmfReadU32(h, s);
    ReadMatrix(h, s, m.matrix);
    for (int i = 0; i < 6; ++i) SmfReadU32(h, s);
    m.nextTrackId = SmfReadU32(h, s);
    movie.hasMvhd = true;
    return SMF_ERR_NONE;
}

int ParseTkhd(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box) {
    SmfTrack& track = *SmfState(h).track;
    SmfTkhd& t = track.tkhd;
    CopyFullHead(t.head, box);
    t.creationTime = SmfReadU32(h, s);
    t.modificationTime = SmfReadU32(h, s);
    t.trackId = SmfReadU32(h, s);
    SmfReadU32(h, s);
    t.duration = SmfReadU32(h, s);
    SmfReadU32(h, s);
    SmfReadU32(h, s);
    t.layer = int16_t(SmfReadU16(h, s));
    t.alternateGroup = int16_t(SmfReadU16(h, s));
    t.volume = int16_t(SmfReadU16(h, s));
    SmfReadU16(h, s);
    ReadMatrix(h, s, t.matrix);
    t.width = SmfReadU32(h, s);
    t.height = SmfReadU32(h, s);
    track.hasTkhd = true;
    return SMF_ERR_NONE;
}

int ParseElst(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box) {
    SmfTrack& track = *SmfState(h).track;
    uint32_t count = SmfReadU32(h, s);
    uint32_t fits = (box.size - 16) / 12;
    if (count > fits) {
        SmfRaise(h, SMF_STATUS_COUNT);
        count = fits;
    }
    track.elst = std::make_unique<SmfValueTable>(3);
    CopyFullHead(track.elst->head, box);
    return SmfReadTable(h, s, *track.elst, count);
}

const SmfBoxRule kEdtsRules[] = {
    {SMF_BOX_ELST, ParseElst, 16, SMF_RULE_ONCE | SMF_RULE_FULL},
};

int ParseEdts(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box) {
    SmfState(h).track->hasEdts = true;
    return SmfParseContainer(h, s, box, SmfTable(kEdtsRules));
}

int ParseSync(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box) {
    SmfTrack& track = *SmfState(h).track;
    uint32_t payload = box.size - 8;
    if (payload % 4 != 0) SmfRaise(h, SMF_STATUS_COUNT);
    uint32_t count = payload / 4;
    track.syncTrackIds.clear();
    track.syncTrackIds.reserve(count);
    for (uint32_t i = 0; i < count && !SmfFatal(h); ++i) track.syncTrackIds.push_back(SmfReadU32(h, s));
    track.hasSync = true;
    // The remainder of an odd-sized list counts as consumed.
    SmfSeekTo(h, s, box.end);
    return SMF_ERR_NONE;
}

const SmfBoxRule kTrefRules[] = {
    {SMF_BOX_SYNC, ParseSync, 8, SMF_RULE_ONCE},
};

int ParseTref(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box) {
    SmfState(h).track->hasTref = true;
    return SmfParseContainer(h, s, box, SmfTable(kTrefRules));
}

int ParseMdhd(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box) {
    SmfTrack& track = *SmfState(h).track;
    SmfMdhd& m = track.mdhd;
    CopyFullHead(m.head, box);
    m.creationTime = SmfReadU32(h, s);
    m.modificationTime = SmfReadU32(h, s);
    m.timescale = SmfReadU32(h, s);
    m.duration = SmfReadU32(h, s);
    m.language = SmfReadU16(h, s);
    SmfReadU16(h, s);
    track.hasMdhd = true;
    return SMF_ERR_NONE;
}

int ParseHdlr(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box) {
    SmfParseState& st = SmfState(h);
    SmfHdlr& hd = st.track->hdlr;
    CopyFullHead(hd.head, box);
    SmfReadU32(h, s);
    hd.handlerType = SmfReadU32(h, s);
    for (int i = 0; i < 3; ++i) SmfReadU32(h, s);
    uint32_t nameSize = box.size - 32;
    if (box.size > 96) {
        nameSize = 64;
        hd.head.size = 96;
    }
    std::vector<uint8_t> name;
    SmfReadRaw(h, s, name, nameSize);
    if (!name.empty() && name.back() != 0) name.erase(name.begin());  // counted string: drop its length byte
    hd.name.assign(name.begin(), std::find(name.begin(), name.end(), 0));
    if (box.size > 96) SmfSeekTo(h, s, box.end);
    st.track->hasHdlr = true;
    st.handlerType = hd.handlerType;
    return SMF_ERR_NONE;
}

int ParseVmhd(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box) {
    SmfTrack& track = *SmfState(h).track;
    CopyFullHead(track.vmhd.head, box);
    track.vmhd.graphicsMode = SmfReadU16(h, s);
    for (uint16_t& c : track.vmhd.opColor) c = SmfReadU16(h, s);
    track.hasVmhd = true;
    return SMF_ERR_NONE;
}

int ParseSmhd(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box) {
    SmfTrack& track = *SmfState(h).track;
    CopyFullHead(track.smhd.head, box);
    track.smhd.balance = int16_t(SmfReadU16(h, s));
    SmfReadU16(h, s);
    track.hasSmhd = true;
    return SMF_ERR_NONE;
}

int ParseUrl(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box) {
    SmfUrl url;
    CopyFullHead(url.head, box);
    if (box.flags == 0 && box.size > 12) {
        std::vector<uint8_t> text;
        SmfReadRaw(h, s, text, box.size - 12);
        url.location.assign(text.begin(), text.end());
    }
    SmfState(h).track->dref.entries.push_back(std::move(url));
    return SMF_ERR_NONE;
}

const SmfBoxRule kDrefRules[] = {
    {SMF_BOX_URL, ParseUrl, 12, SMF_RULE_FULL},
};

int ParseDref(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box) {
    SmfTrack& track = *SmfState(h).track;
    CopyFullHead(track.dref.head, box);
    uint32_t count = SmfReadU32(h, s);
    uint32_t fits = (box.size - 16) / 12;
    if (count > fits) {
        SmfRaise(h, SMF_STATUS_COUNT);
        count = fits;
    }
    track.dref.entryCount = count;
    track.hasDref = true;
    int result = SmfParseChildren(h, s, SmfTable(kDrefRules), box.start + 16, box.size - 16, count);
    if (track.dref.entries.size() < count) SmfRaise(h, SMF_STATUS_COUNT);
    return result;
}

const SmfBoxRule kDinfRules[] = {
    {SMF_BOX_DREF, ParseDref, 16, SMF_RULE_ONCE | SMF_RULE_FULL},
};

int ParseDinf(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box) {
    return SmfParseContainer(h, s, box, SmfTable(kDinfRules));
}

const SmfBoxRule kMinfRules[] = {
    {SMF_BOX_VMHD, ParseVmhd, 20, SMF_RULE_ONCE | SMF_RULE_FULL},
    {SMF_BOX_SMHD, ParseSmhd, 16, SMF_RULE_ONCE | SMF_RULE_FULL},
    {SMF_BOX_DINF, ParseDinf, 8, SMF_RULE_ONCE},
    {SMF_BOX_STBL, SmfParseStbl, 8, SMF_RULE_ONCE},
};

int ParseMinf(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box) {
    SmfState(h).track->hasMinf = true;
    return SmfParseContainer(h, s, box, SmfTable(kMinfRules));
}

const SmfBoxRule kMdiaRules[] = {
    {SMF_BOX_MDHD, ParseMdhd, 32, SMF_RULE_ONCE | SMF_RULE_FULL},
    {SMF_BOX_HDLR, ParseHdlr, 33, SMF_RULE_ONCE | SMF_RULE_FULL},
    {SMF_BOX_MINF, ParseMinf, 8, SMF_RULE_ONCE},
};

int ParseMdia(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box) {
    SmfParseState& st = SmfState(h);
    st.track->hasMdia = true;
    st.handlerType = 0;
    return SmfParseContainer(h, s, box, SmfTable(kMdiaRules));
}

const SmfBoxRule kTrakRules[] = {
    {SMF_BOX_TKHD, ParseTkhd, 92, SMF_RULE_ONCE | SMF_RULE_FULL},
    {SMF_BOX_EDTS, ParseEdts, 8, SMF_RULE_ONCE},
    {SMF_BOX_TREF, ParseTref, 8, SMF_RULE_ONCE},
    {SMF_BOX_MDIA, ParseMdia, 8, SMF_RULE_ONCE},
    {SMF_BOX_UUID, SmfParseUuid, 24, 0},
};

int ParseTrak(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box) {
    SmfParseState& st = SmfState(h);
    auto track = std::make_unique<SmfTrack>();
    track->head.size = box.size;
    track->head.type = box.type;
    track->movie = st.movie;
    st.track = track.get();
    st.handlerType = 0;
    int result = SmfParseContainer(h, s, box, SmfTable(kTrakRules));
    st.track = nullptr;
    st.stbl = nullptr;
    st.entry = nullptr;
    SmfAddTrack(h, std::move(track));
    return result;
}

const SmfBoxRule kMoovRules[] = {
    {SMF_BOX_MVHD, ParseMvhd, 108, SMF_RULE_ONCE | SMF_RULE_FULL},
    {SMF_BOX_TRAK, ParseTrak, 8, 0},
    {SMF_BOX_UDTA, SmfParseUdta, 8, SMF_RULE_ONCE},
    {SMF_BOX_MVEX, SmfParseMvex, 8, SMF_RULE_ONCE},
    {SMF_BOX_UUID, SmfParseUuid, 24, 0},
    {SMF_BOX_ANY, SmfParseOtherMoovChild, 8, 0},
};

}  // namespace

int SmfParseFtyp(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box) {
    SmfMovie& movie = *SmfState(h).movie;
    uint32_t size = box.size;
    if (size % 4 != 0) {
        SmfRaise(h, SMF_STATUS_SIZE);
        size -= size % 4;
    }
    movie.ftyp.head.size = box.size;
    movie.ftyp.head.type = box.type;
    movie.ftyp.majorBrand = SmfReadU32(h, s);
    movie.ftyp.minorVersion = SmfReadU32(h, s);
    uint32_t count = (size - 16) / 4;
    movie.ftyp.brands.clear();
    movie.ftyp.brands.reserve((count + 4) / 5 * 5);
    for (uint32_t i = 0; i < count && !SmfFatal(h); ++i) movie.ftyp.brands.push_back(SmfReadU32(h, s));
    movie.hasFtyp = true;
    // The odd remainder counts as consumed.
    SmfSeekTo(h, s, box.end);
    return SMF_ERR_NONE;
}

int SmfParseMoov(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box) {
    SmfParseState& st = SmfState(h);
    SmfMovie& movie = *st.movie;
    movie.hasMoov = true;
    movie.moovHead.size = box.size;
    movie.moovHead.type = box.type;
    movie.moovOffset = box.start;
    movie.moovEnd = box.end;
    movie.mdatBeforeMoov = st.sawMdat;
    movie.firstMoofOffset = st.streamSize;
    int result = SmfParseContainer(h, s, box, SmfTable(kMoovRules));
    for (auto& track : movie.tracks) track->movieTimescale = movie.hasMvhd ? movie.mvhd.timescale : 0;
    return result;
}
