#include "common/Mp4DsiParser.h"

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "base/TraceHook.h"

namespace {

typedef std::vector<BYTE> Bytes;

// Builds configurations field by field, most significant bit first.
class BitWriter {
public:
    BitWriter& Put(uint32_t dwValue, unsigned nBits) {
        for (unsigned i = nBits; i-- > 0;) {
            if (m_cBits % 8 == 0) {
                m_bytes.push_back(0);
            }
            if ((dwValue >> i) & 1u) {
                m_bytes.back() |= BYTE(0x80u >> (m_cBits % 8));
            }
            ++m_cBits;
        }
        return *this;
    }
    Bytes Get() const { return m_bytes; }

private:
    Bytes m_bytes;
    size_t m_cBits = 0;
};

std::vector<std::pair<int, std::wstring>> g_entries;

void CapturingSink(int nLevel, const wchar_t* pszText) { g_entries.emplace_back(nLevel, pszText); }

class Mp4DsiParserTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_entries.clear();
        m_pfnPrevious = TrnSetTraceSink(&CapturingSink);
    }
    void TearDown() override { TrnSetTraceSink(m_pfnPrevious); }

    static AudioSpecificConfigInfo Parse(const Bytes& dsi, int nExpected = DSI_OK) {
        AudioSpecificConfigInfo info;
        EXPECT_EQ(nExpected, ParseAudioSpecificConfig(dsi.data(), dsi.size(), &info));
        return info;
    }

    static AacCodecInfo Condense(const Bytes& dsi) {
        AacCodecInfo codecInfo;
        FillCodecInfo(dsi.data(), dsi.size(), &codecInfo);
        return codecInfo;
    }

    static HRESULT FillStatus(const BYTE* pbDsi, size_t cbDsi, AacCodecInfo* pCodecInfo) {
        try {
            FillCodecInfo(pbDsi, cbDsi, pCodecInfo);
        } catch (HRESULT hr) {
            return hr;
        }
        return S_OK;
    }

    TrnTraceSink m_pfnPrevious = nullptr;
};

TEST_F(Mp4DsiParserTest, AacLcStereo44100) {
    const Bytes dsi = {0x12, 0x10};
    const AudioSpecificConfigInfo info = Parse(dsi);
    EXPECT_EQ(2, info.m_nObjectType);
    EXPECT_EQ(4, info.m_nSamplingFrequencyIndex);
    EXPECT_EQ(44100u, info.m_dwSamplingFrequency);
    EXPECT_EQ(2, info.m_nChannelConfiguration);
    EXPECT_EQ(2, info.m_nChannels);
    EXPECT_EQ(1024, info.m_nFrameLength);
    EXPECT_EQ(-1, info.m_nSbrPresent);
    EXPECT_EQ(-1, info.m_nPsPresent);
    EXPECT_EQ(0, info.m_nExtensionObjectType);

    const AacCodecInfo codec = Condense(dsi);
    EXPECT_EQ(44100u, codec.m_dwSamplingFrequency);
    EXPECT_EQ(2u, codec.m_dwChannels);
    EXPECT_EQ(1024u, codec.m_dwFrameLength);
    EXPECT_EQ(2u, codec.m_dwObjectType);
    EXPECT_EQ(0u, codec.m_dwSbrMode);
    EXPECT_EQ(0u, codec.m_dwSbrSignalling);
    EXPECT_TRUE(g_entries.empty());
}

