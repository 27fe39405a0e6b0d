// Where each AAC frame of a track lies in the file and when it plays, built
// from the track's sample tables (stsz, stco, stsc, stts) and, for a
// fragmented movie, from its track runs (tfhd, trun, trex). The tables come
// from an untrusted file: the builder never trusts a count, stops at the
// first sample that leaves the file or at an inconsistent chunk map, and
// never allocates more than the data it found can justify.
#pragma once

#include "mp4/SmfRecords.h"

#include <cstdint>
#include <vector>

struct AacFrame {
    uint32_t offset = 0;  // byte offset in the file
    uint32_t size = 0;    // bytes
    uint64_t start = 0;   // start time in track timescale units
};

class CAacFrameTable {
public:
    // Upper bound on frames kept (a day of 48 kHz audio, 64 MB of table).
    static constexpr uint32_t kMaxFrames = 1u << 22;

    // Builds the table of `stbl` for a file of `fileSize` bytes. Samples
    // without a time-to-sample entry get `defaultDuration` units.
    void Build(const SmfStbl& stbl, uint64_t fileSize, uint32_t timescale, uint32_t defaultDuration);
    // Adds the samples of track `trackId` in the movie's fragments, in file
    // order, timed on from the end of the table so far.
    void AppendFragments(const SmfMovie& movie, uint32_t trackId, uint64_t fileSize);

    uint32_t Count() const { return uint32_t(m_frames.size()); }
    const AacFrame& Frame(uint32_t index) const { return m_frames[index]; }
    uint32_t Timescale() const { return m_timescale; }
    // End of the last frame in timescale units.
    uint64_t EndTime() const { return m_endTime; }
    // True when the tables promised more samples than could be located.
    bool Truncated() const { return m_truncated; }

    // Start and end of the whole table in 100-ns units.
    int64_t FrameStartTime(uint32_t index) const;
    int64_t Duration() const;
    // Index of the frame playing at `time` (100-ns): the first frame for
    // negative times, Count() at or past the end.
    uint32_t FrameAt(int64_t time) const;

private:
    struct RunDefaults {
        uint32_t duration = 0;
        uint32_t size = 0;
    };

    void AssignTimes(const SmfValueTable* stts, uint32_t defaultDuration);
    // Appends one track run whose data starts at `position`; false when the
    // run leaves the file or the table is full. `position` moves past it.
    bool AppendRun(const SmfTrun& run, const RunDefaults& defaults, uint64_t fileSize, uint64_t& position);

    std::vector<AacFrame> m_frames;
    uint32_t m_timescale = 0;
    uint64_t m_endTime = 0;
    bool m_truncated = false;
};
