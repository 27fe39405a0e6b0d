// libFuzzer entry: any byte string must parse or be refused without reading
// past the buffer, and the condensed record must agree with the parse.
#include <cstdlib>

#include "common/Mp4DsiParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pbData, size_t cbData) {
    AudioSpecificConfigInfo info;
    const int nResult = ParseAudioSpecificConfig(pbData, cbData, &info);
    if (nResult != DSI_OK && nResult != DSI_ERR_CHANNEL_CONFIG && nResult != DSI_ERR_PARSE) {
        std::abort();
    }
    AacCodecInfo codecInfo;
    try {
        FillCodecInfo(pbData, cbData, &codecInfo);
        if (nResult != DSI_OK || codecInfo.m_dwSbrMode > 2 || codecInfo.m_dwSbrSignalling > 2) {
            std::abort();
        }
    } catch (HRESULT hr) {
        if (nResult == DSI_OK) {
            std::abort();
        }
        (void)hr;
    }
    return 0;
}
