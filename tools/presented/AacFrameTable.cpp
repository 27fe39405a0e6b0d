#include "AacFrameTable.h"

#include "MediaTime.h"

#include <algorithm>

namespace {

// stsc entry words.
enum : int { kStscFirstChunk = 0, kStscSamplesPerChunk = 1 };
// stts entry words.
enum : int { kSttsCount = 0, kSttsDelta = 1 };

// tfhd and trun flags.
constexpr uint32_t kTfhdBaseDataOffset = 0x000001;
constexpr uint32_t kTfhdDefaultDuration = 0x000008;
constexpr uint32_t kTfhdDefaultSize = 0x000010;
constexpr uint32_t kTfhdBaseIsMoof = 0x020000;
constexpr uint32_t kTrunDataOffset = 0x001;
constexpr uint32_t kTrunSampleDuration = 0x100;
constexpr uint32_t kTrunSampleSize = 0x200;

const SmfTrex* FindTrex(const SmfMovie& movie, uint32_t trackId) {
    if (!movie.mvex) return nullptr;
    for (const SmfTrex& trex : movie.mvex->trex)
        if (trex.trackId == trackId) return &trex;
    return nullptr;
}

}  // namespace

void CAacFrameTable::Build(const SmfStbl& stbl, uint64_t fileSize, uint32_t timescale, uint32_t defaultDuration) {
    m_frames.clear();
    m_timescale = timescale;
    m_endTime = 0;
    m_truncated = false;

    // A fixed sample size has no size table; the declared count is then all
    // there is, so the file size has to bound it.
    const bool fixedSize = stbl.sampleSize != 0;
    const SmfValueTable* stsz = stbl.stsz.get();
    uint64_t samples = 0;
    if (fixedSize) {
        samples = std::min<uint64_t>(stbl.sampleCount, fileSize / stbl.sampleSize);
    } else if (stsz) {
        samples = stsz->Count();
    }
    if (samples < stbl.sampleCount) m_truncated = true;
    if (samples > kMaxFrames) {
        samples = kMaxFrames;
        m_truncated = true;
    }

    const SmfValueTable* stco = stbl.stco.get();
    const SmfValueTable* stsc = stbl.stsc.get();
    const uint32_t* mapEntry = stsc ? stsc->Entry(0) : nullptr;
    if (samples == 0 || !stco || !mapEntry || mapEntry[kStscFirstChunk] != 1) {
        m_truncated = m_truncated || samples > 0;
        AssignTimes(stbl.stts.get(), defaultDuration);
        return;
    }
    m_frames.reserve(size_t(samples));

    uint64_t sample = 0;
    uint64_t mapIndex = 0;
    bool stop = false;
    for (uint64_t chunk = 0; chunk < stco->Count() && sample < samples && !stop; ++chunk) {
        // The chunk map names the first chunk of each run, counting from 1.
        for (const uint32_t* next = stsc->Entry(mapIndex + 1); next && uint64_t(next[kStscFirstChunk]) <= chunk + 1;
             next = stsc->Entry(mapIndex + 1)) {
            if (next[kStscFirstChunk] <= mapEntry[kStscFirstChunk]) {
                stop = true;  // runs out of order: nothing after this can be placed
                break;
            }
            mapEntry = next;
            ++mapIndex;
        }
        if (stop) break;
        uint64_t position = stco->Entry(chunk)[0];
        for (uint32_t i = 0; i < mapEntry[kStscSamplesPerChunk] && sample < samples; ++i) {
            const uint32_t* sizeEntry = fixedSize ? &stbl.sampleSize : stsz->Entry(sample);
            if (!sizeEntry || position + *sizeEntry > fileSize) {
                stop = true;
                break;
            }
            AacFrame frame;
            frame.offset = uint32_t(position);  // below fileSize, which a 32-bit stream bounds
            frame.size = *sizeEntry;
            m_frames.push_back(frame);
            position += *sizeEntry;
            ++sample;
        }
    }
    if (sample < samples) m_truncated = true;
    AssignTimes(stbl.stts.get(), defaultDuration);
}

void CAacFrameTable::AssignTimes(const SmfValueTable* stts, uint32_t defaultDuration) {
    uint64_t time = 0;
    uint64_t entry = 0;
    uint64_t left = 0;
    uint32_t delta = defaultDuration;
    for (AacFrame& frame : m_frames) {
        while (left == 0) {
            const uint32_t* e = stts ? stts->Entry(entry) : nullptr;
            if (!e) {
                // Past the table: every further frame lasts the default.
                left = UINT64_MAX;
                delta = defaultDuration;
                break;
            }
            ++entry;
            left = e[kSttsCount];
            delta = e[kSttsDelta];
        }
        frame.start = time;
        time += delta;  // at most 2^22 frames of 2^32 units: no overflow
        --left;
    }
    m_endTime = time;
}

