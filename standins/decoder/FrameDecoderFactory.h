// Chooses the frames-to-PCM step for a track.
#pragma once

#include "AacFrameDecoder.h"
#include "AacTrack.h"

#include <memory>

std::unique_ptr<IAacFrameDecoder> CreateFrameDecoder(const CAacTrack& track);
