// Movie fragments: mvex with its defaults, and moof with its track runs.
#include "SmfReader.h"

namespace {

constexpr size_t kMaxFragmentTracks = 127;

int ParseMehd(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox&) {
    SmfMvex& mvex = *SmfState(h).mvex;
    mvex.fragmentDuration = SmfReadU32(h, s);
    mvex.hasMehd = true;
    return SMF_ERR_NONE;
}

int ParseTrex(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box) {
    SmfMvex& mvex = *SmfState(h).mvex;
    if (mvex.trex.size() >= kMaxFragmentTracks) {
        SmfRaise(h, SMF_STATUS_TOO_MANY);
        SmfSeekTo(h, s, box.end);
        return SMF_ERR_NONE;
    }
    SmfTrex t;
    t.head.size = box.size;
    t.head.type = box.type;
    t.head.version = SmfReadU8(h, s);
    t.head.flags = SmfReadU24(h, s);
    t.trackId = SmfReadU32(h, s);
    t.defaultSampleDescriptionIndex = SmfReadU32(h, s);
    t.defaultSampleDuration = SmfReadU32(h, s);
    t.defaultSampleSize = SmfReadU32(h, s);
    t.defaultSampleFlags = SmfReadU32(h, s);
    mvex.trex.push_back(t);
    return SMF_ERR_NONE;
}

// mehd carries its duration after the full-box header, so it needs 16 bytes.
const SmfBoxRule kMvexRules[] = {
    {SMF_BOX_MEHD, ParseMehd, 16, SMF_RULE_ONCE | SMF_RULE_FULL},
    {SMF_BOX_TREX, ParseTrex, 32, 0},
};

int ParseMfhd(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox&) {
    SmfFragment& f = *SmfState(h).fragment;
    f.sequenceNumber = SmfReadU32(h, s);
    f.hasMfhd = true;
    return SMF_ERR_NONE;
}

uint32_t TfhdFieldBytes(uint32_t flags) {
    uint32_t bytes = 4;  // track_ID
    if (flags & 0x01) bytes += 8;
    if (flags & 0x02) bytes += 4;
    if (flags & 0x08) bytes += 4;
    if (flags & 0x10) bytes += 4;
    if (flags & 0x20) bytes += 4;
    return bytes;
}

int ParseTfhd(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box) {
    SmfTraf& traf = *SmfState(h).traf;
    // The flagged fields must fill the box exactly.
    if (12 + TfhdFieldBytes(box.flags) != box.size) {
        SmfRaise(h, SMF_STATUS_STRUCTURE);
        return SMF_ERR_NONE;
    }
    traf.tfhdHead.size = box.size;
    traf.tfhdHead.type = box.type;
    traf.tfhdHead.version = box.version;
    traf.tfhdHead.flags = box.flags;
    traf.trackId = SmfReadU32(h, s);
    if (box.flags & 0x01) {
        uint64_t hi = SmfReadU32(h, s);
        traf.baseDataOffset = (hi << 32) | SmfReadU32(h, s);
    }
    if (box.flags & 0x02) traf.sampleDescriptionIndex = SmfReadU32(h, s);
    if (box.flags & 0x08) traf.defaultSampleDuration = SmfReadU32(h, s);
    if (box.flags & 0x10) traf.defaultSampleSize = SmfReadU32(h, s);
    if (box.flags & 0x20) traf.defaultSampleFlags = SmfReadU32(h, s);
    traf.hasTfhd = true;
    return SMF_ERR_NONE;
}

uint32_t TrunWordsPerSample(uint32_t flags) {
    uint32_t words = 0;
    for (uint32_t bit = 0x100; bit <= 0x800; bit <<= 1) words += (flags & bit) ? 1 : 0;
    return words;
}

int ParseTrun(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box) {
    SmfTraf& traf = *SmfState(h).traf;
    uint32_t fixed = 16 + ((box.flags & 0x001) ? 4 : 0) + ((box.flags & 0x004) ? 4 : 0);
    if (fixed > box.size) {
        // Too small for its own fields: the run is dropped.
        SmfRaise(h, SMF_STATUS_STRUCTURE);
        return SMF_ERR_NONE;
    }
    auto run = std::make_unique<SmfTrun>();
    run->head.size = box.size;
    run->head.type = box.type;
    run->head.version = box.version;
    run->head.flags = box.flags;
    run->sampleCount = SmfReadU32(h, s);
    if (box.flags & 0x001) run->dataOffset = SmfReadU32(h, s);
    if (box.flags & 0x004) run->firstSampleFlags = SmfReadU32(h, s);
    uint32_t words = TrunWordsPerSample(box.flags);
    int result = SMF_ERR_NONE;
    if (words > 0) {
        uint32_t fits = (box.size - fixed) / (4 * words);
        uint32_t count = run->sampleCount;
        if (count > fits) {
            SmfRaise(h, SMF_STATUS_SIZE);
            count = fits;
        }
        run->samples = std::make_unique<SmfValueTable>(words);
        result = SmfReadTable(h, s, *run->samples, count);
    }
    traf.runs.push_back(std::move(run));
    return result;
}

const SmfBoxRule kTrafRules[] = {
    {SMF_BOX_TFHD, ParseTfhd, 16, SMF_RULE_ONCE | SMF_RULE_FULL},
    {SMF_BOX_TRUN, ParseTrun, 16, SMF_RULE_FULL},
};

int ParseTraf(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box) {
    SmfParseState& st = SmfState(h);
    if (st.fragment->trafs.size() >= kMaxFragmentTracks) {
        SmfRaise(h, SMF_STATUS_TOO_MANY);
        SmfSeekTo(h, s, box.end);
        return SMF_ERR_NONE;
    }
    auto traf = std::make_unique<SmfTraf>();
    traf->head.size = box.size;
    traf->head.type = box.type;
    st.traf = traf.get();
    st.fragment->trafs.push_back(std::move(traf));
    int result = SmfParseContainer(h, s, box, SmfTable(kTrafRules));
    st.traf = nullptr;
    return result;
}

const SmfBoxRule kMoofRules[] = {
    {SMF_BOX_MFHD, ParseMfhd, 16, SMF_RULE_ONCE | SMF_RULE_FULL},
    {SMF_BOX_TRAF, ParseTraf, 8, 0},
};

}  // namespace

