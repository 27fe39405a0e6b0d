// Frame table over hand-made sample tables: the layouts a file may really
// have, and the lies a hostile one may tell.
#include <gtest/gtest.h>

#include "AacFrameTable.h"
#include "StreamSegment.h"

#include <vector>

namespace {

std::unique_ptr<SmfValueTable> MakeTable(uint32_t words, const std::vector<uint32_t>& values) {
    auto table = std::make_unique<SmfValueTable>(words);
    const uint32_t entries = uint32_t(values.size() / words);
    for (uint32_t done = 0; done < entries;) {
        const uint32_t n = std::min(entries - done, SmfValueTable::kBlockEntries);
        SmfValueTable::Block* block = table->AddBlock(n);
        std::copy(values.begin() + size_t(done) * words, values.begin() + size_t(done + n) * words, block->words.get());
        table->CommitBlock(block, n);
        done += n;
    }
    return table;
}

struct Tables {
    std::vector<uint32_t> sizes;  // stsz entries
    uint32_t fixedSize = 0;
    int64_t declaredCount = -1;  // stsz sample count; -1: the entries
    std::vector<uint32_t> chunkOffsets = {0};
    std::vector<uint32_t> chunkMap = {1, 1000, 1};  // first chunk, samples per chunk, sdi
    std::vector<uint32_t> timeToSample = {1000, 1024};

