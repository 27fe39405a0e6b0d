#include "AudioItem.h"

#include "mp4/Mp4File.h"
#include "standins/decoder/aac/AacLcFrameDecoder.h"

#include <vector>

namespace presented {

namespace {

constexpr uint32_t kMaxChannels = 8;
constexpr uint32_t kMaxRate = 192000;  // 96 kHz with SBR doubling

const SmfTrack* FindTrack(const SmfMovie* movie, uint32_t trackId) {
    if (!movie) return nullptr;
    for (const auto& track : movie->tracks)
        if (track->tkhd.trackId == trackId) return track.get();
    return nullptr;
}

HRESULT Read(ISmfAbsStream* stream, uint64_t fileSize, DecodeRate mode, AudioTrack& t) {
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
        FillCodecInfo(dsi.data(), dsi.size(), &t.codec);
    } catch (HRESULT thrown) {
        return thrown;
    }
    if (ParseAudioSpecificConfig(dsi.data(), dsi.size(), &t.config) != DSI_OK) return E_INVALIDARG;
    const bool core = mode == DecodeRate::Core;
    if (core && !CAacLcFrameDecoder::CanDecode(t.config)) return E_INVALIDARG;
    // The decoder plays the core of an HE-AAC stream: its rate and frame.
    const uint32_t rate = core ? t.config.m_dwSamplingFrequency : t.codec.m_dwSamplingFrequency;
    if (t.codec.m_dwObjectType == 0 || t.codec.m_dwFrameLength == 0 || rate == 0 || rate > kMaxRate ||
        t.codec.m_dwChannels == 0 || t.codec.m_dwChannels > kMaxChannels || timescale == 0)
        return E_INVALIDARG;

    const SmfTrack* track = FindTrack(file.Movie(), audio[0]);
    if (!track || !track->stbl) return E_FAIL;
    // Frames without timing last one frame's worth of the track's clock.
    const uint64_t nominal = uint64_t(t.codec.m_dwFrameLength) * timescale / rate;
    t.frames.Build(*track->stbl, fileSize, timescale, nominal > UINT32_MAX ? UINT32_MAX : uint32_t(nominal));
    t.frames.AppendFragments(*file.Movie(), audio[0], fileSize);

    t.trackId = audio[0];
    t.mediaTimescale = timescale;
    t.rate = rate;
    t.channels = t.codec.m_dwChannels;
    t.samplesPerFrame = core ? uint32_t(t.config.m_nFrameLength) : t.codec.m_dwFrameLength;
    const uint64_t decoded = uint64_t(t.frames.Count()) * t.samplesPerFrame;
    t.presentation = Presentation();
    t.presentation.presented = decoded;
    if (core) {
        t.editStatus = ReadEditList(stream, fileSize, t.trackId, &t.edit);
        if (t.editStatus == EditStatus::Found)
            t.presentation = Present(t.edit.entries, decoded, rate, t.edit.movieTimescale, t.edit.mediaTimescale);
    }
    return S_OK;
}

}  // namespace

HRESULT ReadAudioTrack(ISmfAbsStream* stream, uint64_t fileSize, DecodeRate rate, AudioTrack* out) {
    if (!out) return E_POINTER;
    *out = AudioTrack();
    const HRESULT hr = Read(stream, fileSize, rate, *out);
    if (FAILED(hr)) *out = AudioTrack();
    return hr;
}

HRESULT MeasureItem(ISmfAbsStream* stream, uint64_t fileSize, ItemLength* out) {
    if (!out) return E_POINTER;
    *out = ItemLength();
    AudioTrack track;
    const HRESULT hr = ReadAudioTrack(stream, fileSize, DecodeRate::Core, &track);
    if (FAILED(hr)) return hr;
    out->rate = track.rate;
    out->channels = track.channels;
    out->samplesPerFrame = track.samplesPerFrame;
    out->frameCount = track.frames.Count();
    out->decoded = uint64_t(out->frameCount) * out->samplesPerFrame;
    out->skip = track.presentation.skip;
    out->presented = track.presentation.presented;
    out->editStatus = track.editStatus;
    out->truncated = track.frames.Truncated();
    return S_OK;
}

}  // namespace presented
