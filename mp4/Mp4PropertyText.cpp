#include "mp4/Mp4PropertyText.h"

namespace {

const unsigned kReplacement = 0xFFFD;

// Appends one code point in the platform's wide form.
void AppendCodePoint(std::wstring& out, unsigned cp) {
    if (sizeof(wchar_t) == 2 && cp > 0xFFFF) {
        cp -= 0x10000;
        out.push_back((wchar_t)(0xD800 + (cp >> 10)));
        out.push_back((wchar_t)(0xDC00 + (cp & 0x3FF)));
    } else {
        out.push_back((wchar_t)cp);
    }
}

bool IsHighSurrogate(unsigned u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(unsigned u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Length of a UTF-8 sequence from its lead byte, 0 when the byte cannot lead.
size_t Utf8SequenceLength(BYTE lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

// Code points of a wide string, pairing surrogates where wchar_t is 16 bits.
template <typename Fn>
void ForEachCodePoint(const std::wstring& text, Fn fn) {
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned u = (unsigned)text[i];
        if (sizeof(wchar_t) == 2) u &= 0xFFFF;
        if (IsHighSurrogate(u) && i + 1 < text.size() && IsLowSurrogate((unsigned)text[i + 1] & 0xFFFF)) {
            u = 0x10000 + ((u - 0xD800) << 10) + (((unsigned)text[i + 1] & 0xFFFF) - 0xDC00);
            ++i;
        } else if (IsHighSurrogate(u) || IsLowSurrogate(u) || u > 0x10FFFF) {
            u = kReplacement;
        }
        fn(u);
    }
}

HRESULT ReadUtf16Text(CMp4ByteCursor& cursor, bool bBigEndian, std::wstring& text) {
    const BYTE* pb = cursor.Current();
    size_t cUnits = cursor.Remaining() / 2;
    for (size_t i = 0; i < cUnits; ++i) {
        if (pb[2 * i] == 0 && pb[2 * i + 1] == 0) {
            text = Mp4DecodeUtf16(pb, i, bBigEndian);
            cursor.Skip(2 * i + 2);
            return S_OK;
        }
    }
    return E_INVALIDARG;
}

HRESULT ReadUtf8Text(CMp4ByteCursor& cursor, std::wstring& text) {
    const BYTE* pb = cursor.Current();
    size_t cb = cursor.Remaining();
    for (size_t i = 0; i < cb; ++i) {
        if (pb[i] == 0) {
            text = Mp4DecodeUtf8(pb, i);
            cursor.Skip(i + 1);
            return S_OK;
        }
    }
    return E_INVALIDARG;
}

}  // namespace

std::wstring Mp4DecodeUtf8(const BYTE* pb, size_t cb) {
    std::wstring out;
    size_t i = 0;
    while (i < cb) {
        BYTE lead = pb[i];
        size_t len = Utf8SequenceLength(lead);
        if (len == 1) {
            out.push_back((wchar_t)lead);
            ++i;
            continue;
        }
        bool valid = len != 0 && i + len <= cb;
        unsigned cp = 0;
        if (valid) {
            cp = lead & (0xFF >> (len + 1));
            for (size_t k = 1; k < len && valid; ++k) {
                BYTE b = pb[i + k];
                valid = (b & 0xC0) == 0x80;
                cp = cp << 6 | (b & 0x3F);
            }
        }
        // Overlong forms, surrogates and values past U+10FFFF are not text.
        if (valid &&
            ((len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)))
            valid = false;
        if (valid) {
            AppendCodePoint(out, cp);
            i += len;
        } else {
            AppendCodePoint(out, kReplacement);
            ++i;
        }
    }
    return out;
}

std::wstring Mp4DecodeUtf16(const BYTE* pb, size_t cUnits, bool bBigEndian) {
    auto unitAt = [&](size_t i) -> unsigned {
        return bBigEndian ? (unsigned)(pb[2 * i] << 8 | pb[2 * i + 1]) : (unsigned)(pb[2 * i + 1] << 8 | pb[2 * i]);
    };
    std::wstring out;
    for (size_t i = 0; i < cUnits; ++i) {
        unsigned u = unitAt(i);
        if (IsHighSurrogate(u) && i + 1 < cUnits && IsLowSurrogate(unitAt(i + 1))) {
            AppendCodePoint(out, 0x10000 + ((u - 0xD800) << 10) + (unitAt(i + 1) - 0xDC00));
            ++i;
        } else if (IsHighSurrogate(u) || IsLowSurrogate(u)) {
            AppendCodePoint(out, kReplacement);
        } else {
            AppendCodePoint(out, u);
        }
    }
    return out;
}

std::string Mp4EncodeUtf8(const std::wstring& text) {
    std::string out;
    ForEachCodePoint(text, [&](unsigned cp) {
        if (cp < 0x80) {
            out.push_back((char)cp);
        } else if (cp < 0x800) {
            out.push_back((char)(0xC0 | cp >> 6));
            out.push_back((char)(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back((char)(0xE0 | cp >> 12));
            out.push_back((char)(0x80 | (cp >> 6 & 0x3F)));
            out.push_back((char)(0x80 | (cp & 0x3F)));
        } else {
            out.push_back((char)(0xF0 | cp >> 18));
            out.push_back((char)(0x80 | (cp >> 12 & 0x3F)));
            out.push_back((char)(0x80 | (cp >> 6 & 0x3F)));
            out.push_back((char)(0x80 | (cp & 0x3F)));
        }
    });
    return out;
}

std::vector<WORD> Mp4EncodeUtf16(const std::wstring& text) {
    std::vector<WORD> out;
    ForEachCodePoint(text, [&](unsigned cp) {
        if (cp > 0xFFFF) {
            cp -= 0x10000;
            out.push_back((WORD)(0xD800 + (cp >> 10)));
            out.push_back((WORD)(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back((WORD)cp);
        }
    });
    return out;
}

HRESULT Mp4ReadText(CMp4ByteCursor& cursor, BYTE& state, std::wstring& text) {
    text.clear();
    const BYTE* pb = cursor.Current();
    size_t cb = cursor.Remaining();
    // A bare terminator in the current encoding is an empty text.
    if (state == MP4_TEXT_UTF8 && cb >= 1 && pb[0] == 0) {
        cursor.Skip(1);
        return S_OK;
    }
    if ((state == MP4_TEXT_UTF16BE || state == MP4_TEXT_UTF16LE) && cb >= 2 && pb[0] == 0 && pb[1] == 0) {
        cursor.Skip(2);
        return S_OK;
    }

    bool bUtf16 = false;
    bool bBigEndian = true;
    size_t cbMark = 0;
    if (cb >= 2 && pb[0] == 0xFE && pb[1] == 0xFF) {
        bUtf16 = true;
        cbMark = 2;
    } else if (cb >= 2 && pb[0] == 0xFF && pb[1] == 0xFE) {
        bUtf16 = true;
        bBigEndian = false;
        cbMark = 2;
    } else if (state == MP4_TEXT_UTF16BE || state == MP4_TEXT_UTF16LE) {
        // Later strings of a UTF-16 frame may omit the mark; read on in the same order.
        bUtf16 = true;
        bBigEndian = state == MP4_TEXT_UTF16BE;
    }

    CMp4ByteCursor rest(pb + cbMark, cb - cbMark);
    HRESULT hr = bUtf16 ? ReadUtf16Text(rest, bBigEndian, text) : ReadUtf8Text(rest, text);
    if (FAILED(hr)) {
        text.clear();
        return hr;
    }
    cursor.Skip(cbMark + rest.Position());
    state = !bUtf16 ? MP4_TEXT_UTF8 : bBigEndian ? MP4_TEXT_UTF16BE : MP4_TEXT_UTF16LE;
    return S_OK;
}

void Mp4WriteText(std::vector<BYTE>& out, const std::wstring& text, Mp4TextMode mode, bool bByteOrderMark) {
    if (mode == MP4_WRITE_UTF8) {
        std::string utf8 = Mp4EncodeUtf8(text);
        out.insert(out.end(), utf8.begin(), utf8.end());
        out.push_back(0);
        return;
    }
    bool bBigEndian = mode == MP4_WRITE_UTF16BE;
    auto put = [&](WORD w) {
        out.push_back(bBigEndian ? (BYTE)(w >> 8) : (BYTE)w);
        out.push_back(bBigEndian ? (BYTE)w : (BYTE)(w >> 8));
    };
    if (bByteOrderMark) put(0xFEFF);
    for (WORD w : Mp4EncodeUtf16(text)) put(w);
    put(0);
}
