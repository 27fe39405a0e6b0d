// Damaged copies of the sample files through the work the MP4 audio parser
// does after its header probe: open over a stream, pick the first audio
// track, read its decoder configuration and condense it, the sample
// description, the duration, then the metadata. Every prefix up to the end
// of the movie box and every single-byte corruption of the header boxes must
// end in a status from the library's tables: never a crash, a hang or a read
// outside the data (the sanitizers watch the last two).
#include "Mp4TestUtil.h"
#include "common/Mp4DsiParser.h"
#include "mp4/Mp4PropertyStore.h"
#include "mp4/Mp4PropertyTable.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>

namespace {

using boxw::Bytes;

const char* const kSamples[] = {"aac-16000-tagged.3gp", "aac-44100-stereo.m4a", "aac-44100-fragmented.mp4",
                                "video-and-audio.mp4",  "aac-22050-mono.mp4",   "aac-48000-6ch-mp42.mp4"};

Bytes ReadSample(const char* name) {
    std::ifstream in(std::string(TRN_TESTDATA_DIR) + "/" + name, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool IsLibraryStatus(HRESULT hr) {
    static const std::set<HRESULT> known = [] {
        std::set<HRESULT> s;
        for (int code = 0; code <= 0x5100; ++code) s.insert(Mp4HresultFromSmf(code));
        for (HRESULT h : {S_OK, E_POINTER, E_UNEXPECTED, E_OUTOFMEMORY, E_INVALIDARG, E_FAIL, TRN_E_MP4_READ,
                          TRN_E_MP4_MISSING, TRN_E_MP4_STRUCTURE, TRN_E_MP4_406, TRN_E_MP4_MEMORY, TRN_E_MP4_NO_STREAM,
                          MP4_E_PROPERTY_UNKNOWN, MP4_E_PROPERTY_COPY})
            s.insert(h);
        return s;
    }();
    return known.count(hr) != 0;
}

// Where the step that ended the work stopped, and with which status.
struct Outcome {
    const char* step = "done";
    HRESULT hr = S_OK;
};

#define STEP(name, expr)                                                \
    do {                                                                \
        const HRESULT step_hr_ = (expr);                                \
        if (!IsLibraryStatus(step_hr_)) return Outcome{name, step_hr_}; \
        if (FAILED(step_hr_)) return Outcome{name, step_hr_};           \
    } while (0)

// The parser facade's calls in its order, without the Win32 file handling.
Outcome OpenLikeTheParser(const Bytes& bytes, AacCodecInfo* codecOut = nullptr) {
    CMp4File mp4;
    STEP("Initialize", OpenBytes(mp4, bytes));
    std::vector<uint32_t> audio, video;
    STEP("GetTrackIds", mp4.GetTrackIds(audio, video));
    if (audio.empty()) return Outcome{"no audio", E_INVALIDARG};
    STEP("SetAudioTrackId", mp4.SetAudioTrackId(audio.at(0)));

    AacCodecInfo codec;
    std::vector<uint8_t> dsi;
    uint32_t maxBitRate = 0, avgBitRate = 0;  // DWORD is not uint32_t on every target
    STEP("GetDecoderSpecificInformation", mp4.GetDecoderSpecificInformation(dsi, &maxBitRate, &avgBitRate, nullptr));
    codec.m_dwMaxBitRate = maxBitRate;
    codec.m_dwAvgBitRate = avgBitRate;
    if (dsi.empty()) return Outcome{"empty configuration", E_INVALIDARG};
    try {
        FillCodecInfo(dsi.data(), dsi.size(), &codec);
    } catch (HRESULT hr) {
        return Outcome{"FillCodecInfo", hr == E_INVALIDARG || hr == E_POINTER ? hr : HRESULT(0x7FFFFFFF)};
    }
    uint32_t bits = 0, rate = 0, channels = 0;
    STEP("GetAudioSampleDescription", mp4.GetAudioSampleDescription(&bits, &rate, &channels));
    codec.m_dwQuantizedBit = bits;
    uint32_t duration = 0, timescale = 0;
    STEP("GetMediaDuration", mp4.GetMediaDuration(&duration));
    STEP("GetMediaTimescale", mp4.GetMediaTimescale(&timescale));

    size_t rows = 0;
    const Mp4PropertyRow* table = Mp4PropertyRows(&rows);
    for (size_t i = 0; i < rows; ++i) {
        if (table[i].dwKind != MP4_KIND_BINARY) continue;
        std::vector<std::wstring> descriptions;
        std::vector<std::vector<BYTE>> items;
        STEP("GetBinaryProperty", mp4.GetBinaryProperty(table[i].dwPropertyId, descriptions, items));
    }
    const std::string json = Mp4PropertiesToJson(mp4.Properties());
    if (json.empty() || json.front() != '[') return Outcome{"properties", E_FAIL};
    if (codecOut) *codecOut = codec;
    return Outcome{};
}

struct TopBox {
    size_t offset, size;
    uint32_t type;
};

std::vector<TopBox> TopLevelBoxes(const Bytes& file) {
    std::vector<TopBox> boxes;
    for (size_t pos = 0; file.size() - pos >= 8;) {
        const uint32_t size =
            uint32_t(file[pos]) << 24 | uint32_t(file[pos + 1]) << 16 | uint32_t(file[pos + 2]) << 8 | file[pos + 3];
        if (size < 8 || size > file.size() - pos) break;
        const uint32_t type = uint32_t(file[pos + 4]) << 24 | uint32_t(file[pos + 5]) << 16 |
                              uint32_t(file[pos + 6]) << 8 | file[pos + 7];
        boxes.push_back({pos, size, type});
        pos += size;
    }
    return boxes;
}

// Tally of outcomes by step and status, for the message of a failure and the
// printed counts.
struct Tally {
    size_t cases = 0, opened = 0;
    std::map<std::string, size_t> byStep;
    void Add(const Outcome& o) {
        ++cases;
        if (std::string(o.step) == "done") ++opened;
        char key[96];
        std::snprintf(key, sizeof key, "%s %08lx", o.step, static_cast<unsigned long>(uint32_t(o.hr)));
        ++byStep[key];
    }
};

::testing::AssertionResult IsTableStatus(const Outcome& o, const char* what, size_t at) {
    if (std::string(o.step) == "done" || IsLibraryStatus(o.hr)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << what << " at byte " << at << ": step " << o.step << " gave 0x" << std::hex
                                         << uint32_t(o.hr);
}

class Damage : public ::testing::TestWithParam<const char*> {};

TEST_P(Damage, EveryPrefixUpToTheEndOfMoov) {
    const Bytes file = ReadSample(GetParam());
    ASSERT_FALSE(file.empty()) << GetParam();
    AacCodecInfo codec;
    const Outcome whole = OpenLikeTheParser(file, &codec);
    ASSERT_STREQ("done", whole.step) << std::hex << uint32_t(whole.hr);
    EXPECT_NE(0u, codec.m_dwSamplingFrequency);

    size_t moovEnd = 0;
    for (const TopBox& box : TopLevelBoxes(file))
        if (box.type == boxw::FourCC("moov")) moovEnd = box.offset + box.size;
    ASSERT_NE(0u, moovEnd);

    Tally tally;
    for (size_t length = 0; length <= moovEnd; ++length) {
        const Bytes prefix(file.begin(), file.begin() + length);
        const Outcome o = OpenLikeTheParser(prefix);
        tally.Add(o);
        ASSERT_TRUE(IsTableStatus(o, "prefix", length));
    }
    std::printf("%s: %zu prefixes (0 to %zu bytes), %zu opened through to the metadata\n", GetParam(), tally.cases,
                moovEnd, tally.opened);
    RecordProperty("prefixes", int(tally.cases));
}

TEST_P(Damage, EverySingleByteCorruptionOfTheHeaderBoxes) {
    const Bytes file = ReadSample(GetParam());
    ASSERT_FALSE(file.empty()) << GetParam();
    Tally tally;
    size_t headerBytes = 0;
    for (const TopBox& box : TopLevelBoxes(file)) {
        // Everything but the media data: ftyp, moov with all it holds, and
        // the fragment headers of a fragmented file.
        if (box.type == boxw::FourCC("mdat")) continue;
        headerBytes += box.size;
        Bytes damaged = file;
        for (size_t at = box.offset; at < box.offset + box.size; ++at) {
            const uint8_t original = file[at];
            for (uint8_t value : {uint8_t(0x00), uint8_t(0xFF), uint8_t(original ^ 0x80)}) {
                if (value == original) continue;
                damaged[at] = value;
                const Outcome o = OpenLikeTheParser(damaged);
                tally.Add(o);
                ASSERT_TRUE(IsTableStatus(o, "corruption", at)) << " value " << int(value);
            }
            damaged[at] = original;
        }
    }
    std::printf("%s: %zu corruptions over %zu header bytes, %zu still opened through to the metadata\n", GetParam(),
                tally.cases, headerBytes, tally.opened);
    for (const auto& entry : tally.byStep) std::printf("  %-48s %zu\n", entry.first.c_str(), entry.second);
    RecordProperty("corruptions", int(tally.cases));
}

INSTANTIATE_TEST_SUITE_P(Samples, Damage, ::testing::ValuesIn(kSamples), [](const auto& info) {
    std::string name = info.param;
    for (char& c : name)
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
});

}  // namespace
