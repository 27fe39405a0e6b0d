// The first audio track of an MP4 file as the decoder needs it: the PCM it
// decodes to and where its frames are.
#pragma once

#include "AacFrameDecoder.h"
#include "AacFrameTable.h"
#include "common/AacCodecInfo.h"
#include "mp4/SmfAbsStream.h"

class CAacTrack {
public:
    // Reads the movie through `stream` (`fileSize` bytes long). Fails when
    // there is no audio track or its configuration is not AAC this decoder
    // can describe as PCM; the object is then empty.
    HRESULT Open(ISmfAbsStream* stream, uint64_t fileSize);

    bool IsOpen() const { return m_layout.rate != 0; }
    const AacCodecInfo& Codec() const { return m_codec; }
    const PcmLayout& Layout() const { return m_layout; }
    const CAacFrameTable& Frames() const { return m_frames; }
    // Absolute index of the first output sample of frame `index`.
    uint64_t FirstSampleOf(uint32_t index) const { return uint64_t(index) * m_layout.samplesPerFrame; }

private:
    HRESULT Load(ISmfAbsStream* stream, uint64_t fileSize);

    AacCodecInfo m_codec;
    PcmLayout m_layout;
    CAacFrameTable m_frames;
};