TEST_F(Mp4DsiParserTest, BackwardCompatibleSbrDoublesTheCoreRate) {
    const Bytes dsi = {0x13, 0x10, 0x56, 0xE5, 0x98};
    const AudioSpecificConfigInfo info = Parse(dsi);
    EXPECT_EQ(2, info.m_nObjectType);
    EXPECT_EQ(24000u, info.m_dwSamplingFrequency);
    EXPECT_EQ(1, info.m_nSbrPresent);
    EXPECT_EQ(-1, info.m_nPsPresent);
    EXPECT_EQ(5, info.m_nExtensionObjectType);
    EXPECT_EQ(3, info.m_nExtensionSamplingFrequencyIndex);
    EXPECT_EQ(48000u, info.m_dwExtensionSamplingFrequency);

    const AacCodecInfo codec = Condense(dsi);
    EXPECT_EQ(48000u, codec.m_dwSamplingFrequency);
    EXPECT_EQ(2048u, codec.m_dwFrameLength);
    EXPECT_EQ(2u, codec.m_dwObjectType);
    EXPECT_EQ(1u, codec.m_dwSbrMode);
    EXPECT_EQ(1u, codec.m_dwSbrSignalling);
}

TEST_F(Mp4DsiParserTest, ExplicitSbrStoresTheCoreObjectType) {
    const Bytes dsi = {0x2B, 0x11, 0x88, 0x00};
    const AudioSpecificConfigInfo info = Parse(dsi);
    EXPECT_EQ(2, info.m_nObjectType);
    EXPECT_EQ(24000u, info.m_dwSamplingFrequency);
    EXPECT_EQ(1, info.m_nSbrPresent);
    EXPECT_EQ(48000u, info.m_dwExtensionSamplingFrequency);

    const AacCodecInfo codec = Condense(dsi);
    EXPECT_EQ(48000u, codec.m_dwSamplingFrequency);
    EXPECT_EQ(2u, codec.m_dwChannels);
    EXPECT_EQ(2048u, codec.m_dwFrameLength);
    EXPECT_EQ(2u, codec.m_dwObjectType);
    EXPECT_EQ(1u, codec.m_dwSbrMode);
    EXPECT_EQ(2u, codec.m_dwSbrSignalling);
}

TEST_F(Mp4DsiParserTest, ParametricStereoCountsOnlyWhenExplicit) {
    // Object type 29 first, 24000 Hz mono, extension index 3, AAC LC core.
    const Bytes explicitPs = BitWriter().Put(29, 5).Put(6, 4).Put(1, 4).Put(3, 4).Put(2, 5).Put(0, 3).Get();
    const AudioSpecificConfigInfo info = Parse(explicitPs);
    EXPECT_EQ(1, info.m_nPsPresent);
    const AacCodecInfo codecExplicit = Condense(explicitPs);
    EXPECT_EQ(2u, codecExplicit.m_dwSbrMode);
    EXPECT_EQ(2u, codecExplicit.m_dwSbrSignalling);
    EXPECT_EQ(2u, codecExplicit.m_dwObjectType);
    EXPECT_EQ(48000u, codecExplicit.m_dwSamplingFrequency);

    // AAC LC 24000 Hz mono followed by SBR and PS sync extensions.
    const Bytes compatiblePs = BitWriter()
                                   .Put(2, 5)
                                   .Put(6, 4)
                                   .Put(1, 4)
                                   .Put(0, 3)
                                   .Put(0x2B7, 11)
                                   .Put(5, 5)
                                   .Put(1, 1)
                                   .Put(3, 4)
                                   .Put(0x548, 11)
                                   .Put(1, 1)
                                   .Get();
    EXPECT_EQ(1, Parse(compatiblePs).m_nPsPresent);
    const AacCodecInfo codecCompatible = Condense(compatiblePs);
    EXPECT_EQ(1u, codecCompatible.m_dwSbrMode);
    EXPECT_EQ(1u, codecCompatible.m_dwSbrSignalling);
}

TEST_F(Mp4DsiParserTest, SyncExtensionOnlyWhenSignalledAndRoomLeft) {
    // sbrPresentFlag coded as 0: no SBR, nothing doubled.
    const Bytes sbrOff = BitWriter().Put(2, 5).Put(6, 4).Put(2, 4).Put(0, 3).Put(0x2B7, 11).Put(5, 5).Put(0, 1).Get();
    EXPECT_EQ(0, Parse(sbrOff).m_nSbrPresent);
    EXPECT_EQ(24000u, Condense(sbrOff).m_dwSamplingFrequency);
    EXPECT_EQ(0u, Condense(sbrOff).m_dwSbrMode);

    // Another sync word is not an extension.
    const Bytes otherSync = BitWriter().Put(0x1210, 16).Put(0x2B6, 11).Put(5, 5).Put(0xFF, 8).Get();
    EXPECT_EQ(-1, Parse(otherSync).m_nSbrPresent);

    // Fewer than 16 bits after the core configuration are left alone.
    const Bytes shortTail = {0x12, 0x10, 0x56};
    EXPECT_EQ(-1, Parse(shortTail).m_nSbrPresent);
}

