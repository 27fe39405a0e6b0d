// Handle operations, the top-level scan and the steps after it, and movie
// creation on an empty stream.
#include "SmfReader.h"

#include <algorithm>
#include <new>
#include <set>

// ---- state guard ----

namespace {

struct GuardCell {
    bool permitted;
    int next;
};

constexpr int kStates = 10;

// Only the rows this library performs; every other operation is refused.
struct GuardRow {
    int op;
    GuardCell cells[kStates];
};

// clang-format off
constexpr GuardRow kGuardRows[] = {
    {SMF_OP_CREATE,
     {{true, 4}, {false, -1}, {false, -1}, {false, -1}, {false, -1}, {false, -1}, {false, -1},
      {false, -1}, {false, -1}, {false, -1}}},
    {SMF_OP_PARSE,
     {{true, 8}, {true, 8}, {false, -1}, {false, -1}, {false, -1}, {false, -1}, {false, -1},
      {false, -1}, {false, -1}, {false, -1}}},
};
// clang-format on

}  // namespace

int SmfGuardBegin(SmfStateGuard& guard, int op) {
    if (guard.current < 0 || guard.current >= kStates) return SMF_ERR_STATE;
    for (const GuardRow& row : kGuardRows) {
        if (row.op != op) continue;
        const GuardCell& cell = row.cells[guard.current];
        if (!cell.permitted) return SMF_ERR_STATE;
        guard.pending = cell.next;
        return SMF_ERR_NONE;
    }
    return SMF_ERR_STATE;
}

void SmfGuardFragments(SmfStateGuard& guard) {
    // clang-format off
    switch (guard.pending) {
    case 8: guard.pending = 9; break;
    case 2: guard.pending = 3; break;
    case 4:
    case 5:
    case 6: guard.pending = 7; break;
    default: break;
    }
    // clang-format on
}

void SmfGuardCommit(SmfStateGuard& guard) {
    if (guard.pending != -1) guard.current = guard.pending;
    guard.pending = -1;
}

// ---- handle ----

int SmfCreateHandle(SmfMovieHandle** handle) {
    if (!handle) return SMF_ERR_NO_OUTPUT;
    *handle = new (std::nothrow) SmfMovieHandle();
    return *handle ? SMF_ERR_NONE : SMF_ERR_MEMORY;
}

int SmfReleaseHandle(SmfMovieHandle* handle) {
    if (!handle) return SMF_ERR_MISSING;
    SmfReleaseMovie(handle);
    delete handle;
    return SMF_ERR_NONE;
}

int SmfAttachStream(SmfMovieHandle* handle, ISmfAbsStream* stream) {
    if (!handle) return SMF_ERR_MISSING;
    handle->ctx.stream = ComPtr<ISmfAbsStream>(stream);
    handle->ctx.attached = ComPtr<ISmfAbsStream>(stream);
    handle->ctx.isAttached = stream != nullptr;
    return SMF_ERR_NONE;
}

int SmfReleaseMovie(SmfMovieHandle* handle) {
    if (!handle) return SMF_ERR_MISSING;
    if (handle->movie) SmfReleaseRecord(SmfFourCC("smfm"), handle->movie.release());
    return SMF_ERR_NONE;
}

int SmfReleaseRecord(uint32_t kind, void* record) {
    // clang-format off
    switch (kind) {
    case SmfFourCC("smfm"): delete static_cast<SmfMovie*>(record); break;
    case SmfFourCC("trak"): delete static_cast<SmfTrack*>(record); break;
    case SmfFourCC("moof"): delete static_cast<SmfFragment*>(record); break;
    case SmfFourCC("traf"): delete static_cast<SmfTraf*>(record); break;
    case SmfFourCC("trun"): delete static_cast<SmfTrun*>(record); break;
    case SmfFourCC("mvex"): delete static_cast<SmfMvex*>(record); break;
    case SmfFourCC("trex"): delete static_cast<SmfTrex*>(record); break;
    case SmfFourCC("tref"):
    case SmfFourCC("sync"): delete static_cast<std::vector<uint32_t>*>(record); break;
    case SmfFourCC("stbl"): delete static_cast<SmfStbl*>(record); break;
    case SmfFourCC("esds"): delete static_cast<SmfEsds*>(record); break;
    case SmfFourCC("avcC"): delete static_cast<SmfAvcC*>(record); break;
    case SmfFourCC("mp4v"): delete static_cast<SmfSampleEntry*>(record); break;
    case SmfFourCC("ftyp"): delete static_cast<SmfFtyp*>(record); break;
    case SmfFourCC("vtbl"): delete static_cast<SmfValueTable*>(record); break;
    default: return SMF_ERR_BOX;
    }
    // clang-format on
    return SMF_ERR_NONE;
}

