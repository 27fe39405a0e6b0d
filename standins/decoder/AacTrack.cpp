#include "AacTrack.h"

#include "AudioItem.h"

#include <utility>

HRESULT CAacTrack::Open(ISmfAbsStream* stream, uint64_t fileSize, PcmSource source) {
    *this = CAacTrack();
    m_source = source;
    const HRESULT hr = Load(stream, fileSize);
    if (FAILED(hr)) *this = CAacTrack();
    return hr;
}

HRESULT CAacTrack::Load(ISmfAbsStream* stream, uint64_t fileSize) {
    const bool decode = m_source == PcmSource::Decoder;
    presented::AudioTrack track;
    const HRESULT hr = presented::ReadAudioTrack(
        stream, fileSize, decode ? presented::DecodeRate::Core : presented::DecodeRate::Signalled, &track);
    if (FAILED(hr)) return hr;
    m_codec = track.codec;
    m_config = track.config;
    m_frames = std::move(track.frames);
    m_layout.rate = track.rate;
    m_layout.channels = track.channels;
    m_layout.samplesPerFrame = track.samplesPerFrame;
    if (decode) {
        m_skip = track.presentation.skip;
        m_presented = track.presentation.presented;
    }
    return S_OK;
}
