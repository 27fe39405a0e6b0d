// The presented length of every sample file, against ffprobe's duration of
// the track with its edit list applied (ffmpeg 5.1, converted to the decode
// rate: HE-AAC plays its core); version-1 twins measure the same.
#include <gtest/gtest.h>

#include "AudioItem.h"
#include "ElstRewrite.h"
#include "MemoryStream.h"

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

namespace {

using presented::EditStatus;
using presented::ItemLength;

std::vector<uint8_t> ReadFile(const std::string& name) {
    std::ifstream in(std::string(TRN_TESTDATA_DIR "/") + name, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

HRESULT Measure(const std::vector<uint8_t>& bytes, ItemLength* out) {
    MemoryStreamRef stream(bytes);
    return presented::MeasureItem(stream.stream, bytes.size(), out);
}

struct Expected {
    const char* file;
    uint32_t rate, channels, frames;
    uint64_t skip, presented;  // presented: ffprobe's duration_ts at the decode rate
};

// clang-format off
const Expected kSamples[] = {
    {"aac-16000-mono.3gp", 16000, 1, 17, 1024, 16000},
    {"aac-16000-tagged.3gp", 16000, 1, 17, 1024, 16000},
    {"aac-22050-heaac.mp4", 22050, 1, 34, 1024, 33075},  // ffprobe: 44100 Hz with SBR, 33075 at 1/22050
    {"aac-22050-mono-long.m4a", 22050, 1, 863, 1024, 882000},
    {"aac-22050-mono.m4b", 22050, 1, 66, 1024, 66150},
    {"aac-22050-mono.mp4", 22050, 1, 34, 1024, 33075},
    {"aac-32000-mp42.mp4", 32000, 2, 33, 1024, 32000},
    {"aac-44100-stereo.m4a", 44100, 2, 45, 1024, 44100},
    {"aac-44100-stereo.mp4", 44100, 2, 88, 1024, 88200},
    {"aac-48000-6ch-mp42.mp4", 48000, 6, 48, 1024, 48000},
    {"aac-48000-6ch.mp4", 48000, 6, 48, 1024, 48000},
    {"aac-48000-mp42.mp4", 48000, 2, 48, 1024, 48000},
    {"aac-48000-stereo.mp4", 48000, 2, 48, 1024, 48000},
    {"aac-96000-mp42.mp4", 96000, 2, 95, 1024, 96000},
    {"aac-96000-stereo.mp4", 96000, 2, 95, 1024, 96000},
    {"video-and-audio.mp4", 44100, 1, 45, 1024, 44100},
    {"aac/attack-48000-stereo.m4a", 48000, 2, 72, 1024, 72000},
    {"aac/bursts-32000-stereo.m4a", 32000, 2, 48, 1024, 48000},
    {"aac/clicks-16000-mono.m4a", 16000, 1, 25, 1024, 24000},
    {"aac/heaac-24000-stereo.mp4", 24000, 2, 37, 1024, 36000},  // ffprobe: 48000 Hz with SBR, 36000 at 1/24000
    {"aac/intensity-44100-stereo.m4a", 44100, 2, 66, 1024, 66150},
    {"aac/music-44100-stereo.m4a", 44100, 2, 88, 1024, 88200},
    {"aac/noise-44100-stereo.m4a", 44100, 2, 66, 1024, 66150},
    {"aac/tone-8000-mono.m4a", 8000, 1, 13, 1024, 12000},
    {"aac/tones-22050-stereo.m4a", 22050, 2, 34, 1024, 33075},
    // No edit list: every decoded sample, whole frames (ffprobe's 89224 sums
    // the track run durations; the stand-in plays the last frame whole).
    {"aac-44100-fragmented.mp4", 44100, 2, 88, 0, 88 * 1024},
};
// clang-format on

TEST(AudioItem, SamplesMatchFfprobe) {
    for (const Expected& e : kSamples) {
        SCOPED_TRACE(e.file);
        const std::vector<uint8_t> bytes = ReadFile(e.file);
        ASSERT_FALSE(bytes.empty());
        ItemLength item;
        ASSERT_EQ(S_OK, Measure(bytes, &item));
        EXPECT_EQ(e.rate, item.rate);
        EXPECT_EQ(e.channels, item.channels);
        EXPECT_EQ(1024u, item.samplesPerFrame);
        EXPECT_EQ(e.frames, item.frameCount);
        EXPECT_EQ(uint64_t(e.frames) * 1024, item.decoded);
        EXPECT_EQ(e.skip, item.skip);
        EXPECT_EQ(e.presented, item.presented);
        EXPECT_FALSE(item.truncated);
        EXPECT_EQ(e.skip ? EditStatus::Found : EditStatus::Absent, item.editStatus);

        int rewritten = 0;
        const std::vector<uint8_t> twin = elstv1::ToVersion1(bytes, &rewritten);
        EXPECT_EQ(e.skip ? 1 : 0, rewritten > 0 ? 1 : 0);
        ItemLength v1;
        ASSERT_EQ(S_OK, Measure(twin, &v1));
        EXPECT_EQ(item.frameCount, v1.frameCount);
        EXPECT_EQ(item.skip, v1.skip);
        EXPECT_EQ(item.presented, v1.presented);
    }
}

TEST(AudioItem, RefusesWhatTheStandInRefuses) {
    ItemLength item;
    EXPECT_TRUE(FAILED(Measure(ReadFile("aac-44100-truncated.m4a"), &item)));  // no moov
    EXPECT_EQ(0u, item.presented);
    EXPECT_EQ(E_POINTER, presented::MeasureItem(nullptr, 0, &item));
    MemoryStreamRef stream(ReadFile("aac-48000-stereo.mp4"));
    EXPECT_EQ(E_POINTER, presented::MeasureItem(stream.stream, 10, nullptr));
}

// An edit list the reader refuses (and the library skips) counts as none:
// the figures stay defined and the status says why.
TEST(AudioItem, ADamagedEditListPresentsEverything) {
    std::vector<uint8_t> bytes = ReadFile("aac-48000-stereo.mp4");
    const uint8_t elst[] = {'e', 'l', 's', 't'};
    auto at = std::search(bytes.begin(), bytes.end(), std::begin(elst), std::end(elst));
    ASSERT_NE(bytes.end(), at);
    at[4] = 2;  // version 2
    ItemLength item;
    ASSERT_EQ(S_OK, Measure(bytes, &item));
    EXPECT_EQ(EditStatus::BadVersion, item.editStatus);
    EXPECT_EQ(0u, item.skip);
    EXPECT_EQ(item.decoded, item.presented);
}

}  // namespace