TEST_F(Mp4DsiParserTest, ChannelConfigurationsMapToCounts) {
    const int32_t expected[] = {0, 1, 2, 3, 4, 5, 6, 8};
    for (uint32_t dwConfig = 1; dwConfig < 8; ++dwConfig) {
        const Bytes dsi = BitWriter().Put(2, 5).Put(4, 4).Put(dwConfig, 4).Put(0, 3).Get();
        EXPECT_EQ(expected[dwConfig], Parse(dsi).m_nChannels) << "configuration " << dwConfig;
        EXPECT_EQ(DWORD(expected[dwConfig]), Condense(dsi).m_dwChannels);
    }
    EXPECT_TRUE(g_entries.empty());
}

TEST_F(Mp4DsiParserTest, InvalidChannelConfigurationIsRefusedWithOneEntry) {
    const std::wstring strPrefix = L"[ERR] mp4file channel config invalid. {..\\..\\..\\common\\Mp4DsiParser,";
    for (uint32_t dwConfig = 8; dwConfig < 16; ++dwConfig) {
        g_entries.clear();
        // The GA bits after the configuration must not be needed.
        const Bytes dsi = BitWriter().Put(2, 5).Put(4, 4).Put(dwConfig, 4).Get();
        Parse(dsi, DSI_ERR_CHANNEL_CONFIG);
        ASSERT_EQ(1u, g_entries.size());
        EXPECT_EQ(1, g_entries[0].first);
        const std::wstring& strEntry = g_entries[0].second;
        ASSERT_GT(strEntry.size(), strPrefix.size() + 1);
        EXPECT_EQ(strPrefix, strEntry.substr(0, strPrefix.size()));
        EXPECT_EQ(L'}', strEntry.back());
        const std::wstring strLine = strEntry.substr(strPrefix.size(), strEntry.size() - strPrefix.size() - 1);
        EXPECT_EQ(std::wstring::npos, strLine.find_first_not_of(L"0123456789")) << "line " << strLine.size();

        AacCodecInfo codec;
        EXPECT_EQ(E_INVALIDARG, FillStatus(dsi.data(), dsi.size(), &codec));
    }

    // Without a sink the result is the same.
    TrnSetTraceSink(nullptr);
    const Bytes dsi = {0x12, 0x40};
    Parse(dsi, DSI_ERR_CHANNEL_CONFIG);
}

TEST_F(Mp4DsiParserTest, SamplingFrequencyTableReservedAndExplicit) {
    const uint32_t expected[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                 22050, 16000, 12000, 11025, 8000,  7350};
    for (uint32_t dwIndex = 0; dwIndex < 13; ++dwIndex) {
        const Bytes dsi = BitWriter().Put(2, 5).Put(dwIndex, 4).Put(2, 4).Put(0, 3).Get();
        EXPECT_EQ(expected[dwIndex], Parse(dsi).m_dwSamplingFrequency) << "index " << dwIndex;
    }
    for (uint32_t dwIndex = 13; dwIndex < 15; ++dwIndex) {
        const Bytes dsi = BitWriter().Put(2, 5).Put(dwIndex, 4).Put(2, 4).Put(0, 3).Get();
        EXPECT_EQ(0xFFFFFFFFu, Parse(dsi).m_dwSamplingFrequency);
        EXPECT_EQ(0xFFFFFFFFu, Condense(dsi).m_dwSamplingFrequency);
    }

    const Bytes explicitRate = BitWriter().Put(2, 5).Put(15, 4).Put(37800, 24).Put(2, 4).Put(0, 3).Get();
    const AudioSpecificConfigInfo info = Parse(explicitRate);
    EXPECT_EQ(15, info.m_nSamplingFrequencyIndex);
    EXPECT_EQ(37800u, info.m_dwSamplingFrequency);
    EXPECT_EQ(2, info.m_nChannels);  // the configuration follows the 24 bits

    // Explicit SBR with a reserved core index: the marker is not doubled.
    const Bytes sbrReserved =
        BitWriter().Put(5, 5).Put(13, 4).Put(2, 4).Put(15, 4).Put(44100, 24).Put(2, 5).Put(0, 3).Get();
    EXPECT_EQ(44100u, Parse(sbrReserved).m_dwExtensionSamplingFrequency);
    EXPECT_EQ(0xFFFFFFFFu, Condense(sbrReserved).m_dwSamplingFrequency);
}

