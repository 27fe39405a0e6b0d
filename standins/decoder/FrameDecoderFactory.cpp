#include "FrameDecoderFactory.h"

#include "ToneFrameDecoder.h"

#include <new>

std::unique_ptr<IAacFrameDecoder> CreateFrameDecoder(const CAacTrack& track) {
    // Until real decoding lands every track sounds the same steady tone.
    return std::unique_ptr<IAacFrameDecoder>(new (std::nothrow) CToneFrameDecoder(track.Layout()));
}
