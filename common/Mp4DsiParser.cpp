#include "common/Mp4DsiParser.h"

#include <iterator>

#include "common/DsiBitReader.h"
#include "base/TraceHook.h"

namespace {

const wchar_t kSourceFile[] = L"..\\..\\..\\common\\Mp4DsiParser";
const int kLevelError = 1;

// Audio object types this parser treats specially.
const int32_t AOT_AAC_LC = 2;
const int32_t AOT_SBR = 5;
const int32_t AOT_PS = 29;
const uint32_t kObjectTypeEscape = 31;

const uint32_t kSyncExtensionSbr = 0x2B7;
const uint32_t kSyncExtensionPs = 0x548;

const uint32_t kExplicitFrequencyIndex = 15;

// Indexed by samplingFrequencyIndex; 15 is handled before the lookup.
// clang-format off
const uint32_t kSamplingFrequencies[] = {
    96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050,
    16000, 12000, 11025, 8000,  7350,
    DSI_SAMPLING_FREQUENCY_RESERVED, DSI_SAMPLING_FREQUENCY_RESERVED,
};
// clang-format on

// Indexed by channelConfiguration; 0 defers to the program config element.
const int32_t kChannelCounts[] = {0, 1, 2, 3, 4, 5, 6, 8};

// GetAudioObjectType()
int32_t ReadObjectType(DsiBitReader& reader) {
    uint32_t dwType = reader.Read(5);  // audioObjectType
    if (dwType == kObjectTypeEscape) {
        // Without the extension the rest of the header would be read misaligned.
        dwType = 32 + reader.Read(6);  // audioObjectTypeExt
    }
    return int32_t(dwType);
}

void ReadSamplingFrequency(DsiBitReader& reader, int32_t* pnIndex, uint32_t* pdwFrequency) {
    const uint32_t dwIndex = reader.Read(4);  // samplingFrequencyIndex
    *pnIndex = int32_t(dwIndex);
    if (dwIndex == kExplicitFrequencyIndex) {
        *pdwFrequency = reader.Read(24);  // samplingFrequency
    } else if (dwIndex < std::size(kSamplingFrequencies)) {
        *pdwFrequency = kSamplingFrequencies[dwIndex];
    } else {
        *pdwFrequency = DSI_SAMPLING_FREQUENCY_RESERVED;
    }
}

// Front, side or back elements: returns the channels they carry.
int32_t ReadChannelElements(DsiBitReader& reader, uint32_t cElements) {
    int32_t nChannels = 0;
    for (uint32_t i = 0; i < cElements; ++i) {
        const bool fIsCpe = reader.Read(1) != 0;  // *_element_is_cpe
        reader.Read(4);                           // *_element_tag_select
        nChannels += fIsCpe ? 2 : 1;
    }
    return nChannels;
}

void SkipTags(DsiBitReader& reader, uint32_t cTags, unsigned nBitsEach) {
    for (uint32_t i = 0; i < cTags; ++i) {
        reader.Read(nBitsEach);
    }
}

// program_config_element(): returns the channel count it describes.
int32_t ReadProgramConfigElement(DsiBitReader& reader) {
    reader.Read(4);                              // element_instance_tag
    reader.Read(2);                              // object_type
    reader.Read(4);                              // sampling_frequency_index
    const uint32_t cFront = reader.Read(4);      // num_front_channel_elements
    const uint32_t cSide = reader.Read(4);       // num_side_channel_elements
    const uint32_t cBack = reader.Read(4);       // num_back_channel_elements
    const uint32_t cLfe = reader.Read(2);        // num_lfe_channel_elements
    const uint32_t cAssocData = reader.Read(3);  // num_assoc_data_elements
    const uint32_t cValidCc = reader.Read(4);    // num_valid_cc_elements
    if (reader.Read(1) != 0) {                   // mono_mixdown_present
        reader.Read(4);                          // mono_mixdown_element_number
    }
    if (reader.Read(1) != 0) {  // stereo_mixdown_present
        reader.Read(4);         // stereo_mixdown_element_number
    }
    if (reader.Read(1) != 0) {  // matrix_mixdown_idx_present
        reader.Read(2);         // matrix_mixdown_idx
        reader.Read(1);         // pseudo_surround_enable
    }
    int32_t nChannels = ReadChannelElements(reader, cFront);
    nChannels += ReadChannelElements(reader, cSide);
    nChannels += ReadChannelElements(reader, cBack);
    SkipTags(reader, cLfe, 4);  // lfe_element_tag_select
    nChannels += int32_t(cLfe);
    SkipTags(reader, cAssocData, 4);            // assoc_data_element_tag_select
    SkipTags(reader, cValidCc, 1 + 4);          // cc_element_is_ind_sw, valid_cc_element_tag_select
    reader.AlignToByte();                       // byte_alignment()
    const uint32_t cbComment = reader.Read(8);  // comment_field_bytes
    SkipTags(reader, cbComment, 8);             // comment_field_data
    return nChannels;
}

// GASpecificConfig(), as far as the fields used here.
void ReadGaSpecificConfig(DsiBitReader& reader, AudioSpecificConfigInfo* pInfo) {
    pInfo->m_nFrameLengthFlag = int32_t(reader.Read(1));     // frameLengthFlag
    pInfo->m_nDependsOnCoreCoder = int32_t(reader.Read(1));  // dependsOnCoreCoder
    if (pInfo->m_nDependsOnCoreCoder != 0) {
        pInfo->m_nCoreCoderDelay = int32_t(reader.Read(14));  // coreCoderDelay
    }
    pInfo->m_nExtensionFlag = int32_t(reader.Read(1));  // extensionFlag
    if (pInfo->m_nChannelConfiguration == 0) {
        pInfo->m_nChannels = ReadProgramConfigElement(reader);
    }
    if (pInfo->m_nExtensionFlag != 0) {
        pInfo->m_nExtensionFlag3 = int32_t(reader.Read(1));  // extensionFlag3
    }
}

// Backward-compatible SBR/PS signalling after the core configuration.
void ReadSyncExtension(DsiBitReader& reader, AudioSpecificConfigInfo* pInfo) {
    if (pInfo->m_nExtensionObjectType == AOT_SBR || reader.BitsLeft() < 16) {
        return;
    }
    if (reader.Read(11) != kSyncExtensionSbr) {  // syncExtensionType
        return;
    }
    pInfo->m_nExtensionObjectType = ReadObjectType(reader);  // extensionAudioObjectType
    if (pInfo->m_nExtensionObjectType != AOT_SBR) {
        return;
    }
    pInfo->m_nSbrPresent = int32_t(reader.Read(1));  // sbrPresentFlag
    if (pInfo->m_nSbrPresent != 1) {
        return;
    }
    ReadSamplingFrequency(reader, &pInfo->m_nExtensionSamplingFrequencyIndex, &pInfo->m_dwExtensionSamplingFrequency);
    if (reader.BitsLeft() >= 12 && reader.Read(11) == kSyncExtensionPs) {  // syncExtensionType
        pInfo->m_nPsPresent = int32_t(reader.Read(1));                     // psPresentFlag
    }
}

// AudioSpecificConfig(); a short read throws from the bit reader.
int ReadAudioSpecificConfig(DsiBitReader& reader, AudioSpecificConfigInfo* pInfo) {
    pInfo->m_nObjectType = ReadObjectType(reader);
    ReadSamplingFrequency(reader, &pInfo->m_nSamplingFrequencyIndex, &pInfo->m_dwSamplingFrequency);
    const uint32_t dwChannelConfiguration = reader.Read(4);  // channelConfiguration
    pInfo->m_nChannelConfiguration = int32_t(dwChannelConfiguration);
    if (dwChannelConfiguration >= std::size(kChannelCounts)) {
        TrnTrace(kLevelError, L"[ERR] mp4file channel config invalid.", kSourceFile, __LINE__);
        return DSI_ERR_CHANNEL_CONFIG;
    }
    pInfo->m_nChannels = kChannelCounts[dwChannelConfiguration];

    switch (pInfo->m_nObjectType) {
        case AOT_AAC_LC:
            pInfo->m_nExtensionObjectType = 0;
            break;
        case AOT_SBR:
        case AOT_PS:
            pInfo->m_nExtensionObjectType = AOT_SBR;
            pInfo->m_nSbrPresent = 1;
            if (pInfo->m_nObjectType == AOT_PS) {
                pInfo->m_nPsPresent = 1;
            }
            ReadSamplingFrequency(reader, &pInfo->m_nExtensionSamplingFrequencyIndex,
                                  &pInfo->m_dwExtensionSamplingFrequency);
            pInfo->m_nObjectType = ReadObjectType(reader);  // the core coder's type
            break;
        default:
            // No GA configuration is read for other object types.
            return DSI_OK;
    }

    ReadGaSpecificConfig(reader, pInfo);
    ReadSyncExtension(reader, pInfo);
    pInfo->m_nFrameLength = pInfo->m_nFrameLengthFlag != 0 ? 960 : 1024;
    return DSI_OK;
}

// Object types the codec record keeps; everything else is stored as 0.
bool IsReportedObjectType(int32_t nObjectType) {
    switch (nObjectType) {
        case 1:
        case 2:
        case 3:
        case 4:
        case 6:
            return true;
        default:
            return false;
    }
}

// SBR doubles the core rate; the reserved-index marker stays a marker.
DWORD DoubleSamplingFrequency(uint32_t dwFrequency) {
    return dwFrequency == DSI_SAMPLING_FREQUENCY_RESERVED ? dwFrequency : DWORD(dwFrequency) * 2;
}

}  // namespace

