// One channel of one frame, between the syntax and the coding tools: the
// syntax reader (AacSyntax.h) fills everything but the spectrum from the
// bitstream, the tools (AacTools.h) turn that into the spectrum the filter
// bank takes. Plain data, so that a tool can be run on values set by hand.
#pragma once

#include "AacFilterBank.h"

#include <cstdint>

namespace aac {

// Section codebooks that mean more than a Huffman table.
enum : uint8_t {
    ZERO_HCB = 0,
    ESC_HCB = 11,
    RESERVED_HCB = 12,
    NOISE_HCB = 13,
    INTENSITY_HCB2 = 14,  // intensity, out of phase
    INTENSITY_HCB = 15
};

inline bool IsIntensity(uint8_t cb) { return cb == INTENSITY_HCB || cb == INTENSITY_HCB2; }

constexpr unsigned kSpectrumLines = 1024;  // one frame of one channel
constexpr unsigned kShortLines = 128;      // one of the eight short windows
constexpr unsigned kMaxWindows = 8;
constexpr unsigned kMaxGroups = 8;
constexpr unsigned kMaxBands = 64;
constexpr unsigned kMaxPulses = 4;
constexpr unsigned kMaxTnsFilters = 3;
constexpr unsigned kMaxTnsOrder = 12;

// ics_info, with the band edges of the window it names.
struct IcsInfo {
    uint8_t windowSequence = 0;  // window_sequence
    uint8_t windowShape = 0;     // window_shape
    uint8_t maxSfb = 0;          // max_sfb
    uint8_t numWindows = 1;
    uint8_t numGroups = 1;                 // num_window_groups
    uint8_t groupLength[kMaxGroups] = {};  // window_group_length
    const uint16_t* swb = nullptr;         // band edges of one window
    unsigned numSwb = 0;
    bool Short() const { return windowSequence == EIGHT_SHORT_SEQUENCE; }
};

// pulse_data, the pulse positions made absolute spectral lines.
struct PulseData {
    unsigned count = 0;  // 0 when the channel has none
    uint16_t line[kMaxPulses] = {};
    uint8_t amp[kMaxPulses] = {};  // pulse_amp
};

// One TNS filter as coded; the tool derives its predictor.
struct TnsFilter {
    uint8_t length = 0;              // length, in bands
    uint8_t order = 0;               // order
    uint8_t direction = 0;           // direction: 1 filters downwards
    uint8_t resolution = 3;          // coef_res + 3
    int8_t coef[kMaxTnsOrder] = {};  // coef, sign-extended
};

struct ChannelData {
    IcsInfo ics;
    uint8_t cb[kMaxGroups][kMaxBands] = {};  // sect_cb per band
    int sf[kMaxGroups][kMaxBands] = {};      // scale factor, is_position or noise energy
    PulseData pulse;
    bool tnsPresent = false;
    uint8_t tnsFilters[kMaxWindows] = {};  // n_filt
    TnsFilter tns[kMaxWindows][kMaxTnsFilters];
    int32_t quant[kSpectrumLines] = {};  // quantised values, window after window
    float spec[kSpectrumLines] = {};     // what the tools make of them
};

// The side info a channel pair shares.
struct StereoData {
    bool commonWindow = false;                // common_window
    unsigned msMask = 0;                      // ms_mask_present
    bool msUsed[kMaxGroups][kMaxBands] = {};  // ms_used, all set for ms_mask_present 2
};

}  // namespace aac
