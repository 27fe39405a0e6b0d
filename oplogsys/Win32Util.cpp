#include "Win32Util.h"

#include <vector>

namespace opLogSys {
namespace Common {

std::wstring GetHostExecutablePath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD len =
            GetModuleFileNameW(GetModuleHandleW(nullptr), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (len == 0) return std::wstring();
        if (len < buffer.size()) return std::wstring(buffer.data(), len);
        if (buffer.size() >= 32768) return std::wstring();
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring GetHostExecutableDirectory() {
    const std::wstring path = GetHostExecutablePath();
    const size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return std::wstring();
    return path.substr(0, slash + 1);
}

std::wstring WithTrailingBackslash(const std::wstring& path) {
    if (!path.empty() && path.back() != L'\\' && path.back() != L'/') return path + L'\\';
    return path;
}

std::string ToAnsi(const wchar_t* text) {
    if (!text || !*text) return std::string();
    // Entries are short; the stack buffer serves almost all of them.
    char stackBuffer[1024];
    int len = WideCharToMultiByte(CP_ACP, 0, text, -1, stackBuffer, sizeof(stackBuffer), nullptr, nullptr);
    if (len > 0) return std::string(stackBuffer, len - 1);
    len = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (len <= 0) return std::string();
    std::string result(static_cast<size_t>(len), '\0');
    len = WideCharToMultiByte(CP_ACP, 0, text, -1, &result[0], len, nullptr, nullptr);
    result.resize(len > 0 ? static_cast<size_t>(len - 1) : 0);
    return result;
}

DWORD WriteAll(HANDLE hFile, const void* bytes, DWORD size) {
    const char* p = static_cast<const char*>(bytes);
    DWORD total = 0;
    while (total < size) {
        DWORD written = 0;
        if (!WriteFile(hFile, p + total, size - total, &written, nullptr) || written == 0) break;
        total += written;
    }
    return total;
}

}  // namespace Common
}  // namespace opLogSys
