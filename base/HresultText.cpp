#include "base/HresultText.h"

#include <cstdint>
#include <cstdio>
#include <sstream>

namespace trn {
namespace {

// Fallback texts are kept within 32 characters, terminator included.
const size_t kFallbackChars = 32;

std::wstring SystemMessage(HRESULT hr) {
    wchar_t* buffer = nullptr;
    const DWORD length =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, static_cast<DWORD>(hr), 0x0400, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    if (length == 0 || buffer == nullptr) return std::wstring();
    std::wstring text(buffer, length);
    ::LocalFree(buffer);
    if (!text.empty() && text.back() == L'\n') text.pop_back();
    if (!text.empty() && text.back() == L'\r') text.pop_back();
    return text;
}

}  // namespace

std::wstring HresultErrorText(HRESULT hr) {
    std::wstring text = SystemMessage(hr);
    if (!text.empty()) return text;
    wchar_t buffer[kFallbackChars];
    const uint32_t code = static_cast<uint32_t>(hr);
    if (code >= 0x80040200u && code <= 0x8004FFFFu && code - 0x80040200u != 0) {
        swprintf(buffer, kFallbackChars, L"IDispatch error #%d", static_cast<int>(code - 0x80040200u));
    } else {
        swprintf(buffer, kFallbackChars, L"Unknown error 0x%0lX", static_cast<unsigned long>(code));
    }
    buffer[kFallbackChars - 1] = L'\0';
    return buffer;
}

std::wstring HresultText(HRESULT hr) {
    std::wostringstream out;
    out << L"(0x" << HresultHex(hr) << L":" << HresultErrorText(hr) << L")";
    return out.str();
}

std::wstring HresultHex(HRESULT hr) {
    std::wostringstream out;
    out << std::hex << static_cast<unsigned long>(static_cast<uint32_t>(hr));
    return out.str();
}

}  // namespace trn