// ---- adding a track ----

uint32_t SmfUnusedTrackId(const SmfMovie& movie) {
    std::set<uint32_t> used;
    for (const auto& t : movie.tracks) used.insert(t->tkhd.trackId);
    uint32_t id = 1;
    for (uint32_t u : used) {
        if (u < id) continue;
        if (u != id) break;
        ++id;
    }
    return id;
}

static bool DataReferencesResolve(const SmfTrack& track) {
    if (!track.stbl) return true;
    for (const auto& entry : track.stbl->entries) {
        uint32_t index = entry->dataReferenceIndex;
        if (index == 0 || index > track.dref.entries.size()) return false;
    }
    return true;
}

void SmfAddTrack(SmfMovieHandle* h, std::unique_ptr<SmfTrack> track) {
    SmfMovie& movie = *SmfState(h).movie;
    if (!DataReferencesResolve(*track)) SmfRaise(h, SMF_STATUS_DATA_REF);
    uint32_t id = track->tkhd.trackId;
    bool taken = id == 0;
    for (const auto& t : movie.tracks) taken = taken || t->tkhd.trackId == id;
    if (taken) track->tkhd.trackId = SmfUnusedTrackId(movie);
    movie.tracks.push_back(std::move(track));
    movie.nextTrackId = SmfUnusedTrackId(movie);
}

// ---- top-level scan ----

namespace {

int ParseMdat(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box) {
    SmfState(h).sawMdat = true;
    SmfSeekTo(h, s, box.end);
    return SMF_ERR_NONE;
}

int ParseFree(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box) {
    SmfParseState& st = SmfState(h);
    if (box.previousType == SMF_BOX_MOOV && !st.movie->hasFreeAfterMoov) {
        st.movie->hasFreeAfterMoov = true;
        st.movie->freeAfterMoovOffset = box.start;
        st.movie->freeAfterMoovSize = box.size;
    }
    SmfSeekTo(h, s, box.end);
    return SMF_ERR_NONE;
}

int ParseTopMoof(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box) {
    if (SmfState(h).mode == SMF_PARSE_NO_FRAGMENTS) {
        SmfRaise(h, SMF_STATUS_UNKNOWN);
        SmfSeekTo(h, s, box.end);
        return SMF_ERR_NONE;
    }
    return SmfParseMoof(h, s, box);
}

int ParseTopMoov(SmfMovieHandle* h, ISmfAbsStream* s, const SmfBox& box) {
    int result = SmfParseMoov(h, s, box);
    return result;
}

const SmfBoxRule kTopRules[] = {
    {SMF_BOX_FTYP, SmfParseFtyp, 16, SMF_RULE_ONCE},
    {SMF_BOX_MOOV, ParseTopMoov, 8, SMF_RULE_ONCE},
    {SMF_BOX_MDAT, ParseMdat, 8, 0},
    {SMF_BOX_FREE, ParseFree, 8, 0},
    {SMF_BOX_MOOF, ParseTopMoof, 8, 0},
};

}  // namespace

// ---- after the scan ----

