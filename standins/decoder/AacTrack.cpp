#include "AacTrack.h"

#include "aac/AacLcFrameDecoder.h"
#include "mp4/Mp4File.h"

#include <algorithm>
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

HRESULT CAacTrack::Open(ISmfAbsStream* stream, uint64_t fileSize, PcmSource source) {
    *this = CAacTrack();
    m_source = source;
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
    if (ParseAudioSpecificConfig(dsi.data(), dsi.size(), &m_config) != DSI_OK) return E_INVALIDARG;
    const bool decode = m_source == PcmSource::Decoder;
    if (decode && !CAacLcFrameDecoder::CanDecode(m_config)) return E_INVALIDARG;
    // The decoder plays the core of an HE-AAC stream: its rate and frame.
    const uint32_t rate = decode ? m_config.m_dwSamplingFrequency : m_codec.m_dwSamplingFrequency;
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
    m_layout.samplesPerFrame = decode ? uint32_t(m_config.m_nFrameLength) : m_codec.m_dwFrameLength;
    if (decode) ApplyEdit(*track, file.Movie()->mvhd.timescale, timescale);
    return S_OK;
}

void CAacTrack::ApplyEdit(const SmfTrack& track, uint32_t movieTimescale, uint32_t mediaTimescale) {
    const uint64_t decoded = uint64_t(m_frames.Count()) * m_layout.samplesPerFrame;
    m_skip = 0;
    m_presented = decoded;
    // Version 1 entries are not kept by the library; without an edit every
    // decoded sample plays.
    const SmfValueTable* elst = track.elst.get();
    if (!elst || elst->head.version != 0) return;
    for (uint64_t i = 0; i < elst->Count(); ++i) {
        const uint32_t* entry = elst->Entry(i);           // segment_duration, media_time, media_rate
        if (!entry || entry[1] == 0xFFFFFFFFu) continue;  // an empty edit: no delay inserted
        const uint64_t skip = uint64_t(entry[1]) * m_layout.rate / mediaTimescale;
        m_skip = std::min(skip, decoded);
        m_presented = decoded - m_skip;
        if (entry[0] != 0 && movieTimescale != 0) {
            const uint64_t kept = (uint64_t(entry[0]) * m_layout.rate + movieTimescale - 1) / movieTimescale;
            m_presented = std::min(m_presented, kept);
        }
        return;
    }
}
