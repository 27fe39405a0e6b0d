#include "AacFrameTable.h"

#include "MediaTime.h"

#include <algorithm>

namespace {

// stsc entry words.
enum : int { kStscFirstChunk = 0, kStscSamplesPerChunk = 1 };
// stts entry words.
enum : int { kSttsCount = 0, kSttsDelta = 1 };

}  // namespace

void CAacFrameTable::Build(const SmfStbl& stbl, uint64_t fileSize, uint32_t timescale,
                           uint32_t defaultDuration) {
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
    if (samples < stbl.sampleCount)
        m_truncated = true;
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
        for (const uint32_t* next = stsc->Entry(mapIndex + 1);
             next && uint64_t(next[kStscFirstChunk]) <= chunk + 1;
             next = stsc->Entry(mapIndex + 1)) {
            if (next[kStscFirstChunk] <= mapEntry[kStscFirstChunk]) {
                stop = true;  // runs out of order: nothing after this can be placed
                break;
            }
            mapEntry = next;
            ++mapIndex;
        }
        if (stop)
            break;
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
    if (sample < samples)
        m_truncated = true;
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

int64_t CAacFrameTable::FrameStartTime(uint32_t index) const {
    if (index >= m_frames.size())
        return Duration();
    return ScaleToReferenceTime(m_frames[index].start, m_timescale);
}

int64_t CAacFrameTable::Duration() const {
    return ScaleToReferenceTime(m_endTime, m_timescale);
}

uint32_t CAacFrameTable::FrameAt(int64_t time) const {
    if (m_frames.empty())
        return 0;
    if (time <= 0)
        return 0;
    if (time >= Duration())
        return Count();
    // Compared in reference time, so that a frame's own (floored) start time
    // finds that frame and not the one before it.
    const auto after = std::upper_bound(
        m_frames.begin(), m_frames.end(), time, [this](int64_t t, const AacFrame& frame) {
            return t < ScaleToReferenceTime(frame.start, m_timescale);
        });
    return uint32_t((after - m_frames.begin()) - 1);
}