namespace {

constexpr size_t kMaxFragmentedTracks = 127;

uint64_t SaturatingAdd(uint64_t a, uint64_t b) { return a > UINT64_MAX - b ? UINT64_MAX : a + b; }

void BuildCursor(SmfTrack& track) {
    const SmfStbl* stbl = track.stbl.get();
    track.hasCursor = false;
    track.sttsDuration = 0;
    if (!stbl || !stbl->stts || !stbl->stsc || !stbl->stsz || !stbl->stco) return;
    uint64_t total = 0;
    for (uint64_t i = 0; i < stbl->stts->Count(); ++i) {
        const uint32_t* e = stbl->stts->Entry(i);
        total = SaturatingAdd(total, uint64_t(e[0]) * e[1]);
    }
    track.sttsDuration = total;
    track.hasCursor = true;
}

const SmfTrex* FindTrex(const SmfMovie& movie, uint32_t trackId) {
    if (!movie.mvex) return nullptr;
    for (const SmfTrex& t : movie.mvex->trex)
        if (t.trackId == trackId) return &t;
    return nullptr;
}

uint64_t RunDuration(const SmfTrun& run, uint32_t defaultDuration) {
    if (!(run.head.flags & 0x100) || !run.samples) return uint64_t(run.sampleCount) * defaultDuration;
    uint64_t total = 0;
    for (uint64_t i = 0; i < run.samples->Count(); ++i) total = SaturatingAdd(total, run.samples->Entry(i)[0]);
    return total;
}

void AttachFragmentRuns(SmfMovie& movie) {
    for (auto& track : movie.tracks) {
        const uint32_t id = track->tkhd.trackId;
        const SmfTrex* trex = FindTrex(movie, id);
        uint64_t total = 0;
        for (const auto& fragment : movie.fragments) {
            for (const auto& traf : fragment->trafs) {
                if (!traf->hasTfhd || traf->trackId != id) continue;
                uint32_t fallback = (traf->tfhdHead.flags & 0x08) ? traf->defaultSampleDuration
                                    : trex                        ? trex->defaultSampleDuration
                                                                  : 0;
                for (const auto& run : traf->runs) total = SaturatingAdd(total, RunDuration(*run, fallback));
            }
        }
        track->fragmentDuration = total;
    }
}

// Clears the parse state pointer however the parse ends.
struct ParseScope {
    SmfMovieHandle* h;
    ParseScope(SmfMovieHandle* handle, SmfParseState* st) : h(handle) { h->parse = st; }
    ~ParseScope() { h->parse = nullptr; }
};

int ScanStream(SmfMovieHandle* h, ISmfAbsStream* s, uint32_t mode) {
    SmfParseState st;
    st.movie = h->movie.get();
    st.mode = mode;
    st.streamSize = s->StreamSize();
    ParseScope scope(h, &st);
    try {
        if (!s->SeekTo(0)) {
            SmfRaise(h, SMF_STATUS_SHORT_READ);
            return SMF_ERR_BOX;
        }
        int result = SmfParseChildren(h, s, SmfTable(kTopRules), 0, st.streamSize);
        if (SMF_SUCCEEDED(result) && mode == SMF_PARSE_FRAGMENTS && !st.movie->hasMoov) result = SMF_ERR_NO_MOOV;
        return result;
    } catch (const std::bad_alloc&) {
        SmfRaise(h, SMF_STATUS_MEMORY);
        return SMF_ERR_BOX;
    }
}

int FinishScan(SmfMovieHandle* h, int scanResult, uint32_t mode) {
    SmfReadContext& ctx = h->ctx;
    SmfMovie& movie = *h->movie;
    if (scanResult == SMF_ERR_NONE || ctx.status == SMF_STATUS_UNKNOWN) {
        try {
            for (auto& track : movie.tracks) BuildCursor(*track);
            if (ctx.fragmentsSeen && movie.tracks.size() > kMaxFragmentedTracks) {
                movie.tracks.resize(kMaxFragmentedTracks);
                SmfRaise(h, SMF_STATUS_TOO_MANY);
            }
            AttachFragmentRuns(movie);
        } catch (const std::bad_alloc&) {
            return SMF_ERR_MEMORY;
        }
    }
    if (mode == SMF_PARSE_FRAGMENTS || mode == SMF_PARSE_NOTE_FRAGMENTS) {
        if (movie.mvex && !movie.mvex->trex.empty()) SmfRaise(h, SMF_STATUS_MVEX);
        if (ctx.fragmentsSeen) SmfRaise(h, SMF_STATUS_FRAGMENTS);
    }
    if (ctx.status & ~uint32_t(SMF_STATUS_UNKNOWN | 0xF0000)) return SMF_ERR_ABSENT;
    return scanResult;
}

}  // namespace

