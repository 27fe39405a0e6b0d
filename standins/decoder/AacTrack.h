// The first audio track of an MP4 file as the decoder needs it: the PCM it
// decodes to and where its frames are.
#pragma once

#include "AacFrameDecoder.h"
#include "AacFrameTable.h"
#include "StreamSegment.h"
#include "common/AacCodecInfo.h"
#include "common/Mp4DsiParser.h"
#include "mp4/SmfAbsStream.h"

// Where the PCM comes from: the AAC-LC decoder, or the steady test tone
// (which keeps the configuration's rate and frame length, SBR doubling
// included, and plays every frame whole).
enum class PcmSource { Decoder, Tone };

class CAacTrack {
public:
    // Reads the movie through `stream` (`fileSize` bytes long). Fails when
    // there is no audio track or its configuration is not AAC this decoder
    // can describe as PCM; the object is then empty.
    // With the decoder, HE-AAC plays its AAC-LC core at the core rate and
    // the edit list's priming and end trimming apply (versions 0 and 1). The
    // reading is presented::ReadAudioTrack (tools/presented), the one the
    // tools measure an item's length with.
    HRESULT Open(ISmfAbsStream* stream, uint64_t fileSize, PcmSource source = PcmSource::Decoder);

    bool IsOpen() const { return m_layout.rate != 0; }
    const AacCodecInfo& Codec() const { return m_codec; }
    const PcmLayout& Layout() const { return m_layout; }
    const CAacFrameTable& Frames() const { return m_frames; }
    PcmSource Source() const { return m_source; }
    const AudioSpecificConfigInfo& Config() const { return m_config; }
    // Decoded output trimmed to the edit list (decoder source): the decoded
    // samples dropped at the start, and the samples presented after them.
    bool Trimmed() const { return m_source == PcmSource::Decoder; }
    uint64_t SkipSamples() const { return m_skip; }
    uint64_t PresentedSamples() const { return m_presented; }
    TrimmedTrack Trim() const {
        return TrimmedTrack{m_skip, m_presented, m_layout.rate, m_layout.samplesPerFrame, m_frames.Count()};
    }
    // Absolute index of the first output sample of frame `index`.
    uint64_t FirstSampleOf(uint32_t index) const { return uint64_t(index) * m_layout.samplesPerFrame; }

private:
    HRESULT Load(ISmfAbsStream* stream, uint64_t fileSize);

    AacCodecInfo m_codec;
    PcmLayout m_layout;
    CAacFrameTable m_frames;
    PcmSource m_source = PcmSource::Decoder;
    AudioSpecificConfigInfo m_config;
    uint64_t m_skip = 0;
    uint64_t m_presented = 0;
};
