#include "tools/common/Utf8.h"

namespace trntools {

std::string Utf8(const std::wstring& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = static_cast<uint32_t>(text[i]);
        if (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDFFF) {
            const uint32_t next = i + 1 < text.size() ? static_cast<uint32_t>(text[i + 1]) : 0;
            if (c <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (next - 0xDC00);
                ++i;
            } else {
                c = kReplacementCharacter;
            }
        } else if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            c = kReplacementCharacter;
        }
        AppendUtf8(out, c);
    }
    return out;
}

void AppendUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

bool DecodeUtf8(const char* data, size_t size, uint32_t& codePoint, size_t& length) {
    const unsigned char lead = static_cast<unsigned char>(data[0]);
    codePoint = kReplacementCharacter;
    length = 1;
    if (lead < 0x80) {
        codePoint = lead;
        return true;
    }
    // Continuation bytes needed, and the range of the first one: the narrower
    // ranges exclude overlong forms, surrogates and values past U+10FFFF.
    size_t need = 0;
    unsigned char low = 0x80, high = 0xBF;
    uint32_t value = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 1;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 2;
        value = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 3;
        value = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return false;  // a continuation byte, or a lead no sequence may start with
    }
    for (size_t k = 1; k <= need; ++k) {
        length = k;
        if (k >= size) return false;
        const unsigned char c = static_cast<unsigned char>(data[k]);
        if (c < (k == 1 ? low : 0x80) || c > (k == 1 ? high : 0xBF)) return false;
        value = (value << 6) | (c & 0x3F);
    }
    codePoint = value;
    length = need + 1;
    return true;
}

}  // namespace trntools