TEST_F(Mp4DsiParserTest, ObjectTypesWithoutGaConfigStopAfterTheChannels) {
    const Bytes aacMain = {0x0A, 0x10};
    const AudioSpecificConfigInfo info = Parse(aacMain);
    EXPECT_EQ(1, info.m_nObjectType);
    EXPECT_EQ(44100u, info.m_dwSamplingFrequency);
    EXPECT_EQ(2, info.m_nChannels);
    EXPECT_EQ(0, info.m_nFrameLength);
    EXPECT_EQ(-1, info.m_nSbrPresent);
    const AacCodecInfo codecMain = Condense(aacMain);
    EXPECT_EQ(1u, codecMain.m_dwObjectType);
    EXPECT_EQ(0u, codecMain.m_dwFrameLength);

    // Object type 7 is not kept in the record, the rest is.
    const AacCodecInfo codecOther = Condense(BitWriter().Put(7, 5).Put(3, 4).Put(1, 4).Get());
    EXPECT_EQ(0u, codecOther.m_dwObjectType);
    EXPECT_EQ(48000u, codecOther.m_dwSamplingFrequency);
    EXPECT_EQ(1u, codecOther.m_dwChannels);
}

TEST_F(Mp4DsiParserTest, EscapedObjectTypeKeepsTheFieldsAligned) {
    // audioObjectType 31 + 3 = 34, then 48000 Hz stereo.
    const Bytes dsi = BitWriter().Put(31, 5).Put(2, 6).Put(3, 4).Put(2, 4).Get();
    const AudioSpecificConfigInfo info = Parse(dsi);
    EXPECT_EQ(34, info.m_nObjectType);
    EXPECT_EQ(48000u, info.m_dwSamplingFrequency);
    EXPECT_EQ(2, info.m_nChannels);
    EXPECT_EQ(0u, Condense(dsi).m_dwObjectType);
    EXPECT_TRUE(g_entries.empty());
}

TEST_F(Mp4DsiParserTest, GaFlagsFrameLengthAndCoreCoderDelay) {
    // frameLengthFlag 1, dependsOnCoreCoder 1 with delay 0x2ABC, extensionFlag 1, extensionFlag3 1.
    const Bytes dsi =
        BitWriter().Put(2, 5).Put(3, 4).Put(1, 4).Put(1, 1).Put(1, 1).Put(0x2ABC, 14).Put(1, 1).Put(1, 1).Get();
    const AudioSpecificConfigInfo info = Parse(dsi);
    EXPECT_EQ(1, info.m_nFrameLengthFlag);
    EXPECT_EQ(960, info.m_nFrameLength);
    EXPECT_EQ(1, info.m_nDependsOnCoreCoder);
    EXPECT_EQ(0x2ABC, info.m_nCoreCoderDelay);
    EXPECT_EQ(1, info.m_nExtensionFlag);
    EXPECT_EQ(1, info.m_nExtensionFlag3);

    // With explicit SBR the 960-sample frame doubles as well.
    const Bytes sbr = BitWriter().Put(5, 5).Put(6, 4).Put(2, 4).Put(3, 4).Put(2, 5).Put(1, 1).Put(0, 2).Get();
    EXPECT_EQ(1920u, Condense(sbr).m_dwFrameLength);
}