uint32_t DsiSamplingFrequency(uint32_t dwIndex) noexcept {
    return dwIndex < DSI_SAMPLING_FREQUENCY_INDICES ? kSamplingFrequencies[dwIndex] : 0;
}

int ParseAudioSpecificConfig(const BYTE* pbDsi, size_t cbDsi, AudioSpecificConfigInfo* pInfo) {
    if (pInfo == nullptr) {
        return DSI_ERR_PARSE;
    }
    *pInfo = AudioSpecificConfigInfo();
    if (pbDsi == nullptr) {
        return DSI_ERR_PARSE;
    }
    DsiBitReader reader(pbDsi, cbDsi);
    try {
        return ReadAudioSpecificConfig(reader, pInfo);
    } catch (HRESULT) {
        return DSI_ERR_PARSE;
    }
}

void FillCodecInfo(const BYTE* pbDsi, size_t cbDsi, AacCodecInfo* pCodecInfo) {
    if (pbDsi == nullptr || cbDsi == 0 || pCodecInfo == nullptr) {
        throw static_cast<HRESULT>(E_POINTER);
    }
    AudioSpecificConfigInfo asc;
    if (ParseAudioSpecificConfig(pbDsi, cbDsi, &asc) != DSI_OK) {
        throw static_cast<HRESULT>(E_INVALIDARG);
    }

    DWORD dwSamplingFrequency = asc.m_dwSamplingFrequency;  // the core rate
    DWORD dwFrameLength = DWORD(asc.m_nFrameLength);
    DWORD dwObjectType = 0;
    DWORD dwSbrMode = 0;
    DWORD dwSbrSignalling = 0;
    if (IsReportedObjectType(asc.m_nObjectType)) {
        dwObjectType = DWORD(asc.m_nObjectType);
        if (asc.m_nSbrPresent == 1) {
            // An SBR or PS object type in the first byte means the header came first.
            const int32_t nFirstObjectType = pbDsi[0] >> 3;
            const bool fExplicit = nFirstObjectType == AOT_SBR || nFirstObjectType == AOT_PS;
            dwSbrSignalling = fExplicit ? 2 : 1;
            // Parametric stereo counts only when signalled explicitly.
            dwSbrMode = (fExplicit && asc.m_nPsPresent == 1) ? 2 : 1;
            dwSamplingFrequency = DoubleSamplingFrequency(dwSamplingFrequency);
            dwFrameLength *= 2;
        }
    }

    pCodecInfo->m_dwSamplingFrequency = dwSamplingFrequency;
    pCodecInfo->m_dwChannels = DWORD(asc.m_nChannels);
    pCodecInfo->m_dwFrameLength = dwFrameLength;
    pCodecInfo->m_dwObjectType = dwObjectType;
    pCodecInfo->m_dwSbrMode = dwSbrMode;
    pCodecInfo->m_dwSbrSignalling = dwSbrSignalling;
}