void CAacFrameTable::AppendFragments(const SmfMovie& movie, uint32_t trackId, uint64_t fileSize) {
    const SmfTrex* trex = FindTrex(movie, trackId);
    for (const auto& fragment : movie.fragments) {
        // Without a base offset a track fragment's data follows the previous
        // one's, the first starting at the moof.
        uint64_t previousEnd = fragment->offset;
        for (const auto& traf : fragment->trafs) {
            if (!traf->hasTfhd || traf->trackId != trackId) {
                previousEnd = fragment->offset;  // unknown: that track's runs were not walked
                continue;
            }
            const uint32_t flags = traf->tfhdHead.flags;
            const uint64_t base = (flags & kTfhdBaseDataOffset) ? traf->baseDataOffset
                                  : (flags & kTfhdBaseIsMoof)   ? fragment->offset
                                                                : previousEnd;
            RunDefaults defaults;
            defaults.duration = (flags & kTfhdDefaultDuration) ? traf->defaultSampleDuration
                                : trex                         ? trex->defaultSampleDuration
                                                               : 0;
            defaults.size = (flags & kTfhdDefaultSize) ? traf->defaultSampleSize : trex ? trex->defaultSampleSize : 0;
            uint64_t position = base;
            for (const auto& run : traf->runs) {
                if (run->head.flags & kTrunDataOffset) {
                    // A signed offset from the base. A base beyond the reach of
                    // any offset back into the file places nothing, and the sum
                    // is formed only when it cannot overflow.
                    const int64_t offset = int32_t(run->dataOffset);
                    if ((offset < 0 && base < uint64_t(-offset)) || base > fileSize + uint64_t(INT32_MAX)) {
                        m_truncated = true;
                        return;
                    }
                    position = base + uint64_t(offset);
                }
                if (!AppendRun(*run, defaults, fileSize, position)) return;
            }
            previousEnd = position;
        }
    }
}

bool CAacFrameTable::AppendRun(const SmfTrun& run, const RunDefaults& defaults, uint64_t fileSize, uint64_t& position) {
    const uint32_t flags = run.head.flags;
    const SmfValueTable* samples = run.samples.get();
    const bool listed = samples && samples->WordsPerEntry() > 0;
    const uint32_t durationWord = 0;
    const uint32_t sizeWord = (flags & kTrunSampleDuration) ? 1 : 0;
    if ((flags & (kTrunSampleSize | kTrunSampleDuration)) && !listed) {
        m_truncated = true;
        return false;
    }
    uint64_t count = listed ? samples->Count() : run.sampleCount;
    if (count < run.sampleCount) m_truncated = true;
    // Samples that are all the default size must each take room in the file.
    if (!(flags & kTrunSampleSize)) {
        if (defaults.size == 0) {
            m_truncated = m_truncated || count > 0;
            return count == 0;
        }
        if (count > fileSize / defaults.size) {
            count = fileSize / defaults.size;
            m_truncated = true;
        }
    }
    for (uint64_t i = 0; i < count; ++i) {
        if (m_frames.size() >= kMaxFrames) {
            m_truncated = true;
            return false;
        }
        const uint32_t* words = listed ? samples->Entry(i) : nullptr;
        if (listed && !words) {
            m_truncated = true;
            return false;
        }
        const uint32_t size = (flags & kTrunSampleSize) ? words[sizeWord] : defaults.size;
        const uint32_t duration = (flags & kTrunSampleDuration) ? words[durationWord] : defaults.duration;
        // Compared without forming position + size, which a hostile base
        // offset would wrap around.
        if (position > fileSize || size > fileSize - position) {
            m_truncated = true;
            return false;
        }
        AacFrame frame;
        frame.offset = uint32_t(position);
        frame.size = size;
        frame.start = m_endTime;
        m_frames.push_back(frame);
        position += size;
        m_endTime += duration;  // at most 2^22 frames of 2^32 units
    }
    return true;
}

int64_t CAacFrameTable::FrameStartTime(uint32_t index) const {
    if (index >= m_frames.size()) return Duration();
    return ScaleToReferenceTime(m_frames[index].start, m_timescale);
}

int64_t CAacFrameTable::Duration() const { return ScaleToReferenceTime(m_endTime, m_timescale); }

uint32_t CAacFrameTable::FrameAt(int64_t time) const {
    if (m_frames.empty()) return 0;
    if (time <= 0) return 0;
    if (time >= Duration()) return Count();
    // Compared in reference time, so that a frame's own (floored) start time
    // finds that frame and not the one before it.
    const auto after = std::upper_bound(
        m_frames.begin(), m_frames.end(), time,
        [this](int64_t t, const AacFrame& frame) { return t < ScaleToReferenceTime(frame.start, m_timescale); });
    return uint32_t((after - m_frames.begin()) - 1);
}
