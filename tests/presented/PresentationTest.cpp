// The presented-length arithmetic: table rows for the edit, exact 64-bit
// scaling, and the output-rate count against the wave fitter's resampler.
#include <gtest/gtest.h>

#include "Presentation.h"
#include "standins/wavefitter/Resampler.h"

#include <cstdint>
#include <vector>

namespace {

using presented::EditEntry;
using presented::Present;
using presented::Presentation;

constexpr int64_t kEmpty = -1;

struct Row {
    const char* name;
    std::vector<EditEntry> entries;
    uint64_t decoded;
    uint32_t rate, movieTimescale, mediaTimescale;
    uint64_t skip, presented;
    bool edited;
};

// clang-format off
const Row kRows[] = {
    // ffmpeg's AAC encoder: 1024 priming samples, the edit as long as the source.
    {"v0 44.1 kHz 2 s", {{2000, 1024, 0x10000}}, 88 * 1024, 44100, 1000, 44100, 1024, 88200, true},
    {"v1 the same values", {{2000, 1024, 0x10000}}, 88 * 1024, 44100, 1000, 44100, 1024, 88200, true},
    {"48 kHz 1 s", {{1000, 1024, 0x10000}}, 48 * 1024, 48000, 1000, 48000, 1024, 48000, true},
    {"8 kHz 1.5 s", {{1500, 1024, 0x10000}}, 13 * 1024, 8000, 1000, 8000, 1024, 12000, true},
    // HE-AAC: the edit in the SBR clock, the decode at the 22.05 kHz core.
    {"HE-AAC 22.05 kHz core, 44.1 kHz media clock", {{1500, 2048, 0x10000}}, 34 * 1024, 22050, 1000, 44100, 1024, 33075, true},
    {"HE-AAC 22.05 kHz core, core media clock", {{1500, 1024, 0x10000}}, 34 * 1024, 22050, 1000, 22050, 1024, 33075, true},
    {"HE-AAC 24 kHz core, 48 kHz movie clock", {{72000, 1024, 0x10000}}, 37 * 1024, 24000, 48000, 24000, 1024, 36000, true},
    // Leading empty edits insert no delay; the first non-empty one decides.
    {"empty edit first", {{500, kEmpty, 0x10000}, {2000, 1024, 0x10000}}, 88 * 1024, 44100, 1000, 44100, 1024, 88200, true},
    {"only empty edits", {{500, kEmpty, 0x10000}}, 10 * 1024, 44100, 1000, 44100, 0, 10 * 1024, false},
    {"later edits ignored", {{1000, 0, 0x10000}, {1000, 5000, 0x10000}}, 88 * 1024, 44100, 1000, 44100, 0, 44100, true},
    {"no entries", {}, 10 * 1024, 44100, 1000, 44100, 0, 10 * 1024, false},
    // segment_duration 0: to the end of the media.
    {"segment_duration 0", {{0, 1024, 0x10000}}, 88 * 1024, 44100, 1000, 44100, 1024, 87 * 1024, true},
    {"movie timescale 0", {{2000, 1024, 0x10000}}, 88 * 1024, 44100, 0, 44100, 1024, 87 * 1024, true},
    // Bounds.
    {"skip larger than decoded", {{2000, 1000000, 0x10000}}, 10 * 1024, 44100, 1000, 44100, 10 * 1024, 0, true},
    {"skip equal to decoded", {{0, 10 * 1024, 0x10000}}, 10 * 1024, 44100, 1000, 44100, 10 * 1024, 0, true},
    {"segment longer than the media", {{60000, 1024, 0x10000}}, 10 * 1024, 44100, 1000, 44100, 1024, 9 * 1024, true},
    {"nothing decoded", {{2000, 1024, 0x10000}}, 0, 44100, 1000, 44100, 0, 0, true},
    // Rounding: the skip down, the segment up (as the stand-in always did).
    {"skip rounds down", {{0, 1, 0x10000}}, 1024, 44100, 1000, 48000, 0, 1024, true},
    {"segment rounds up", {{1, 0, 0x10000}}, 1024, 44100, 1000, 44100, 0, 45, true},
    {"segment exact", {{10, 0, 0x10000}}, 1024, 44100, 1000, 44100, 0, 441, true},
    // 64-bit version-1 values saturate instead of wrapping.
    {"v1 huge segment", {{uint64_t(1) << 62, 1024, 0x10000}}, 88 * 1024, 44100, 1000, 44100, 1024, 87 * 1024, true},
    {"v1 huge media_time", {{2000, int64_t(1) << 62, 0x10000}}, 88 * 1024, 44100, 1000, 44100, 88 * 1024, 0, true},
    {"v1 media_time past 32 bits", {{0, int64_t(1) << 33, 0x10000}}, uint64_t(1) << 40, 48000, 1000, 48000, uint64_t(1) << 33, (uint64_t(1) << 40) - (uint64_t(1) << 33), true},
    // Clocks that cannot convert: every decoded sample.
    {"decode rate 0", {{2000, 1024, 0x10000}}, 1024, 0, 1000, 44100, 0, 1024, false},
    {"media timescale 0", {{2000, 1024, 0x10000}}, 1024, 44100, 1000, 0, 0, 1024, false},
    // A negative media time other than -1 (refused by the reader) counts as empty.
    {"media_time -2", {{2000, -2, 0x10000}}, 1024, 44100, 1000, 44100, 0, 1024, false},
};
// clang-format on

TEST(Presentation, Rows) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        const Presentation p = Present(row.entries, row.decoded, row.rate, row.movieTimescale, row.mediaTimescale);
        EXPECT_EQ(row.skip, p.skip);
        EXPECT_EQ(row.presented, p.presented);
        EXPECT_EQ(row.edited, p.edited);
        EXPECT_LE(p.skip + p.presented, row.decoded);
    }
}

