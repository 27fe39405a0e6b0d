// AAC codec parameters of one audio track, as the MP4 audio parser reports
// them. The first six fields come from the decoder-specific information, the
// last three from the decoder configuration and the sample description.
#pragma once

#include "base/PortableTypes.h"

struct AacCodecInfo {
    DWORD m_dwSamplingFrequency = 0;  // Hz of the decoded output (doubled with SBR)
    DWORD m_dwChannels = 0;
    DWORD m_dwFrameLength = 0;    // samples per frame, doubled with SBR; 0 without a GA config
    DWORD m_dwObjectType = 0;     // core AAC object type when 1, 2, 3, 4 or 6; otherwise 0
    DWORD m_dwSbrMode = 0;        // 0 none, 1 SBR, 2 SBR with parametric stereo
    DWORD m_dwSbrSignalling = 0;  // 0 none, 1 backward-compatible, 2 explicit
    DWORD m_dwMaxBitRate = 0;     // bits per second
    DWORD m_dwAvgBitRate = 0;     // bits per second
    DWORD m_dwQuantizedBit = 0;   // sample size of the audio sample entry
};
