// Portable pieces of trnhost: format names, MIME facts, properties,
// durations and the WAV header. No platform headers; tested natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace trnhost {

// A FORMAT operand: an index into the offered list, or a short name.
struct FormatChoice {
    bool byIndex = false;
    size_t index = 0;
    std::wstring name;  // lpcm44, lpcm48, mp4 or 3gpp
};
bool ParseFormatChoice(const std::wstring& text, FormatChoice& out);

// Short name of an offered entry, or empty when it has none.
std::wstring ShortFormatName(const std::wstring& profile, const std::wstring& mimeType);

// "rate=" and "channels=" of an audio/L16 MIME type; 0 when absent.
struct PcmFacts {
    uint32_t rate = 0;
    uint32_t channels = 0;
};
PcmFacts ParsePcmMime(const std::wstring& mimeType);

// The name and value pairs of an entry's properties, in the server's order.
typedef std::vector<std::pair<std::wstring, std::wstring>> PropertyList;

// "hh:mm:ss.mmm" of a millisecond count.
std::string ClockText(int64_t ms);
// Milliseconds of LPCM bytes at the rate (2 channels, 16 bits).
int64_t PcmBytesToMs(uint64_t bytes, uint32_t rate, uint32_t channels);

// Canonical 44-byte header of a PCM WAV file. Sizes beyond what RIFF can hold
// are written as the largest it can, as streaming writers do.
std::vector<uint8_t> WavHeader(uint32_t rate, uint16_t channels, uint16_t bits, uint64_t dataBytes);

// Swaps the bytes of each 16-bit unit (big-endian L16 to little-endian PCM).
void SwapPairs(uint8_t* data, size_t count);

}  // namespace trnhost