// Channel configuration 0 with a program config element: front CPE + SCE,
// back CPE, one LFE (6 channels), mixdowns, a 3-byte comment, then an SBR
// sync extension that is only found if every PCE bit was accounted for.
Bytes ConfigWithPce(uint32_t cbCommentCoded, size_t cbCommentPresent) {
    BitWriter writer;
    writer.Put(2, 5).Put(6, 4).Put(0, 4);            // AAC LC, 24000 Hz, configuration 0
    writer.Put(0, 1).Put(0, 1).Put(1, 1);            // frameLength, dependsOnCoreCoder, extensionFlag
    writer.Put(1, 4).Put(1, 2).Put(6, 4);            // tag, object type, frequency index
    writer.Put(2, 4).Put(0, 4).Put(1, 4);            // front, side, back
    writer.Put(1, 2).Put(1, 3).Put(1, 4);            // LFE, assoc data, CC
    writer.Put(1, 1).Put(3, 4);                      // mono mixdown
    writer.Put(1, 1).Put(4, 4);                      // stereo mixdown
    writer.Put(1, 1).Put(2, 2).Put(1, 1);            // matrix mixdown
    writer.Put(1, 1).Put(0, 4).Put(0, 1).Put(1, 4);  // front CPE, front SCE
    writer.Put(1, 1).Put(2, 4);                      // back CPE
    writer.Put(5, 4).Put(6, 4).Put(1, 1).Put(7, 4);  // LFE, assoc data, CC tags
    writer.Put(0, 7);                                // to the byte boundary (bit 96)
    writer.Put(cbCommentCoded, 8);
    for (size_t i = 0; i < cbCommentPresent; ++i) {
        writer.Put(0xFF, 8);
    }
    writer.Put(1, 1);  // extensionFlag3
    writer.Put(0x2B7, 11).Put(5, 5).Put(1, 1).Put(3, 4);
    return writer.Get();
}

TEST_F(Mp4DsiParserTest, ProgramConfigElementGivesTheChannelCount) {
    const Bytes dsi = ConfigWithPce(3, 3);
    const AudioSpecificConfigInfo info = Parse(dsi);
    EXPECT_EQ(0, info.m_nChannelConfiguration);
    EXPECT_EQ(6, info.m_nChannels);
    EXPECT_EQ(1, info.m_nExtensionFlag3);
    EXPECT_EQ(1, info.m_nSbrPresent);
    EXPECT_EQ(48000u, info.m_dwExtensionSamplingFrequency);
    EXPECT_EQ(6u, Condense(dsi).m_dwChannels);
}

TEST_F(Mp4DsiParserTest, CommentLongerThanTheBufferIsRefused) {
    const Bytes dsi = ConfigWithPce(200, 3);
    Parse(dsi, DSI_ERR_PARSE);
    AacCodecInfo codec;
    EXPECT_EQ(E_INVALIDARG, FillStatus(dsi.data(), dsi.size(), &codec));
}