int SmfParseMvex(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box) {
    SmfParseState& st = SmfState(h);
    st.movie->mvex = std::make_unique<SmfMvex>();
    st.movie->mvex->head.size = box.size;
    st.movie->mvex->head.type = box.type;
    st.mvex = st.movie->mvex.get();
    int result = SmfParseContainer(h, s, box, SmfTable(kMvexRules));
    st.mvex = nullptr;
    return result;
}

int SmfParseMoof(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box) {
    SmfParseState& st = SmfState(h);
    SmfMovie& movie = *st.movie;
    if (!h->ctx.fragmentsSeen) {
        movie.firstMoofOffset = box.start;
        h->ctx.fragmentsSeen = true;
    }
    if (st.mode == SMF_PARSE_NOTE_FRAGMENTS) {
        SmfSeekTo(h, s, box.end);
        return SMF_ERR_NONE;
    }
    auto fragment = std::make_unique<SmfFragment>();
    fragment->head.size = box.size;
    fragment->head.type = box.type;
    fragment->offset = box.start;
    fragment->nextOffset = st.streamSize;
    if (!movie.fragments.empty()) movie.fragments.back()->nextOffset = box.start;
    st.fragment = fragment.get();
    int result = SmfParseContainer(h, s, box, SmfTable(kMoofRules));
    if (result == SMF_ERR_BOX) fragment->trafs.clear();
    st.fragment = nullptr;
    movie.fragments.push_back(std::move(fragment));
    return result;
}
