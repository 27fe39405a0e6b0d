#include "AacTables.h"

#include "common/Mp4DsiParser.h"

#include <cmath>

namespace aac {

static_assert(kSamplingIndices == DSI_SAMPLING_FREQUENCY_INDICES, "one index per rate of the configuration parser");

namespace {

const uint16_t kLong96[] = {0,   4,   8,   12,  16,  20,  24,  28,  32,  36,  40,  44,  48,  52,
                            56,  64,  72,  80,  88,  96,  108, 120, 132, 144, 156, 172, 188, 212,
                            240, 276, 320, 384, 448, 512, 576, 640, 704, 768, 832, 896, 960, 1024};
const uint16_t kLong64[] = {0,   4,   8,   12,  16,  20,  24,  28,  32,  36,  40,  44,  48,  52,  56,  64,
                            72,  80,  88,  100, 112, 124, 140, 156, 172, 192, 216, 240, 268, 304, 344, 384,
                            424, 464, 504, 544, 584, 624, 664, 704, 744, 784, 824, 864, 904, 944, 984, 1024};
const uint16_t kLong48[] = {0,   4,   8,   12,  16,  20,  24,  28,  32,  36,  40,  48,  56,  64,  72,  80,  88,
                            96,  108, 120, 132, 144, 160, 176, 196, 216, 240, 264, 292, 320, 352, 384, 416, 448,
                            480, 512, 544, 576, 608, 640, 672, 704, 736, 768, 800, 832, 864, 896, 928, 1024};
const uint16_t kLong32[] = {0,   4,   8,   12,  16,  20,  24,  28,  32,  36,  40,  48,  56,  64,  72,  80,  88,  96,
                            108, 120, 132, 144, 160, 176, 196, 216, 240, 264, 292, 320, 352, 384, 416, 448, 480, 512,
                            544, 576, 608, 640, 672, 704, 736, 768, 800, 832, 864, 896, 928, 960, 992, 1024};
const uint16_t kLong24[] = {0,   4,   8,   12,  16,  20,  24,  28,  32,  36,  40,  44,  52,  60,  68,  76,
                            84,  92,  100, 108, 116, 124, 136, 148, 160, 172, 188, 204, 220, 240, 260, 284,
                            308, 336, 364, 396, 432, 468, 508, 552, 600, 652, 704, 768, 832, 896, 960, 1024};
const uint16_t kLong16[] = {0,   8,   16,  24,  32,  40,  48,  56,  64,  72,  80,  88,  100, 112, 124,
                            136, 148, 160, 172, 184, 196, 212, 228, 244, 260, 280, 300, 320, 344, 368,
                            396, 424, 456, 492, 532, 572, 616, 664, 716, 772, 832, 896, 960, 1024};
const uint16_t kLong8[] = {0,   12,  24,  36,  48,  60,  72,  84,  96,  108, 120, 132, 144, 156,
                           172, 188, 204, 220, 236, 252, 268, 288, 308, 328, 348, 372, 396, 420,
                           448, 476, 508, 544, 580, 620, 664, 712, 764, 820, 880, 944, 1024};

const uint16_t kShort96[] = {0, 4, 8, 12, 16, 20, 24, 32, 40, 48, 64, 92, 128};
const uint16_t kShort48[] = {0, 4, 8, 12, 16, 20, 28, 36, 44, 56, 68, 80, 96, 112, 128};
const uint16_t kShort24[] = {0, 4, 8, 12, 16, 20, 24, 28, 36, 44, 52, 64, 76, 92, 108, 128};
const uint16_t kShort16[] = {0, 4, 8, 12, 16, 20, 24, 28, 32, 40, 48, 60, 72, 88, 108, 128};
const uint16_t kShort8[] = {0, 4, 8, 12, 16, 20, 24, 28, 36, 44, 52, 60, 72, 88, 108, 128};

#define TRN_BANDS(table) \
    BandTable { table, uint8_t(sizeof table / sizeof table[0] - 1) }
const BandTable kLong[kSamplingIndices] = {
    TRN_BANDS(kLong96), TRN_BANDS(kLong96), TRN_BANDS(kLong64), TRN_BANDS(kLong48), TRN_BANDS(kLong48),
    TRN_BANDS(kLong32), TRN_BANDS(kLong24), TRN_BANDS(kLong24), TRN_BANDS(kLong16), TRN_BANDS(kLong16),
    TRN_BANDS(kLong16), TRN_BANDS(kLong8),  TRN_BANDS(kLong8)};
const BandTable kShort[kSamplingIndices] = {
    TRN_BANDS(kShort96), TRN_BANDS(kShort96), TRN_BANDS(kShort96), TRN_BANDS(kShort48), TRN_BANDS(kShort48),
    TRN_BANDS(kShort48), TRN_BANDS(kShort24), TRN_BANDS(kShort24), TRN_BANDS(kShort16), TRN_BANDS(kShort16),
    TRN_BANDS(kShort16), TRN_BANDS(kShort8),  TRN_BANDS(kShort8)};
#undef TRN_BANDS

const uint8_t kTnsLong[kSamplingIndices] = {31, 31, 34, 40, 42, 51, 46, 46, 42, 42, 42, 39, 39};
const uint8_t kTnsShort[kSamplingIndices] = {9, 9, 10, 14, 14, 14, 14, 14, 14, 14, 14, 14, 14};

const uint8_t kChannels[8] = {0, 1, 2, 3, 4, 5, 6, 8};
// clang-format off
const uint8_t kWaveOrder[8][8] = {{0},
                                  {0},
                                  {0, 1},
                                  {1, 2, 0},
                                  {1, 2, 0, 3},
                                  {1, 2, 0, 3, 4},
                                  {1, 2, 0, 5, 3, 4},
                                  {1, 2, 0, 7, 5, 6, 3, 4}};
// clang-format on

unsigned Clamp(unsigned index) { return index < kSamplingIndices ? index : kSamplingIndices - 1; }

}  // namespace

uint32_t SamplingFrequency(unsigned index) { return DsiSamplingFrequency(index); }

unsigned SamplingIndexFor(uint32_t frequency) {
    // Each index serves the frequencies down to the midpoint with the next.
    static const uint32_t kLowest[kSamplingIndices - 1] = {92017, 75132, 55426, 46009, 37566, 27713,
                                                           23004, 18783, 13856, 11502, 9391,  0};
    for (unsigned i = 0; i < kSamplingIndices - 1; ++i)
        if (frequency >= kLowest[i]) return i;
    return kSamplingIndices - 2;
}

const BandTable& LongBands(unsigned index) { return kLong[Clamp(index)]; }
const BandTable& ShortBands(unsigned index) { return kShort[Clamp(index)]; }
unsigned TnsMaxBandsLong(unsigned index) { return kTnsLong[Clamp(index)]; }
unsigned TnsMaxBandsShort(unsigned index) { return kTnsShort[Clamp(index)]; }

const QuantTables& Quantisation() {
    static const QuantTables tables = [] {
        QuantTables t;
        for (unsigned i = 0; i <= kMaxQuant; ++i) t.pow43[i] = float(std::pow(double(i), 4.0 / 3.0));
        for (int i = 0; i < 256; ++i) t.gain[i] = float(std::pow(2.0, 0.25 * (i - 100)));
        return t;
    }();
    return tables;
}

unsigned ConfigurationChannels(unsigned configuration) { return configuration < 8 ? kChannels[configuration] : 0; }

const uint8_t* WaveOrder(unsigned configuration) { return kWaveOrder[configuration < 8 ? configuration : 0]; }

}  // namespace aac