TEST_F(Mp4DsiParserTest, MissingOrShortInputIsRefused) {
    AudioSpecificConfigInfo info;
    const BYTE lone[] = {0x12};
    EXPECT_EQ(DSI_ERR_PARSE, ParseAudioSpecificConfig(lone, sizeof(lone), &info));
    EXPECT_EQ(DSI_ERR_PARSE, ParseAudioSpecificConfig(lone, 0, &info));
    EXPECT_EQ(DSI_ERR_PARSE, ParseAudioSpecificConfig(nullptr, 2, &info));
    EXPECT_EQ(DSI_ERR_PARSE, ParseAudioSpecificConfig(lone, sizeof(lone), nullptr));
    // A sync extension cut after its type is refused, not half read.
    const BYTE cutExtension[] = {0x12, 0x10, 0x56, 0xE5};
    EXPECT_EQ(DSI_ERR_PARSE, ParseAudioSpecificConfig(cutExtension, sizeof(cutExtension), &info));

    AacCodecInfo codec;
    codec.m_dwMaxBitRate = 1;
    EXPECT_EQ(E_INVALIDARG, FillStatus(lone, sizeof(lone), &codec));
    EXPECT_EQ(E_POINTER, FillStatus(lone, 0, &codec));
    EXPECT_EQ(E_POINTER, FillStatus(nullptr, 2, &codec));
    EXPECT_EQ(E_POINTER, FillStatus(lone, sizeof(lone), nullptr));
    EXPECT_EQ(1u, codec.m_dwMaxBitRate);
    EXPECT_EQ(0u, codec.m_dwSamplingFrequency);
}

TEST_F(Mp4DsiParserTest, FillLeavesBitratesAndSampleSizeAlone) {
    AacCodecInfo codec;
    codec.m_dwMaxBitRate = 320000;
    codec.m_dwAvgBitRate = 128000;
    codec.m_dwQuantizedBit = 16;
    const BYTE dsi[] = {0x12, 0x10};
    FillCodecInfo(dsi, sizeof(dsi), &codec);
    EXPECT_EQ(44100u, codec.m_dwSamplingFrequency);
    EXPECT_EQ(320000u, codec.m_dwMaxBitRate);
    EXPECT_EQ(128000u, codec.m_dwAvgBitRate);
    EXPECT_EQ(16u, codec.m_dwQuantizedBit);
}

// Every truncation of the configurations above is refused or parsed without
// reading outside its own heap copy (the sanitizer build checks the bounds).
TEST_F(Mp4DsiParserTest, EveryPrefixStaysInsideItsBuffer) {
    const std::vector<Bytes> samples = {{0x13, 0x10, 0x56, 0xE5, 0x98},
                                        {0x2B, 0x11, 0x88, 0x00},
                                        ConfigWithPce(3, 3),
                                        BitWriter().Put(2, 5).Put(15, 4).Put(37800, 24).Put(2, 4).Put(0, 3).Get()};
    for (const Bytes& sample : samples) {
        for (size_t cb = 1; cb < sample.size(); ++cb) {
            const Bytes prefix(sample.begin(), sample.begin() + cb);
            AudioSpecificConfigInfo info;
            const int nResult = ParseAudioSpecificConfig(prefix.data(), prefix.size(), &info);
            EXPECT_TRUE(nResult == DSI_OK || nResult == DSI_ERR_PARSE) << cb;
        }
    }
}

TEST_F(Mp4DsiParserTest, EveryTwoByteInputGivesAKnownResult) {
    for (uint32_t dwValue = 0; dwValue < 0x10000; ++dwValue) {
        const Bytes dsi = {BYTE(dwValue >> 8), BYTE(dwValue)};
        AudioSpecificConfigInfo info;
        const int nResult = ParseAudioSpecificConfig(dsi.data(), dsi.size(), &info);
        ASSERT_TRUE(nResult == DSI_OK || nResult == DSI_ERR_CHANNEL_CONFIG || nResult == DSI_ERR_PARSE) << dwValue;
        if (nResult == DSI_OK) {
            ASSERT_GE(info.m_nChannels, 0) << dwValue;
        }
    }
}

}  // namespace

// Every other unit takes its rates from this table, so each index counts.
TEST(DsiSamplingFrequencyTest, NamesTheThirteenRatesAndNothingElse) {
    const uint32_t kExpected[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                  22050, 16000, 12000, 11025, 8000,  7350};
    for (uint32_t i = 0; i < DSI_SAMPLING_FREQUENCY_INDICES; ++i) EXPECT_EQ(kExpected[i], DsiSamplingFrequency(i)) << i;
    for (uint32_t i : {13u, 14u, 15u, 16u, 0xFFFFFFFFu}) EXPECT_EQ(0u, DsiSamplingFrequency(i)) << i;
}
