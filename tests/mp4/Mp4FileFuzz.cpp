// Feeds arbitrary bytes to CMp4File and runs every query the parser facade uses.
#include "MemoryStream.h"
#include "mp4/Mp4File.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemoryStreamRef stream(std::vector<uint8_t>(data, data + size));
    CMp4File mp4;
    if (FAILED(mp4.Initialize(stream.stream))) return 0;
    std::vector<uint32_t> audio, video;
    if (FAILED(mp4.GetTrackIds(audio, video))) return 0;
    for (uint32_t id : audio) {
        if (FAILED(mp4.SetAudioTrackId(id))) continue;
        std::vector<uint8_t> dsi;
        uint32_t a = 0, b = 0, c = 0;
        mp4.GetDecoderSpecificInformation(dsi, &a, &b, &c);
        mp4.GetAudioSampleDescription(&a, &b, &c);
        mp4.GetMediaDuration(&a);
        mp4.GetMediaTimescale(&a);
    }
    return 0;
}
