// The step that turns one AAC frame into PCM, kept behind one small interface
// so that a real decoder can replace the tone without touching the filter.
#pragma once

#include <cstddef>
#include <cstdint>

struct PcmLayout {
    uint32_t rate = 0;  // output samples per second
    uint32_t channels = 0;
    uint32_t samplesPerFrame = 0;  // per channel, for one AAC frame
    uint32_t FrameBytes() const { return samplesPerFrame * channels * 2; }
};

class IAacFrameDecoder {
public:
    virtual ~IAacFrameDecoder() = default;
    // Forgets any state carried from frame to frame (after a seek).
    virtual void Reset() = 0;
    // Writes one frame of interleaved 16-bit PCM (layout.FrameBytes() bytes)
    // for the frame whose first output sample has index `firstSample`.
    virtual void DecodeFrame(const uint8_t* data, size_t size, uint64_t firstSample, int16_t* pcm) = 0;
};
