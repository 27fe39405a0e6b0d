// The coding tools of AAC-LC, each on the per-channel data the syntax
// reader fills, listed in the order the decoder runs them: per channel the
// pulses, dequantisation and noise substitution; per pair the stereo tools
// (common window only); per channel TNS last, before the filter bank.
// Bands are walked group by group and window by window, as the spectrum is
// laid out.
#pragma once

#include "AacChannelData.h"

#include <cstdint>

namespace aac {

// Adds each pulse to its quantised value, away from zero; a zero value
// takes it negative.
void ApplyPulses(ChannelData& ch);

// The spectrum from the quantised values and scale factors,
// sign(q) |q|^(4/3) 2^((sf - 100) / 4), in every band coded with a spectral
// codebook; zero everywhere else, noise and intensity bands included.
void Dequantise(ChannelData& ch);

// Fills each noise band (codebook 13) with values of the linear
// congruential generator `seed`, scaled so that the band's energy is
// 2^(energy / 2). The seed runs on across bands, channels and frames.
void SubstituteNoise(ChannelData& ch, uint32_t& seed);

// Noise bands of both channels that ms_used flags carry the left channel's
// noise on the right too, at the right channel's own energy.
void CorrelateNoise(const ChannelData& left, ChannelData& right, const StereoData& stereo);

// Right-channel intensity bands (codebooks 14 and 15) from the left
// spectrum, scaled by 0.5^(is_position / 4); out of phase for codebook 14,
// and inverted once more where ms_mask_present 1 flags the band.
void IntensityStereo(const ChannelData& left, ChannelData& right, const StereoData& stereo);

// Mid/side back to left/right (L = M + S, R = M - S) in the bands ms_used
// flags, except where either channel has noise or the right intensity.
void MidSide(ChannelData& left, ChannelData& right, const StereoData& stereo);

// The direct-form predictor of a coded filter: `lpc` gets order + 1
// values, lpc[0] = 1.
void TnsPredictor(const TnsFilter& filter, float* lpc);

// Runs the TNS filters over the spectrum, each over its bands (the top
// filter first), below the rate's TNS limit and max_sfb; nothing unless
// tnsPresent.
void ApplyTns(ChannelData& ch, unsigned samplingIndex);

}  // namespace aac
