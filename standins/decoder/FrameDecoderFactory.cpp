#include "FrameDecoderFactory.h"

#include "ToneFrameDecoder.h"
#include "aac/AacLcFrameDecoder.h"

#include <new>

std::unique_ptr<IAacFrameDecoder> CreateFrameDecoder(const CAacTrack& track) {
    if (track.Source() == PcmSource::Tone)
        return std::unique_ptr<IAacFrameDecoder>(new (std::nothrow) CToneFrameDecoder(track.Layout()));
    return CAacLcFrameDecoder::Create(track.Config(), track.Layout());
}
