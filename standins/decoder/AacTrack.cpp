#include "AacTrack.h"

#include "common/Mp4DsiParser.h"
#include "mp4/Mp4File.h"

#include <vector>

namespace {

constexpr uint32_t kMaxChannels = 8;
constexpr uint32_t kMaxRate = 192000;  // 96 kHz with SBR doubling

const SmfTrack* FindTrack(const SmfMovie* movie, uint32_t trackId) {
    if (!movie) return nullptr;
    for (const auto& track : movie->tracks)
        if (track->tkhd.trackId == trackId) return track.get();
    return nullptr;
}

}  // namespace

HRESULT CAacTrack::Open(ISmfAbsStream* stream, uint64_t fileSize) {
    const HRESULT hr = Load(stream, fileSize);
    if (FAILED(hr)) *this = CAacTrack();
    return hr;
}

HRESULT CAacTrack::Load(ISmfAbsStream* stream, uint64_t fileSize) {
    if (!stream) return E_POINTER;
    CMp4File file;
    HRESULT hr = file.Initialize(stream);
    std::vector<uint32_t> audio, video;
    if (SUCCEEDED(hr)) hr = file.GetTrackIds(audio, video);
    if (SUCCEEDED(hr) && audio.empty()) hr = E_FAIL;
    if (SUCCEEDED(hr)) hr = file.SetAudioTrackId(audio[0]);
    std::vector<uint8_t> dsi;
    if (SUCCEEDED(hr)) hr = file.GetDecoderSpecificInformation(dsi);
    uint32_t timescale = 0;
    if (SUCCEEDED(hr)) hr = file.GetMediaTimescale(&timescale);
    if (FAILED(hr)) return hr;

    try {
        FillCodecInfo(dsi.data(), dsi.size(), &m_codec);
    } catch (HRESULT thrown) {
        return thrown;
    }
    const uint32_t rate = m_codec.m_dwSamplingFrequency;
    if (m_codec.m_dwObjectType == 0 || m_codec.m_dwFrameLength == 0 || rate == 0 || rate > kMaxRate ||
        m_codec.m_dwChannels == 0 || m_codec.m_dwChannels > kMaxChannels || timescale == 0)
        return E_INVALIDARG;

    const SmfTrack* track = FindTrack(file.Movie(), audio[0]);
    if (!track || !track->stbl) return E_FAIL;
    // Frames without timing last one frame's worth of the track's clock.
    const uint64_t nominal = uint64_t(m_codec.m_dwFrameLength) * timescale / rate;
    m_frames.Build(*track->stbl, fileSize, timescale, nominal > UINT32_MAX ? UINT32_MAX : uint32_t(nominal));
    m_frames.AppendFragments(*file.Movie(), audio[0], fileSize);

    m_layout.rate = rate;
    m_layout.channels = m_codec.m_dwChannels;
    m_layout.samplesPerFrame = m_codec.m_dwFrameLength;
    return S_OK;
}