    SmfStbl Build() const {
        SmfStbl stbl;
        stbl.sampleSize = fixedSize;
        stbl.sampleCount = declaredCount >= 0 ? uint32_t(declaredCount) : uint32_t(sizes.size());
        stbl.stsz = MakeTable(1, fixedSize ? std::vector<uint32_t>() : sizes);
        stbl.stco = MakeTable(1, chunkOffsets);
        stbl.stsc = MakeTable(3, chunkMap);
        stbl.stts = MakeTable(2, timeToSample);
        return stbl;
    }
};

CAacFrameTable BuildTable(const Tables& t, uint64_t fileSize, uint32_t timescale = 48000) {
    CAacFrameTable table;
    table.Build(t.Build(), fileSize, timescale, 1024);
    return table;
}

TEST(FrameTable, ChunkMapPlacesSamplesInsideTheirChunks) {
    Tables t;
    t.sizes = {10, 20, 30, 40, 50};
    t.chunkOffsets = {100, 500, 900};
    t.chunkMap = {1, 2, 1, 3, 1, 1};  // chunks 1-2 hold two samples, chunk 3 one
    const CAacFrameTable table = BuildTable(t, 1000);
    ASSERT_EQ(5u, table.Count());
    EXPECT_FALSE(table.Truncated());
    const uint32_t offsets[] = {100, 110, 500, 530, 900};
    for (uint32_t i = 0; i < 5; ++i) {
        EXPECT_EQ(offsets[i], table.Frame(i).offset) << i;
        EXPECT_EQ(t.sizes[i], table.Frame(i).size) << i;
        EXPECT_EQ(uint64_t(i) * 1024, table.Frame(i).start) << i;
    }
    EXPECT_EQ(5u * 1024, table.EndTime());
}

TEST(FrameTable, FixedSampleSizeAndVaryingDurations) {
    Tables t;
    t.fixedSize = 8;
    t.declaredCount = 4;
    t.chunkOffsets = {0, 64};
    t.chunkMap = {1, 2, 1};
    t.timeToSample = {2, 1024, 1, 512, 1, 100};
    const CAacFrameTable table = BuildTable(t, 100);
    ASSERT_EQ(4u, table.Count());
    EXPECT_EQ(72u, table.Frame(3).offset);
    EXPECT_EQ(2048u, table.Frame(2).start);
    EXPECT_EQ(2560u, table.Frame(3).start);
    EXPECT_EQ(2660u, table.EndTime());
}

TEST(FrameTable, FramesBeyondTheTimeTableGetTheDefaultDuration) {
    Tables t;
    t.sizes = {1, 1, 1};
    t.timeToSample = {1, 2000};
    const CAacFrameTable table = BuildTable(t, 10);
    ASSERT_EQ(3u, table.Count());
    EXPECT_EQ(2000u, table.Frame(1).start);
    EXPECT_EQ(3024u, table.Frame(2).start);
    EXPECT_EQ(4048u, table.EndTime());
}

// ---- seeking ----

TEST(FrameTable, FrameAtFindsTheFrameThatContainsATime) {
    Tables t;
    t.sizes = std::vector<uint32_t>(10, 1);
    // 22050 Hz: frame starts are not whole 100-ns values, so a floored
    // start converted back would land in the frame before.
    const CAacFrameTable table = BuildTable(t, 100, 22050);
    for (uint32_t k = 0; k < table.Count(); ++k) {
        const int64_t start = table.FrameStartTime(k);
        EXPECT_EQ(k, table.FrameAt(start)) << k;
        EXPECT_EQ(k, table.FrameAt(table.FrameStartTime(k + 1) - 1)) << k;
        if (k > 0) {
            EXPECT_EQ(k - 1, table.FrameAt(start - 1)) << k;
        }
    }
    EXPECT_EQ(464399, table.FrameStartTime(1));  // 1024 / 22050 s, floored
    EXPECT_EQ(0u, table.FrameAt(-5));
    EXPECT_EQ(table.Count(), table.FrameAt(table.Duration()));
    EXPECT_EQ(table.Count(), table.FrameAt(INT64_MAX));
    EXPECT_EQ(4643990, table.Duration());
}

TEST(FrameTable, FrameAtOnAnEmptyTable) {
    Tables t;
    const CAacFrameTable table = BuildTable(t, 100);
    EXPECT_EQ(0u, table.Count());
    EXPECT_EQ(0u, table.FrameAt(0));
    EXPECT_EQ(0u, table.FrameAt(10000000));
    EXPECT_EQ(0, table.Duration());
}

// ---- hostile tables ----

TEST(FrameTableHostile, SampleLeavingTheFileEndsTheTable) {
    Tables t;
    t.sizes = {100, 100, 100, 100};
    const CAacFrameTable truncated = BuildTable(t, 250);  // file cut in the third sample
    EXPECT_EQ(2u, truncated.Count());
    EXPECT_TRUE(truncated.Truncated());
    EXPECT_EQ(2048u, truncated.EndTime());

    t.chunkOffsets = {0, 5000};
    t.chunkMap = {1, 2, 1};
    const CAacFrameTable pastEnd = BuildTable(t, 1000);  // second chunk is past the end
    EXPECT_EQ(2u, pastEnd.Count());
    EXPECT_TRUE(pastEnd.Truncated());

    t.sizes = {100, 0xFFFFFFFFu, 100};
    t.chunkOffsets = {0xFFFFFF00u};
    t.chunkMap = {1, 3, 1};
    EXPECT_EQ(0u, BuildTable(t, 0xFFFFFF10ull).Count());
    t.chunkOffsets = {0};
    const CAacFrameTable huge = BuildTable(t, 0xFFFFFFFFull);
    EXPECT_EQ(1u, huge.Count());  // 100 + 0xFFFFFFFF passes the end of a 4 GiB file
    EXPECT_TRUE(huge.Truncated());
}

TEST(FrameTableHostile, DeclaredCountsBeyondTheDataAreNotBelieved) {
    Tables t;
    t.fixedSize = 1;
    t.declaredCount = 0xFFFFFFFF;  // no entries stand behind a fixed size
    t.chunkMap = {1, 0xFFFFFFFFu, 1};
    const CAacFrameTable fixed = BuildTable(t, 5000);
    EXPECT_EQ(5000u, fixed.Count());
    EXPECT_TRUE(fixed.Truncated());

    t.fixedSize = 0;
    t.sizes = {1, 1};
    t.declaredCount = 1000000;  // the reader keeps only the entries that fit the box
    const CAacFrameTable listed = BuildTable(t, 5000);
    EXPECT_EQ(2u, listed.Count());
    EXPECT_TRUE(listed.Truncated());

    // A huge fixed size on a huge file still keeps at most kMaxFrames.
    t.fixedSize = 1;
    t.declaredCount = 0xFFFFFFFF;
    t.chunkOffsets = {0};
    const CAacFrameTable capped = BuildTable(t, 0xFFFFFFFFull);
    EXPECT_EQ(CAacFrameTable::kMaxFrames, capped.Count());
    EXPECT_TRUE(capped.Truncated());
}

TEST(FrameTableHostile, ZeroCountsGiveAnEmptyOrShortTable) {
    Tables t;
    t.sizes = {1, 1, 1};
    Tables noChunks = t;
    noChunks.chunkOffsets = {};
    EXPECT_EQ(0u, BuildTable(noChunks, 100).Count());
    EXPECT_TRUE(BuildTable(noChunks, 100).Truncated());

    Tables noMap = t;
    noMap.chunkMap = {};
    EXPECT_EQ(0u, BuildTable(noMap, 100).Count());

    Tables emptyChunks = t;
    emptyChunks.chunkOffsets = {0, 10, 20};
    emptyChunks.chunkMap = {1, 0, 1, 3, 2, 1};  // chunks 1-2 empty, chunk 3 holds two
    const CAacFrameTable some = BuildTable(emptyChunks, 100);
    ASSERT_EQ(2u, some.Count());
    EXPECT_EQ(20u, some.Frame(0).offset);
    EXPECT_TRUE(some.Truncated());

    Tables noTimes = t;
    noTimes.timeToSample = {0, 5, 0, 7};  // entries that cover no sample
    const CAacFrameTable defaults = BuildTable(noTimes, 100);
    ASSERT_EQ(3u, defaults.Count());
    EXPECT_EQ(3u * 1024, defaults.EndTime());

    Tables noSizes = t;
    noSizes.sizes = {};
    EXPECT_EQ(0u, BuildTable(noSizes, 100).Count());
    EXPECT_FALSE(BuildTable(noSizes, 100).Truncated());
}

TEST(FrameTableHostile, ChunkMapOutOfOrderStopsTheTable) {
    Tables t;
    t.sizes = {1, 1, 1, 1, 1, 1};
    t.chunkOffsets = {0, 10, 20, 30};
    t.chunkMap = {0, 1, 1};  // runs count from chunk 1
    EXPECT_EQ(0u, BuildTable(t, 100).Count());

    t.chunkMap = {1, 1, 1, 3, 2, 1, 2, 5, 1};  // the third run goes back to chunk 2
    const CAacFrameTable table = BuildTable(t, 100);
    EXPECT_EQ(2u, table.Count());
    EXPECT_TRUE(table.Truncated());

    t.chunkMap = {1, 1, 1, 1, 9, 1};  // a repeated first chunk
    EXPECT_EQ(0u, BuildTable(t, 100).Count());
    EXPECT_TRUE(BuildTable(t, 100).Truncated());
}

TEST(FrameTableHostile, HugeDurationsDoNotWrap) {
    Tables t;
    t.sizes = std::vector<uint32_t>(3000, 1);
    t.chunkMap = {1, 3000, 1};
    t.timeToSample = {0xFFFFFFFFu, 0xFFFFFFFFu};
    const CAacFrameTable table = BuildTable(t, 10000, 1);
    ASSERT_EQ(3000u, table.Count());
    EXPECT_EQ(3000ull * 0xFFFFFFFFull, table.EndTime());
    EXPECT_GT(table.Duration(), 0);
    EXPECT_EQ(INT64_MAX, table.Duration());  // 1 Hz clock: saturates
    EXPECT_EQ(2u, table.FrameAt(table.FrameStartTime(2)));
}

}  // namespace

