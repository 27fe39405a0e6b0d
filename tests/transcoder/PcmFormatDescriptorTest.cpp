#include "transcoder/PcmFormatDescriptor.h"

#include <gtest/gtest.h>

#include "base/PortableTypes.h"

namespace {

struct Expected {
    int32_t nSampleRate;
    int32_t nChannels;
    int32_t nBitsPerSample;
};

void ExpectFormat(const wchar_t* pszMimeType, Expected expected) {
    const CPcmFormatDescriptor descriptor(pszMimeType);
    EXPECT_EQ(expected.nSampleRate, descriptor.GetSampleRate()) << pszMimeType;
    EXPECT_EQ(expected.nChannels, descriptor.GetChannels()) << pszMimeType;
    EXPECT_EQ(expected.nBitsPerSample, descriptor.GetBitsPerSample()) << pszMimeType;
}

HRESULT StatusOf(const wchar_t* pszMimeType) {
    try {
        CPcmFormatDescriptor descriptor(pszMimeType);
    } catch (HRESULT hr) {
        return hr;
    }
    return S_OK;
}

TEST(PcmFormatDescriptorTest, TheOfferedFormats) {
    ExpectFormat(L"audio/L16;rate=44100;channels=2", {44100, 2, 16});
    ExpectFormat(L"audio/L16;rate=48000;channels=2", {48000, 2, 16});
    ExpectFormat(L"audio/L24;rate=96000;channels=6", {96000, 6, 24});
}

TEST(PcmFormatDescriptorTest, MissingParametersTakeTheDefaults) {
    ExpectFormat(L"audio/L16", {44100, 1, 16});
    ExpectFormat(L"audio/L16;", {44100, 1, 16});
    ExpectFormat(L"audio/L24;channels=2", {44100, 2, 24});
    ExpectFormat(L"audio/L16;bitrate=1411200;rate=32000", {32000, 1, 16});
}

TEST(PcmFormatDescriptorTest, TypeIgnoresCaseButKeysDoNot) {
    ExpectFormat(L"AUDIO/l16;channels=2", {44100, 2, 16});
    ExpectFormat(L"audio/L16;Rate=48000;CHANNELS=2", {44100, 1, 16});
    // A blank after the separator becomes part of the key.
    ExpectFormat(L"audio/L16; rate=48000;channels=2", {44100, 2, 16});
}

TEST(PcmFormatDescriptorTest, FirstOccurrenceOfAKeyCounts) {
    ExpectFormat(L"audio/L16;rate=48000;rate=32000;channels=2", {48000, 2, 16});
    ExpectFormat(L"audio/L16;channels=2;rate=22050;channels=6", {22050, 2, 16});
    ExpectFormat(L"audio/L16;rate;rate=48000", {0, 1, 16});
}

TEST(PcmFormatDescriptorTest, SeparatorRunsAreSkipped) {
    ExpectFormat(L"audio/L16;;rate=48000;;;channels=2;", {48000, 2, 16});
    ExpectFormat(L"audio/L16;rate==32000;=channels=2", {32000, 2, 16});
    ExpectFormat(L"audio/L16;=;==;rate=8000=9", {8000, 1, 16});
}

TEST(PcmFormatDescriptorTest, NumbersReadLikeWtol) {
    ExpectFormat(L"audio/L16;rate;channels=2", {0, 2, 16});
    ExpectFormat(L"audio/L16;rate=;channels=x2", {0, 0, 16});
    ExpectFormat(L"audio/L16;rate= \t44100Hz;channels=2 ", {44100, 2, 16});
    ExpectFormat(L"audio/L16;rate=+32000;channels=-2", {32000, -2, 16});
    ExpectFormat(L"audio/L16;rate=99999999999;channels=-99999999999", {2147483647, -2147483647 - 1, 16});
    ExpectFormat(L"audio/L16;rate=0000000000000000048000", {48000, 1, 16});
}

TEST(PcmFormatDescriptorTest, OnlyTheFirstNineCharactersNameTheType) {
    ExpectFormat(L"audio/L16x;channels=2", {44100, 2, 16});
    ExpectFormat(L"audio/l24", {44100, 1, 24});
}

TEST(PcmFormatDescriptorTest, AnythingButLinearPcmIsRefused) {
    EXPECT_EQ(E_INVALIDARG, StatusOf(L"audio/mp4"));
    EXPECT_EQ(E_INVALIDARG, StatusOf(L"audio/3gpp"));
    EXPECT_EQ(E_INVALIDARG, StatusOf(L""));
    EXPECT_EQ(E_INVALIDARG, StatusOf(nullptr));
    EXPECT_EQ(E_INVALIDARG, StatusOf(L"audio/L1"));
    EXPECT_EQ(E_INVALIDARG, StatusOf(L"audio/L8;rate=8000"));
    EXPECT_EQ(E_INVALIDARG, StatusOf(L" audio/L16"));
    EXPECT_EQ(E_INVALIDARG, StatusOf(L";;;"));
}

}  // namespace