TEST(Presentation, ScalingIsExactAndSaturates) {
    using presented::ScaleDown;
    using presented::ScaleUp;
    EXPECT_EQ(0u, ScaleDown(5, 1, 0));
    EXPECT_EQ(0u, ScaleUp(5, 1, 0));
    EXPECT_EQ(2u, ScaleDown(5, 1, 2));
    EXPECT_EQ(3u, ScaleUp(5, 1, 2));
    EXPECT_EQ(UINT64_MAX, ScaleDown(UINT64_MAX, 192000, 1));
    EXPECT_EQ(UINT64_MAX, ScaleUp(UINT64_MAX, 2, 1));
    EXPECT_EQ(UINT64_MAX, ScaleDown(UINT64_MAX, 7, 7));
    EXPECT_EQ(UINT64_MAX / 2 + 1, ScaleUp(UINT64_MAX, 1, 2));
    // (2^63 + 1) * 3 / 4 does not fit 64 bits on the way, only at the end.
    const uint64_t big = (uint64_t(1) << 63) + 1;
    EXPECT_EQ(big / 4 * 3 + (big % 4) * 3 / 4, ScaleDown(big, 3, 4));
    EXPECT_EQ(ScaleDown(big, 3, 4) + 1, ScaleUp(big, 3, 4));
    EXPECT_EQ(uint64_t(0xFFFFFFFFu) * 0xFFFFFFFEu / 0xFFFFFFFFu, ScaleDown(0xFFFFFFFFu, 0xFFFFFFFEu, 0xFFFFFFFFu));
}

// The count OutputFrames promises is what the wave fitter's resampler delivers
// for that many input frames, start to end of stream.
TEST(Presentation, OutputFramesMatchTheResampler) {
    const uint32_t pairs[][2] = {{44100, 44100}, {48000, 48000}, {22050, 44100}, {44100, 48000}, {48000, 44100},
                                 {32000, 48000}, {8000, 44100},  {24000, 48000}, {96000, 48000}, {16000, 44100},
                                 {22050, 48000}, {11025, 44100}, {96000, 44100}};
    const uint64_t counts[] = {0, 1, 2, 147, 1023, 1024, 4095, 12000, 33075};
    for (const auto& pair : pairs) {
        for (uint64_t frames : counts) {
            SCOPED_TRACE(testing::Message() << pair[0] << " -> " << pair[1] << ", " << frames << " frames");
            CResampler resampler(pair[0], pair[1], 1);
            std::vector<int16_t> in(1024, 1000), out;
            for (uint64_t done = 0; done < frames;) {
                const size_t n = size_t(std::min<uint64_t>(in.size(), frames - done));
                resampler.Process(in.data(), n, out);
                done += n;
            }
            resampler.Flush(out);
            EXPECT_EQ(presented::OutputFrames(frames, pair[0], pair[1]), out.size());
        }
    }
    EXPECT_EQ(0u, presented::OutputFrames(100, 0, 44100));
    EXPECT_EQ(0u, presented::OutputFrames(100, 44100, 0));
    EXPECT_EQ(88200u, presented::OutputFrames(44100, 22050, 44100));
    EXPECT_EQ(48000u, presented::OutputFrames(44100, 44100, 48000));
    EXPECT_EQ(30625u, presented::OutputFrames(33333, 48000, 44100));  // 30624.7 up
    EXPECT_EQ(48000u * 4, presented::L16Bytes(48000));
    EXPECT_EQ(48000u * 2, presented::L16Bytes(48000, 1));
}

}  // namespace