namespace {

// ---- fragments ----

struct RunSpec {
    uint32_t flags = 0x201;  // data offset, per-sample sizes
    uint32_t dataOffset = 0;
    uint32_t sampleCount = 0;
    std::vector<uint32_t> words;  // per sample, by the flag bits
};

std::unique_ptr<SmfTraf> MakeTraf(uint32_t trackId, uint32_t tfhdFlags, std::vector<RunSpec> runs,
                                  uint64_t baseDataOffset = 0) {
    auto traf = std::make_unique<SmfTraf>();
    traf->hasTfhd = true;
    traf->trackId = trackId;
    traf->tfhdHead.flags = tfhdFlags;
    traf->baseDataOffset = baseDataOffset;
    traf->defaultSampleDuration = 1024;
    traf->defaultSampleSize = 10;
    for (const RunSpec& spec : runs) {
        auto run = std::make_unique<SmfTrun>();
        run->head.flags = spec.flags;
        run->dataOffset = spec.dataOffset;
        run->sampleCount = spec.sampleCount;
        uint32_t words = 0;
        for (uint32_t bit = 0x100; bit <= 0x800; bit <<= 1) words += (spec.flags & bit) ? 1 : 0;
        if (words) run->samples = MakeTable(words, spec.words);
        traf->runs.push_back(std::move(run));
    }
    return traf;
}

void AddFragment(SmfMovie& movie, uint32_t offset, std::unique_ptr<SmfTraf> traf) {
    auto fragment = std::make_unique<SmfFragment>();
    fragment->offset = offset;
    fragment->trafs.push_back(std::move(traf));
    movie.fragments.push_back(std::move(fragment));
}

CAacFrameTable BuildFragments(const SmfMovie& movie, uint64_t fileSize) {
    CAacFrameTable table;
    table.Build(SmfStbl(), fileSize, 44100, 1024);
    table.AppendFragments(movie, 1, fileSize);
    return table;
}

constexpr uint32_t kBaseIsMoof = 0x020000 | 0x08 | 0x10;

TEST(FrameTableFragments, RunsPlaceSamplesFromTheirBase) {
    SmfMovie movie;
    // Sizes listed, offset from the moof; then a run that follows on.
    AddFragment(movie, 100, MakeTraf(1, kBaseIsMoof, {{0x201, 50, 2, {7, 9}}, {0x200, 0, 1, {4}}}));
    // Another track's fragment is passed over.
    AddFragment(movie, 300, MakeTraf(2, kBaseIsMoof, {{0x201, 8, 1, {5}}}));
    // An explicit base and default sizes with listed durations.
    AddFragment(movie, 400, MakeTraf(1, 0x01 | 0x10, {{0x101, 4, 2, {2000, 1000}}}, 600));
    const CAacFrameTable table = BuildFragments(movie, 1000);
    ASSERT_EQ(5u, table.Count());
    EXPECT_FALSE(table.Truncated());
    const uint32_t offsets[] = {150, 157, 166, 604, 614};
    const uint32_t sizes[] = {7, 9, 4, 10, 10};
    const uint64_t starts[] = {0, 1024, 2048, 3072, 5072};
    for (uint32_t i = 0; i < 5; ++i) {
        EXPECT_EQ(offsets[i], table.Frame(i).offset) << i;
        EXPECT_EQ(sizes[i], table.Frame(i).size) << i;
        EXPECT_EQ(starts[i], table.Frame(i).start) << i;
    }
    EXPECT_EQ(6072u, table.EndTime());
}

TEST(FrameTableFragmentsHostile, LyingRunsEndTheTable) {
    SmfMovie negative;
    AddFragment(negative, 10, MakeTraf(1, kBaseIsMoof, {{0x201, 0xFFFFFF00u, 1, {4}}}));
    EXPECT_EQ(0u, BuildFragments(negative, 1000).Count());
    EXPECT_TRUE(BuildFragments(negative, 1000).Truncated());

    SmfMovie pastEnd;
    AddFragment(pastEnd, 0, MakeTraf(1, kBaseIsMoof, {{0x201, 900, 3, {50, 50, 50}}}));
    EXPECT_EQ(2u, BuildFragments(pastEnd, 1000).Count());

    // A huge count of default-sized samples: no more than the file holds.
    SmfMovie defaults;
    AddFragment(defaults, 0, MakeTraf(1, kBaseIsMoof, {{0x001, 0, 0xFFFFFFFFu, {}}}));
    const CAacFrameTable bounded = BuildFragments(defaults, 1000);
    EXPECT_EQ(100u, bounded.Count());
    EXPECT_TRUE(bounded.Truncated());

    // ... and none at all when the default size is zero.
    auto zero = MakeTraf(1, kBaseIsMoof, {{0x001, 0, 0xFFFFFFFFu, {}}});
    zero->defaultSampleSize = 0;
    SmfMovie empty;
    AddFragment(empty, 0, std::move(zero));
    EXPECT_EQ(0u, BuildFragments(empty, 1000).Count());

    // A count beyond the listed entries.
    SmfMovie listed;
    AddFragment(listed, 0, MakeTraf(1, kBaseIsMoof, {{0x201, 0, 1000000, {1, 1}}}));
    EXPECT_EQ(2u, BuildFragments(listed, 1000).Count());
    EXPECT_TRUE(BuildFragments(listed, 1000).Truncated());
}

}  // namespace

