// Decoding speed of the AAC-LC decoder as multiples of real time on one
// core, beside ffmpeg's decode of the same file timed in the same run.
// Usage: trn_aac_decode_bench [FILE.m4a] (default: the 44.1 kHz stereo test file)
#include "AacTrack.h"
#include "FrameDecoderFactory.h"
#include "common/SmfAbsStreamImpl.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
    const std::string path = argc > 1 ? argv[1] : TRN_TESTDATA_DIR "/aac/music-44100-stereo.m4a";
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    ISmfAbsStream* stream = OpenFileStream(std::wstring(path.begin(), path.end()).c_str());
    if (!stream || bytes.empty()) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        return 1;
    }
    CAacTrack track;
    const HRESULT hr = track.Open(stream, stream->StreamSize());
    stream->Release();
    if (FAILED(hr)) {
        std::fprintf(stderr, "no decodable AAC track in %s\n", path.c_str());
        return 1;
    }
    const PcmLayout& layout = track.Layout();
    std::vector<int16_t> pcm(size_t(layout.samplesPerFrame) * layout.channels);
    const double audio = double(track.Frames().Count()) * layout.samplesPerFrame / layout.rate;

    // Repeat the file to at least a minute of audio so the clock resolves it.
    const int passes = int(60 / audio) + 1;
    const auto start = std::chrono::steady_clock::now();
    for (int p = 0; p < passes; ++p) {
        std::unique_ptr<IAacFrameDecoder> decoder = CreateFrameDecoder(track);
        for (uint32_t i = 0; i < track.Frames().Count(); ++i) {
            const AacFrame& f = track.Frames().Frame(i);
            decoder->DecodeFrame(bytes.data() + f.offset, f.size, track.FirstSampleOf(i), pcm.data());
        }
    }
    const double ours = Seconds(start);
    std::printf("%s: %u Hz, %u channels, %.2f s of audio x %d\n", path.c_str(), layout.rate, layout.channels, audio,
                passes);
    std::printf("  our decoder: %8.1f x real time (%.3f s)\n", audio * passes / ours, ours);

    // ffmpeg on one thread, to a null sink, over the same number of passes.
    std::string command = "ffmpeg -hide_banner -loglevel error -threads 1 -stream_loop " + std::to_string(passes - 1) +
                          " -i '" + path + "' -f null - 2>/dev/null";
    const auto ffStart = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    const double theirs = Seconds(ffStart);
    if (status == 0)
        std::printf("  ffmpeg:      %8.1f x real time (%.3f s, process start included)\n", audio * passes / theirs,
                    theirs);
    else
        std::printf("  ffmpeg:      not run (not installed?)\n");
    return 0;
}
