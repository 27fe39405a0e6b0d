#include "Media.h"

#include <cstdio>

namespace trnhost {
namespace {

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void Put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void PutTag(std::vector<uint8_t>& out, const char* tag) { out.insert(out.end(), tag, tag + 4); }

uint32_t MimeNumber(const std::wstring& mime, const wchar_t* key) {
    const std::wstring k = key;
    size_t at = 0;
    while ((at = mime.find(k, at)) != std::wstring::npos) {
        // Only a parameter name counts: it follows ';' (after optional blanks).
        size_t before = at;
        while (before > 0 && mime[before - 1] == L' ') --before;
        if (before > 0 && mime[before - 1] == L';') {
            uint64_t value = 0;
            size_t i = at + k.size();
            const size_t start = i;
            while (i < mime.size() && mime[i] >= L'0' && mime[i] <= L'9' && value < 0xFFFFFFFFull)
                value = value * 10 + (mime[i++] - L'0');
            if (i > start && value <= 0xFFFFFFFFull) return static_cast<uint32_t>(value);
            return 0;
        }
        at += k.size();
    }
    return 0;
}

}  // namespace

bool ParseFormatChoice(const std::wstring& text, FormatChoice& out) {
    out = FormatChoice();
    if (text == L"lpcm44" || text == L"lpcm48" || text == L"mp4" || text == L"3gpp") {
        out.name = text;
        return true;
    }
    if (text.empty() || text.size() > 6) return false;
    size_t value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
        value = value * 10 + (c - L'0');
    }
    out.byIndex = true;
    out.index = value;
    return true;
}

std::wstring ShortFormatName(const std::wstring& profile, const std::wstring& mimeType) {
    if (profile == L"LPCM") {
        const PcmFacts pcm = ParsePcmMime(mimeType);
        if (mimeType.compare(0, 10, L"audio/L16;") == 0 && pcm.channels == 2) {
            if (pcm.rate == 44100) return L"lpcm44";
            if (pcm.rate == 48000) return L"lpcm48";
        }
        return std::wstring();
    }
    if (!profile.empty()) return std::wstring();
    if (mimeType == L"audio/mp4") return L"mp4";
    if (mimeType == L"audio/3gpp") return L"3gpp";
    return std::wstring();
}

PcmFacts ParsePcmMime(const std::wstring& mimeType) {
    PcmFacts facts;
    facts.rate = MimeNumber(mimeType, L"rate=");
    facts.channels = MimeNumber(mimeType, L"channels=");
    return facts;
}

std::string ClockText(int64_t ms) {
    if (ms < 0) ms = 0;
    char text[40];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%03lld", static_cast<long long>(ms / 3600000),
                  static_cast<long long>(ms / 60000 % 60), static_cast<long long>(ms / 1000 % 60),
                  static_cast<long long>(ms % 1000));
    return text;
}

int64_t PcmBytesToMs(uint64_t bytes, uint32_t rate, uint32_t channels) {
    const uint64_t frameBytes = 2ull * channels;
    if (rate == 0 || frameBytes == 0) return 0;
    return static_cast<int64_t>(bytes / frameBytes * 1000 / rate);
}

std::vector<uint8_t> WavHeader(uint32_t rate, uint16_t channels, uint16_t bits, uint64_t dataBytes) {
    // RIFF sizes are 32 bits and count from byte 8; the data must stay whole frames.
    const uint32_t blockAlign = static_cast<uint32_t>(channels) * ((bits + 7) / 8);
    uint64_t limit = 0xFFFFFFFFull - 36;
    if (blockAlign) limit -= limit % blockAlign;
    const uint32_t data = static_cast<uint32_t>(dataBytes < limit ? dataBytes : limit);
    std::vector<uint8_t> out;
    out.reserve(44);
    PutTag(out, "RIFF");
    Put32(out, 36 + data);
    PutTag(out, "WAVE");
    PutTag(out, "fmt ");
    Put32(out, 16);
    Put16(out, 1);  // PCM
    Put16(out, channels);
    Put32(out, rate);
    Put32(out, rate * blockAlign);
    Put16(out, static_cast<uint16_t>(blockAlign));
    Put16(out, bits);
    PutTag(out, "data");
    Put32(out, data);
    return out;
}

void SwapPairs(uint8_t* data, size_t count) {
    for (size_t i = 0; i + 1 < count; i += 2) {
        const uint8_t t = data[i];
        data[i] = data[i + 1];
        data[i + 1] = t;
    }
}

}  // namespace trnhost