namespace {

// ---- segments ----

TEST(StreamSegment, RunsFromTheStartFrameToTheFrameHoldingTheStop) {
    Tables t;
    t.sizes = std::vector<uint32_t>(10, 1);
    const CAacFrameTable table = BuildTable(t, 100, 1000);  // frames of 1.024 s
    const int64_t frame = 10240000;

    StreamSegment all = SegmentFor(table, 0, INT64_MAX);
    EXPECT_EQ(0u, all.firstFrame);
    EXPECT_EQ(10u, all.endFrame);
    EXPECT_EQ(table.Duration(), all.stop);

    StreamSegment middle = SegmentFor(table, frame * 2 + 5, frame * 5 + 1);
    EXPECT_EQ(2u, middle.firstFrame);
    EXPECT_EQ(6u, middle.endFrame);  // the stop lies just inside frame 5
    EXPECT_EQ(frame * 2, middle.start);

    StreamSegment onBoundary = SegmentFor(table, frame * 3, frame * 5);
    EXPECT_EQ(3u, onBoundary.firstFrame);
    EXPECT_EQ(5u, onBoundary.endFrame);  // frame 5 starts at the stop: not played

    StreamSegment reversed = SegmentFor(table, frame * 7, frame * 2);
    EXPECT_EQ(reversed.firstFrame, reversed.endFrame);

    StreamSegment pastEnd = SegmentFor(table, table.Duration() + 1, INT64_MAX);
    EXPECT_EQ(10u, pastEnd.firstFrame);
    EXPECT_EQ(10u, pastEnd.endFrame);
    EXPECT_EQ(table.Duration(), pastEnd.start);

    StreamSegment negative = SegmentFor(table, -frame, -1);
    EXPECT_EQ(0u, negative.firstFrame);
    EXPECT_EQ(0u, negative.endFrame);
}

}  // namespace
