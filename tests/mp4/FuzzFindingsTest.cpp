// Smallest reproducers of what fuzzing and the damage runs found, each kept
// with the promise it broke.
#include "Mp4TestUtil.h"

#include "AacFrameTable.h"
#include "AacTrack.h"

#include <gtest/gtest.h>

namespace {

using namespace boxw;

// A track fragment with an explicit base data offset and default-sized
// samples, optionally with a data offset in its run.
Bytes MoofWithBase(uint64_t base, uint32_t defaultSize, uint32_t samples, int64_t dataOffset = -1) {
    Bytes tfhd =
        FullBox("tfhd", 0, 0x01 | 0x10, Writer().U32(1).U32(uint32_t(base >> 32)).U32(uint32_t(base)).U32(defaultSize));
    Writer run;
    run.U32(samples);
    if (dataOffset >= 0) run.U32(uint32_t(dataOffset));
    Bytes trun = FullBox("trun", 0, dataOffset >= 0 ? 0x001 : 0, run);
    return Box("moof", Cat({FullBox("mfhd", 0, 0, Writer().U32(1)), Box("traf", Cat({tfhd, trun}))}));
}

Bytes FragmentedFile(const Bytes& moof) {
    AudioTrack t;
    return Cat({Ftyp("iso5", 0, {"iso5"}), Moov({Trak(t), Mvex(1)}), moof, Box("mdat", Bytes(64, 0))});
}

CAacTrack OpenTrack(const Bytes& file) {
    MemoryStreamRef stream(file);
    CAacTrack track;
    EXPECT_EQ(S_OK, track.Open(stream.stream, file.size()));
    return track;
}

void ExpectFramesInside(const CAacTrack& track, size_t fileSize) {
    for (uint32_t i = 0; i < track.Frames().Count(); ++i) {
        const AacFrame& frame = track.Frames().Frame(i);
        EXPECT_LE(uint64_t(frame.offset) + frame.size, fileSize) << "frame " << i;
    }
}

// A base offset near 2^64 made "position + size" wrap around, so samples far
// outside the file passed the bounds check and were listed at offsets near
// 4 GB.
TEST(FrameReaderFindings, BaseOffsetNearTheTopOfTheRangeListsNoFrame) {
    const Bytes file = FragmentedFile(MoofWithBase(0xFFFFFFFFFFFFFFF8ull, 16, 2));
    const CAacTrack track = OpenTrack(file);
    ExpectFramesInside(track, file.size());
    EXPECT_TRUE(track.Frames().Truncated());
}

// The same base with a positive run data offset overflowed a signed 64-bit
// sum (undefined behaviour, caught by UBSan).
TEST(FrameReaderFindings, BaseOffsetPlusRunOffsetDoesNotOverflow) {
    for (uint64_t base : {0x7FFFFFFFFFFFFFF0ull, 0xFFFFFFFFFFFFFFF0ull, 0x100000000ull}) {
        const Bytes file = FragmentedFile(MoofWithBase(base, 16, 2, 0x7FFFFFF0));
        const CAacTrack track = OpenTrack(file);
        ExpectFramesInside(track, file.size());
        EXPECT_TRUE(track.Frames().Truncated()) << std::hex << base;
    }
    // A base past the file that a negative run offset brings back is placed.
    const Bytes moof = MoofWithBase(0, 16, 1, 0);
    const size_t mdatPayload = FragmentedFile(moof).size() - 64;
    const Bytes back = FragmentedFile(MoofWithBase(uint64_t(mdatPayload) + 1000, 16, 1, uint32_t(-1000)));
    const CAacTrack placed = OpenTrack(back);
    ASSERT_LT(0u, placed.Frames().Count());
    const AacFrame& last = placed.Frames().Frame(placed.Frames().Count() - 1);
    EXPECT_EQ(mdatPayload, last.offset);
    EXPECT_EQ(16u, last.size);
}

}  // namespace
