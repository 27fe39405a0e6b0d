// Parser of the AAC decoder-specific information (AudioSpecificConfig) found
// in an MP4 audio track's decoder configuration.
#pragma once

#include "common/AacCodecInfo.h"
#include "base/PortableTypes.h"

// Results of ParseAudioSpecificConfig.
enum : int {
    DSI_OK = 0,
    DSI_ERR_CHANNEL_CONFIG = -95,  // channelConfiguration 8 to 15
    DSI_ERR_PARSE = -100,          // missing buffer or record, or the bits ran out
};

// Sampling frequency given for the reserved frequency indices.
const uint32_t DSI_SAMPLING_FREQUENCY_RESERVED = 0xFFFFFFFFu;

// Number of samplingFrequencyIndex values that name a rate (0..12).
const uint32_t DSI_SAMPLING_FREQUENCY_INDICES = 13;

// Hz of samplingFrequencyIndex 0..12; 0 for any other index (the reserved
// ones and the explicit 15 included). The one copy of the table.
uint32_t DsiSamplingFrequency(uint32_t dwIndex) noexcept;

// Everything one parse learns. Cleared before each parse; -1 marks a flag or
// count that the configuration never coded.
struct AudioSpecificConfigInfo {
    int32_t m_nObjectType = 0;  // after an explicit SBR/PS header: the core type
    int32_t m_nSamplingFrequencyIndex = 0;
    uint32_t m_dwSamplingFrequency = 0;
    int32_t m_nChannelConfiguration = 0;
    int32_t m_nFrameLength = 0;  // 1024 or 960; 0 for object types without a GA config
    int32_t m_nSbrPresent = -1;
    int32_t m_nPsPresent = -1;
    int32_t m_nExtensionObjectType = 0;
    int32_t m_nExtensionSamplingFrequencyIndex = 0;
    uint32_t m_dwExtensionSamplingFrequency = 0;
    int32_t m_nChannels = -1;
    int32_t m_nFrameLengthFlag = 0;
    int32_t m_nDependsOnCoreCoder = 0;
    int32_t m_nCoreCoderDelay = 0;
    int32_t m_nExtensionFlag = 0;
    int32_t m_nExtensionFlag3 = 0;
};

// Parses cbDsi bytes into *pInfo. Returns DSI_OK or one of the DSI_ERR_*
// codes; an invalid channel configuration also writes one error trace entry.
int ParseAudioSpecificConfig(const BYTE* pbDsi, size_t cbDsi, AudioSpecificConfigInfo* pInfo);

// Parses cbDsi bytes and condenses them into the first six fields of
// *pCodecInfo (the bitrates and sample size are left alone). Throws the status
// E_POINTER for a missing buffer, an empty one or a missing record, and
// E_INVALIDARG when the parse fails; *pCodecInfo is then unchanged.
void FillCodecInfo(const BYTE* pbDsi, size_t cbDsi, AacCodecInfo* pCodecInfo);
