// The first audio track of the committed samples, against what ffprobe
// recorded for them; and files whose tables lie.
#include <gtest/gtest.h>

#include "AacTrack.h"
#include "BoxWriter.h"
#include "ElstRewrite.h"
#include "common/SmfAbsStreamImpl.h"
#include "MemoryStream.h"

#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct ProbeRecord {
    std::string file;
    uint32_t rate = 0, channels = 0, timescale = 0;
    uint64_t durationTs = 0;
};

std::vector<ProbeRecord> ReadProbeRecords() {
    std::ifstream in(TRN_TESTDATA_DIR "/ffprobe.txt");
    std::vector<ProbeRecord> records;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        ProbeRecord r;
        if (fields >> r.file >> r.rate >> r.channels >> r.timescale >> r.durationTs) records.push_back(r);
    }
    return records;
}

std::vector<uint8_t> ReadFile(const std::string& name) {
    std::ifstream in(std::string(TRN_TESTDATA_DIR "/") + name, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

HRESULT OpenBytes(CAacTrack& track, const std::vector<uint8_t>& bytes, PcmSource source = PcmSource::Decoder) {
    MemoryStreamRef stream(bytes);
    return track.Open(stream.stream, bytes.size(), source);
}

TEST(AacTrack, SamplesMatchTheProbeRecord) {
    const std::vector<ProbeRecord> records = ReadProbeRecords();
    ASSERT_GE(records.size(), 8u);
    for (const ProbeRecord& r : records) {
        SCOPED_TRACE(r.file);
        const std::vector<uint8_t> bytes = ReadFile(r.file);
        CAacTrack track;
        ASSERT_EQ(S_OK, OpenBytes(track, bytes));
        EXPECT_EQ(r.rate, track.Layout().rate);
        EXPECT_EQ(r.channels, track.Layout().channels);
        EXPECT_EQ(1024u, track.Layout().samplesPerFrame);
        const CAacFrameTable& frames = track.Frames();
        EXPECT_EQ((r.durationTs + 1023) / 1024, frames.Count());
        EXPECT_EQ(r.timescale, frames.Timescale());
        EXPECT_EQ(r.durationTs, frames.EndTime());
        EXPECT_FALSE(frames.Truncated());
        // Frames lie in the file in order and each opens with the raw data
        // block's first element: a channel pair for stereo, else a single
        // channel element.
        const uint32_t firstElement = r.channels == 2 ? 1 : 0;
        uint64_t end = 0;
        for (uint32_t i = 0; i < frames.Count(); ++i) {
            const AacFrame& f = frames.Frame(i);
            ASSERT_GE(f.offset, end) << i;
            end = uint64_t(f.offset) + f.size;
            ASSERT_LE(end, bytes.size()) << i;
            ASSERT_GT(f.size, 0u) << i;
            EXPECT_EQ(firstElement, uint32_t(bytes[f.offset] >> 5)) << i;
        }
    }
}

TEST(AacTrack, OpensThroughTheFileStream) {
    struct Releaser {
        void operator()(ISmfAbsStream* s) const { s->Release(); }
    };
    std::unique_ptr<ISmfAbsStream, Releaser> stream(OpenFileStream(L"" TRN_TESTDATA_DIR "/aac-48000-stereo.mp4"));
    CAacTrack track;
    ASSERT_EQ(S_OK, track.Open(stream.get(), stream->StreamSize()));
    EXPECT_EQ(48u, track.Frames().Count());
    EXPECT_EQ(48u * 1024, track.FirstSampleOf(48));
    EXPECT_EQ(10213333, track.Frames().Duration());
}

// ffmpeg writes the SBR sync extension with sbrPresentFlag 0 as the last
// configuration byte; setting the flag turns the file into HE-AAC.
std::vector<uint8_t> WithSbrSignalled(std::vector<uint8_t> bytes) {
    const uint8_t dsiTag[] = {0x05, 0x80, 0x80, 0x80, 0x05};
    auto at = std::search(bytes.begin(), bytes.end(), std::begin(dsiTag), std::end(dsiTag));
    if (at == bytes.end()) return {};
    const size_t flagByte = size_t(at - bytes.begin()) + sizeof dsiTag + 4;
    if (bytes[flagByte - 2] != 0x56 || bytes[flagByte] != 0x00) return {};
    bytes[flagByte] = 0x80;
    return bytes;
}

TEST(AacTrack, SbrDoublesTheRateAndTheFrame) {
    const std::vector<uint8_t> bytes = WithSbrSignalled(ReadFile("aac-22050-mono.mp4"));
    ASSERT_FALSE(bytes.empty());
    CAacTrack track;
    ASSERT_EQ(S_OK, OpenBytes(track, bytes, PcmSource::Tone));
    EXPECT_EQ(1u, track.Codec().m_dwSbrMode);
    EXPECT_EQ(44100u, track.Layout().rate);
    EXPECT_EQ(1u, track.Layout().channels);
    EXPECT_EQ(2048u, track.Layout().samplesPerFrame);
    EXPECT_EQ(34u, track.Frames().Count());
    EXPECT_EQ(22050u, track.Frames().Timescale());
}

TEST(AacTrack, RefusesWhatItCannotDecode) {
    CAacTrack track;
    EXPECT_EQ(E_POINTER, track.Open(nullptr, 0));

    boxw::AudioTrack video;
    video.handler = "vide";
    EXPECT_TRUE(FAILED(OpenBytes(track, boxw::AudioFile(video))));
    EXPECT_FALSE(track.IsOpen());

    boxw::AudioTrack celp;  // object type 8: no GA configuration
    celp.esds = boxw::Esds(boxw::EsDescriptor({0x41, 0x90}));
    EXPECT_EQ(E_INVALIDARG, OpenBytes(track, boxw::AudioFile(celp)));

    boxw::AudioTrack noClock;
    noClock.timescale = 0;
    EXPECT_TRUE(FAILED(OpenBytes(track, boxw::AudioFile(noClock))));
    EXPECT_FALSE(track.IsOpen());
}

TEST(AacTrack, TablesPointingPastTheFileEndTheStream) {
    // Ten 100-byte samples from offset 0 of a file of a few hundred bytes.
    const std::vector<uint8_t> bytes = boxw::AudioFile();
    CAacTrack track;
    ASSERT_EQ(S_OK, OpenBytes(track, bytes));
    EXPECT_EQ(bytes.size() / 100, track.Frames().Count());
    EXPECT_TRUE(track.Frames().Truncated());
    EXPECT_EQ(44100u, track.Layout().rate);
}

}  // namespace

namespace {

TEST(AacTrack, DecoderPlaysTheSbrCoreAtTheCoreRate) {
    const std::vector<uint8_t> bytes = WithSbrSignalled(ReadFile("aac-22050-mono.mp4"));
    ASSERT_FALSE(bytes.empty());
    CAacTrack track;
    ASSERT_EQ(S_OK, OpenBytes(track, bytes));
    EXPECT_EQ(1u, track.Codec().m_dwSbrMode);
    EXPECT_EQ(22050u, track.Layout().rate);
    EXPECT_EQ(1024u, track.Layout().samplesPerFrame);
    EXPECT_EQ(34u, track.Frames().Count());
}

TEST(AacTrack, EditListSetsPrimingAndLength) {
    // ffmpeg's encoder: 1024 priming samples, the edit as long as the source.
    const std::vector<uint8_t> bytes = ReadFile("aac/tone-8000-mono.m4a");
    CAacTrack track;
    ASSERT_EQ(S_OK, OpenBytes(track, bytes));
    EXPECT_TRUE(track.Trimmed());
    EXPECT_EQ(1024u, track.SkipSamples());
    EXPECT_EQ(12000u, track.PresentedSamples());
    // The tone plays every frame whole.
    ASSERT_EQ(S_OK, OpenBytes(track, bytes, PcmSource::Tone));
    EXPECT_FALSE(track.Trimmed());
}

// The library skips a version-1 elst; the stand-in reads it itself, so a
// file whose edit list is version 1 is trimmed as its version-0 twin is.
TEST(AacTrack, Version1EditListTrimsAsItsVersion0Twin) {
    for (const char* name : {"aac/tone-8000-mono.m4a", "aac-44100-stereo.mp4", "aac-22050-heaac.mp4",
                             "aac/heaac-24000-stereo.mp4", "video-and-audio.mp4"}) {
        SCOPED_TRACE(name);
        const std::vector<uint8_t> v0 = ReadFile(name);
        int rewritten = 0;
        const std::vector<uint8_t> v1 = elstv1::ToVersion1(v0, &rewritten);
        ASSERT_GE(rewritten, 1);
        ASSERT_NE(v0.size(), v1.size());
        CAacTrack a, b;
        ASSERT_EQ(S_OK, OpenBytes(a, v0));
        ASSERT_EQ(S_OK, OpenBytes(b, v1));
        EXPECT_EQ(1024u, a.SkipSamples());
        EXPECT_LT(a.PresentedSamples(), uint64_t(a.Frames().Count()) * a.Layout().samplesPerFrame - 1024);
        EXPECT_EQ(a.SkipSamples(), b.SkipSamples());
        EXPECT_EQ(a.PresentedSamples(), b.PresentedSamples());
        EXPECT_EQ(a.Trim().Duration(), b.Trim().Duration());
        EXPECT_EQ(a.Frames().Count(), b.Frames().Count());
        for (uint32_t i = 0; i < a.Frames().Count(); ++i) {
            EXPECT_EQ(a.Frames().Frame(i).offset, b.Frames().Frame(i).offset);
            EXPECT_EQ(a.Frames().Frame(i).size, b.Frames().Frame(i).size);
        }
    }
}

}  // namespace
