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

inline std::string AacPath(const std::string& file) { return std::string(TRN_TESTDATA_DIR "/aac/") + file; }

// 16-bit little-endian PCM, as ffmpeg writes its reference decodes.
inline std::vector<int16_t> ReadPcm(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadBytes(path);
    std::vector<int16_t> pcm(bytes.size() / 2);
    for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = int16_t(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return pcm;
}

inline HRESULT OpenTrackBytes(CAacTrack& track, const std::vector<uint8_t>& bytes,
                              PcmSource source = PcmSource::Decoder) {
    MemoryStreamRef stream(bytes);
    return track.Open(stream.stream, bytes.size(), source);
}

// Interleaved PCM of the presented samples (all decoded ones when `trim` is
// false), through the given frame decoder.
inline std::vector<int16_t> DecodeTrackWith(IAacFrameDecoder* decoder, const CAacTrack& track,
                                            const std::vector<uint8_t>& bytes, bool trim = true) {
    std::vector<int16_t> pcm;
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

// The same through the decoder the filter would choose.
inline std::vector<int16_t> DecodeTrack(const CAacTrack& track, const std::vector<uint8_t>& bytes, bool trim = true) {
    std::unique_ptr<IAacFrameDecoder> decoder = CreateFrameDecoder(track);
    return DecodeTrackWith(decoder.get(), track, bytes, trim);
}