int SmfParse(SmfMovieHandle* handle, uint32_t* status, uint32_t mode) {
    if (!handle) return SMF_ERR_MISSING;
    if (status) *status = 0;
    SMF_CHECK(SmfGuardBegin(handle->ctx.guard, SMF_OP_PARSE));
    ISmfAbsStream* s = handle->ctx.stream.get();
    if (!s) return SMF_ERR_NO_STREAM;
    SmfReadContext& ctx = handle->ctx;
    ctx.status = 0;
    ctx.fragmentsSeen = false;
    ctx.mode = 3;
    SmfReleaseMovie(handle);
    handle->movie.reset(new (std::nothrow) SmfMovie());
    if (!handle->movie) return SMF_ERR_MEMORY;

    int result = ScanStream(handle, s, mode);
    if (SmfFatal(handle)) {
        result = (ctx.status & SMF_STATUS_SHORT_READ) ? SMF_ERR_NO_STREAM
                 : (ctx.status & SMF_STATUS_MEMORY)   ? SMF_ERR_MEMORY
                                                      : SMF_ERR_STRUCTURE;
    } else {
        result = FinishScan(handle, result, mode);
    }
    if (status) *status = ctx.status;
    if (SMF_FAILED(result)) {
        SmfReleaseMovie(handle);
        handle->ctx.guard.pending = -1;
        return result;
    }
    if (ctx.fragmentsSeen) SmfGuardFragments(ctx.guard);
    SmfGuardCommit(ctx.guard);
    return SMF_ERR_NONE;
}

// ---- creating a movie ----

int SmfAddCompatibleBrand(SmfMovieHandle* handle, uint32_t brand) {
    if (!handle || !handle->movie) return SMF_ERR_MISSING;
    std::vector<uint32_t>& brands = handle->movie->ftyp.brands;
    if (std::find(brands.begin(), brands.end(), brand) != brands.end()) return SMF_ERR_NONE;
    try {
        if (brands.size() == brands.capacity()) brands.reserve(brands.capacity() + 5);
        brands.push_back(brand);
    } catch (const std::bad_alloc&) {
        return SMF_ERR_MEMORY;
    }
    handle->movie->ftyp.head.size = uint32_t(16 + 4 * brands.size());
    return SMF_ERR_NONE;
}

int SmfCreateMovie(SmfMovieHandle* handle, uint32_t minorVersion, uint32_t majorBrand, uint32_t brandCount,
                   const uint32_t* brands, uint32_t timescale) {
    if (!handle) return SMF_ERR_MISSING;
    if (brandCount > 3 || (brandCount > 0 && !brands)) return SMF_ERR_INVALID_ARG;
    SMF_CHECK(SmfGuardBegin(handle->ctx.guard, SMF_OP_CREATE));
    SmfReleaseMovie(handle);
    handle->movie.reset(new (std::nothrow) SmfMovie());
    if (!handle->movie) return SMF_ERR_MEMORY;
    SmfMovie& movie = *handle->movie;
    movie.hasFtyp = true;
    movie.ftyp.head = {16, SMF_BOX_FTYP};
    movie.ftyp.majorBrand = majorBrand;
    movie.ftyp.minorVersion = minorVersion;
    for (uint32_t i = 0; i < brandCount; ++i) {
        int result = SmfAddCompatibleBrand(handle, brands[i]);
        if (SMF_FAILED(result)) {
            SmfReleaseMovie(handle);
            handle->ctx.guard.pending = -1;
            return result;
        }
    }
    movie.hasMoov = true;
    movie.moovHead = {8 + 108, SMF_BOX_MOOV};
    movie.hasMvhd = true;
    SmfMvhd& m = movie.mvhd;
    m.head.size = 108;
    m.head.type = SMF_BOX_MVHD;
    m.timescale = timescale;
    m.rate = 0x00010000;
    m.volume = 0x0100;
    m.matrix[0] = 0x00010000;
    m.matrix[4] = 0x00010000;
    m.matrix[8] = 0x40000000;
    m.nextTrackId = 1;
    movie.nextTrackId = 1;
    SmfGuardCommit(handle->ctx.guard);
    return SMF_ERR_NONE;
}
