// CPcmFormatDescriptor over any text: either the three numbers of a linear
// PCM type or the bare E_INVALIDARG, nothing else.
#include "FuzzSupport.h"

#include "transcoder/PcmFormatDescriptor.h"

#include <cwctype>
#include <string>

namespace {

// The first byte chooses how the rest becomes wide characters: one byte each
// (the usual ASCII texts) or two bytes each (any UTF-16 unit, NUL included).
std::wstring WideText(const uint8_t* data, size_t size) {
    std::wstring text;
    if (size == 0) return text;
    const bool wide = data[0] & 1;
    for (size_t i = 1; i < size; i += wide ? 2 : 1) {
        wchar_t ch = data[i];
        if (wide) ch = wchar_t(data[i] | (i + 1 < size ? data[i + 1] << 8 : 0));
        text.push_back(ch);
    }
    return text;
}

bool StartsWithType(const std::wstring& text, const wchar_t* type) {
    if (text.size() < 9) return false;
    for (size_t i = 0; i < 9; ++i) {
        wchar_t a = text[i], b = type[i];
        if (a >= L'A' && a <= L'Z') a = wchar_t(a - L'A' + L'a');
        if (b >= L'A' && b <= L'Z') b = wchar_t(b - L'A' + L'a');
        if (a != b) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::wstring text = WideText(data, size);
    // The descriptor reads a C string: it ends at the first NUL.
    const std::wstring seen = text.substr(0, text.find(L'\0'));
    const bool l16 = StartsWithType(seen, L"audio/L16");
    const bool l24 = !l16 && StartsWithType(seen, L"audio/L24");
    try {
        CPcmFormatDescriptor format(text.c_str());
        FUZZ_REQUIRE(l16 || l24);
        FUZZ_REQUIRE(format.GetBitsPerSample() == (l16 ? 16 : 24));
    } catch (HRESULT hr) {
        FUZZ_REQUIRE(hr == E_INVALIDARG);
        FUZZ_REQUIRE(!l16 && !l24);
    }
    return 0;
}
