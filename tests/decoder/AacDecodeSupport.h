// Decodes a whole file the way the filter does (frame table, frame decoder,
// edit list) for the native decoder tests and the benchmark.
#pragma once

#include "AacTrack.h"
#include "FrameDecoderFactory.h"
#include "MemoryStream.h"

#include <fstream>
#include <string>
#include <vector>

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline HRESULT OpenTrackBytes(CAacTrack& track, const std::vector<uint8_t>& bytes,
                              PcmSource source = PcmSource::Decoder) {
    MemoryStreamRef stream(bytes);
    return track.Open(stream.stream, bytes.size(), source);
}

// Interleaved PCM of the presented samples (all decoded ones when `trim` is false).
inline std::vector<int16_t> DecodeTrack(const CAacTrack& track, const std::vector<uint8_t>& bytes,
                                        bool trim = true) {
    std::vector<int16_t> pcm;
    std::unique_ptr<IAacFrameDecoder> decoder = CreateFrameDecoder(track);
    if (!decoder) return pcm;
    const PcmLayout& layout = track.Layout();
    std::vector<int16_t> frame(size_t(layout.samplesPerFrame) * layout.channels);
    for (uint32_t i = 0; i < track.Frames().Count(); ++i) {
        const AacFrame& f = track.Frames().Frame(i);
        decoder->DecodeFrame(bytes.data() + f.offset, f.size, track.FirstSampleOf(i), frame.data());
        pcm.insert(pcm.end(), frame.begin(), frame.end());
    }
    if (trim && track.Trimmed()) {
        const size_t skip = size_t(track.SkipSamples()) * layout.channels;
        const size_t keep = size_t(track.PresentedSamples()) * layout.channels;
        pcm.erase(pcm.begin(), pcm.begin() + std::min(skip, pcm.size()));
        if (pcm.size() > keep) pcm.resize(keep);
    }
    return pcm;
}
