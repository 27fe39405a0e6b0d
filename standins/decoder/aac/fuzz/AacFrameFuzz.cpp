// libFuzzer target: one raw data block per input, decoded by a mono and a
// stereo decoder at a rate picked by the first byte, twice so that the
// overlap carried between frames is exercised too.
#include "AacLcDecoder.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    aac::DecoderConfig config;
    config.samplingIndex = data[0] % 12;
    config.channelConfiguration = (data[0] >> 4) % 2 + 1;
    aac::LcDecoder decoder;
    if (!decoder.Configure(config)) return 0;
    std::vector<int16_t> pcm(aac::LcDecoder::kFrame * decoder.Channels());
    // An exact-size copy so that any read past the frame is caught.
    std::vector<uint8_t> frame(data + 1, data + size);
    decoder.DecodeFrame(frame.data(), frame.size(), pcm.data());
    decoder.DecodeFrame(frame.data(), frame.size(), pcm.data());
    return 0;
}
