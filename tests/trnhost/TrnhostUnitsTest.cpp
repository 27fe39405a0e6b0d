// trnhost's portable parts: the command line, format names, MIME facts,
// durations and the WAV header.
#include <gtest/gtest.h>

#include "Args.h"
#include "Media.h"

using namespace trnhost;

namespace {

bool Parse(std::vector<std::wstring> words, Arguments& args, std::wstring* error = nullptr) {
    std::wstring text;
    const bool ok = ParseArguments(words, args, text);
    if (error) *error = text;
    return ok;
}

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

TEST(Arguments, StreamOptionsInAnyOrder) {
    Arguments a;
    ASSERT_TRUE(
        Parse({L"stream", L"--block=4096", L"in.m4a", L"-o", L"-", L"lpcm44", L"--start-ms", L"1500", L"--wav"}, a));
    EXPECT_EQ(L"stream", a.command);
    EXPECT_EQ((std::vector<std::wstring>{L"in.m4a", L"lpcm44"}), a.operands);
    EXPECT_EQ(L"-", a.output);
    EXPECT_EQ(4096u, a.block);
    EXPECT_EQ(1500, a.startMs);
    EXPECT_EQ(-1, a.startByte);
    EXPECT_TRUE(a.wav);
    std::wstring error;
    EXPECT_TRUE(CheckCommandArguments(a, error)) << error.size();
    // After "--" a leading dash is a file name.
    ASSERT_TRUE(Parse({L"formats", L"--", L"-odd.m4a", L"--json"}, a));
    EXPECT_EQ((std::vector<std::wstring>{L"-odd.m4a", L"--json"}), a.operands);
    EXPECT_FALSE(a.json);
}

TEST(Arguments, RefusesWhatCannotBeMeant) {
    Arguments a;
    std::wstring error;
    EXPECT_FALSE(Parse({L"play", L"x.m4a"}, a, &error));
    EXPECT_NE(std::wstring::npos, error.find(L"unknown command"));
    EXPECT_FALSE(
        Parse({L"stream", L"x.m4a", L"mp4", L"--start-ms", L"5", L"--start-byte", L"5", L"-o", L"y"}, a, &error));
    EXPECT_NE(std::wstring::npos, error.find(L"exclude"));
    for (const wchar_t* bad : {L"-1", L"", L"12x", L"2147483648", L"99999999999999999999"})
        EXPECT_FALSE(Parse({L"stream", L"--start-ms", bad}, a)) << bad[0];
    EXPECT_TRUE(Parse({L"stream", L"--start-ms", L"2147483647"}, a));
    EXPECT_TRUE(Parse({L"stream", L"--start-byte", L"9223372036854775807"}, a));
    // Odd or huge blocks would split samples or exhaust memory.
    for (const wchar_t* bad : {L"0", L"1", L"4095", L"16777218"}) EXPECT_FALSE(Parse({L"stream", L"--block", bad}, a));
    EXPECT_FALSE(Parse({L"stream", L"-o"}, a, &error));
    EXPECT_FALSE(Parse({L"stream", L"--output="}, a));
    EXPECT_FALSE(Parse({L"formats", L"--verbose"}, a));
    for (const wchar_t* bad : {L"0", L"65", L"x"}) EXPECT_FALSE(Parse({L"scan", L"--jobs", bad}, a));
}

TEST(Arguments, EachCommandGetsItsOwnOperandsAndOptions) {
    struct Case {
        std::vector<std::wstring> words;
        bool ok;
    } cases[] = {
        {{L"formats"}, false},
        {{L"formats", L"a.m4a", L"b.m4a", L"--json"}, true},
        {{L"props", L"a.m4a"}, false},
        {{L"props", L"a.m4a", L"mp4", L"--json"}, true},
        {{L"props", L"a.m4a", L"mp4", L"--wav"}, false},
        {{L"scan", L"dir", L"--json"}, true},
        {{L"scan", L"dir", L"other"}, false},
        {{L"scan", L"dir", L"--jobs", L"3"}, true},
        {{L"formats", L"a.m4a", L"--jobs", L"3"}, false},
        {{L"stream", L"a.m4a", L"mp4"}, false},
        {{L"stream", L"a.m4a", L"mp4", L"-o", L"x", L"--json"}, false},
        {{L"formats", L"a.m4a", L"-o", L"x"}, false},
        {{L"register"}, true},
        {{L"unregister", L"a.dll", L"b.dll"}, false},
    };
    for (const Case& c : cases) {
        Arguments a;
        std::wstring error;
        ASSERT_TRUE(Parse(c.words, a));
        EXPECT_EQ(c.ok, CheckCommandArguments(a, error)) << c.words.size() << " " << c.words[0].size();
        EXPECT_EQ(c.ok, error.empty());
    }
    for (const std::wstring& command : CommandNames())
        EXPECT_EQ(0u, UsageText(command).find(L"usage: trnhost " + command));
}

TEST(Formats, ChoicesAndShortNames) {
    FormatChoice c;
    ASSERT_TRUE(ParseFormatChoice(L"lpcm48", c));
    EXPECT_FALSE(c.byIndex);
    EXPECT_EQ(L"lpcm48", c.name);
    ASSERT_TRUE(ParseFormatChoice(L"1", c));
    EXPECT_TRUE(c.byIndex);
    EXPECT_EQ(1u, c.index);
    for (const wchar_t* bad : {L"", L"LPCM44", L"mp3", L"-1", L"1a", L"1234567"})
        EXPECT_FALSE(ParseFormatChoice(bad, c));

    EXPECT_EQ(L"lpcm44", ShortFormatName(L"LPCM", L"audio/L16;rate=44100;channels=2"));
    EXPECT_EQ(L"lpcm48", ShortFormatName(L"LPCM", L"audio/L16; rate=48000; channels=2"));
    EXPECT_EQ(L"", ShortFormatName(L"LPCM", L"audio/L16;rate=22050;channels=2"));
    EXPECT_EQ(L"", ShortFormatName(L"LPCM", L"audio/L24;rate=44100;channels=2"));
    EXPECT_EQ(L"", ShortFormatName(L"lpcm", L"audio/L16;rate=44100;channels=2"));
    EXPECT_EQ(L"mp4", ShortFormatName(L"", L"audio/mp4"));
    EXPECT_EQ(L"3gpp", ShortFormatName(L"", L"audio/3gpp"));
    EXPECT_EQ(L"", ShortFormatName(L"MP4", L"audio/mp4"));
}

TEST(Formats, PcmMimeParameters) {
    PcmFacts f = ParsePcmMime(L"audio/L16;rate=48000;channels=2");
    EXPECT_EQ(48000u, f.rate);
    EXPECT_EQ(2u, f.channels);
    // Only parameter names count, not text inside other parameters.
    f = ParsePcmMime(L"audio/L16;xrate=1;channels=1");
    EXPECT_EQ(0u, f.rate);
    EXPECT_EQ(1u, f.channels);
    f = ParsePcmMime(L"audio/L16;rate=99999999999;channels=");
    EXPECT_EQ(0u, f.rate);
    EXPECT_EQ(0u, f.channels);
}

TEST(Text, ClockAndPcmDurations) {
    EXPECT_EQ("00:00:00.000", ClockText(0));
    EXPECT_EQ("00:03:25.700", ClockText(205700));
    EXPECT_EQ("27:46:40.000", ClockText(100000000));
    EXPECT_EQ("00:00:00.000", ClockText(-5));
    EXPECT_EQ(1000, PcmBytesToMs(176400, 44100, 2));
    EXPECT_EQ(999, PcmBytesToMs(176396, 44100, 2));
    EXPECT_EQ(0, PcmBytesToMs(1000, 0, 2));
    // Beyond 32 bits of bytes: a 4-hour stream.
    EXPECT_EQ(4 * 3600000LL, PcmBytesToMs(4ull * 3600 * 192000, 48000, 2));
}

TEST(Wav, HeaderFields) {
    const std::vector<uint8_t> h = WavHeader(48000, 2, 16, 192000);
    ASSERT_EQ(44u, h.size());
    EXPECT_EQ("RIFF", std::string(h.begin(), h.begin() + 4));
    EXPECT_EQ(36u + 192000u, Le32(h, 4));
    EXPECT_EQ("WAVEfmt ", std::string(h.begin() + 8, h.begin() + 16));
    EXPECT_EQ(16u, Le32(h, 16));
    EXPECT_EQ(1, h[20] | h[21] << 8);
    EXPECT_EQ(2, h[22] | h[23] << 8);
    EXPECT_EQ(48000u, Le32(h, 24));
    EXPECT_EQ(192000u, Le32(h, 28));
    EXPECT_EQ(4, h[32] | h[33] << 8);
    EXPECT_EQ(16, h[34] | h[35] << 8);
    EXPECT_EQ("data", std::string(h.begin() + 36, h.begin() + 40));
    EXPECT_EQ(192000u, Le32(h, 40));
}

TEST(Wav, SizesBeyondRiffAreClampedToWholeFrames) {
    const std::vector<uint8_t> h = WavHeader(44100, 2, 16, 1ull << 33);
    const uint32_t data = Le32(h, 40);
    EXPECT_EQ(0u, data % 4);
    EXPECT_GT(data, 0xFFFFFFFFu - 40);
    EXPECT_EQ(static_cast<uint64_t>(data) + 36, Le32(h, 4));  // no wrap-around
}

TEST(Wav, SwapPairsTurnsBigEndianIntoLittle) {
    uint8_t b[] = {0x12, 0x34, 0xAB, 0xCD, 0x77};
    SwapPairs(b, 5);
    EXPECT_EQ(0x34, b[0]);
    EXPECT_EQ(0x12, b[1]);
    EXPECT_EQ(0xCD, b[2]);
    EXPECT_EQ(0xAB, b[3]);
    EXPECT_EQ(0x77, b[4]);  // a lone last byte stays
}

}  // namespace
