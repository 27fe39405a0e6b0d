// ParseAudioSpecificConfig and FillCodecInfo over any bytes: a result from
// the parser's own list, a condensed record that agrees with the parse, and
// no read outside the buffer.
#include "FuzzSupport.h"

#include "common/Mp4DsiParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    AudioSpecificConfigInfo info;
    const int result = ParseAudioSpecificConfig(data, size, &info);
    FUZZ_REQUIRE(result == DSI_OK || result == DSI_ERR_CHANNEL_CONFIG || result == DSI_ERR_PARSE);
    if (result == DSI_OK) {
        FUZZ_REQUIRE(info.m_nFrameLength == 0 || info.m_nFrameLength == 960 || info.m_nFrameLength == 1024);
        FUZZ_REQUIRE(info.m_nChannels >= -1);
        FUZZ_REQUIRE(info.m_nSbrPresent >= -1 && info.m_nSbrPresent <= 1);
        FUZZ_REQUIRE(info.m_nPsPresent >= -1 && info.m_nPsPresent <= 1);
    }

    AacCodecInfo codec;
    codec.m_dwMaxBitRate = 1;
    codec.m_dwAvgBitRate = 2;
    codec.m_dwQuantizedBit = 3;
    try {
        FillCodecInfo(data, size, &codec);
        FUZZ_REQUIRE(result == DSI_OK);
        FUZZ_REQUIRE(codec.m_dwSbrMode <= 2 && codec.m_dwSbrSignalling <= 2);
        FUZZ_REQUIRE((codec.m_dwSbrMode == 0) == (codec.m_dwSbrSignalling == 0));
        const DWORD type = codec.m_dwObjectType;
        FUZZ_REQUIRE(type == 0 || type == 1 || type == 2 || type == 3 || type == 4 || type == 6);
        // The bitrates and the sample size are not the parser's to touch.
        FUZZ_REQUIRE(codec.m_dwMaxBitRate == 1 && codec.m_dwAvgBitRate == 2 && codec.m_dwQuantizedBit == 3);
    } catch (HRESULT hr) {
        FUZZ_REQUIRE(result != DSI_OK || size == 0);
        FUZZ_REQUIRE(hr == E_INVALIDARG || hr == E_POINTER);
        // A failed fill leaves the record alone.
        FUZZ_REQUIRE(codec.m_dwSamplingFrequency == 0 && codec.m_dwMaxBitRate == 1);
    }
    return 0;
}
