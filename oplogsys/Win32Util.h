// Small platform helpers and RAII owners used inside the logging library.
#pragma once

#include <windows.h>

#include <string>

namespace opLogSys {
namespace Common {

// Owns a Win32 handle whose invalid value is part of the type.
template <HANDLE (*Invalid)()>
class CUniqueHandle {
public:
    CUniqueHandle() : m_h(Invalid()) {}
    explicit CUniqueHandle(HANDLE h) : m_h(h) {}
    CUniqueHandle(const CUniqueHandle&) = delete;
    CUniqueHandle& operator=(const CUniqueHandle&) = delete;
    ~CUniqueHandle() { reset(); }

    void reset(HANDLE h = Invalid()) {
        if (m_h != Invalid()) CloseHandle(m_h);
        m_h = h;
    }
    HANDLE get() const { return m_h; }
    bool valid() const { return m_h != Invalid(); }

private:
    HANDLE m_h;
};

inline HANDLE NullHandleValue() { return nullptr; }
inline HANDLE InvalidHandleValue() { return INVALID_HANDLE_VALUE; }

typedef CUniqueHandle<NullHandleValue> CHandle;              // mutexes, processes
typedef CUniqueHandle<InvalidHandleValue> CFileHandle;       // CreateFileW results

// Full path of the host process's executable.
std::wstring GetHostExecutablePath();

// Drive and directory of the host process's executable, ending in a backslash.
std::wstring GetHostExecutableDirectory();

// Appends a backslash unless the path already ends in one.
std::wstring WithTrailingBackslash(const std::wstring& path);

// Converts to the ANSI code page in full; the result holds no terminator.
std::string ToAnsi(const wchar_t* text);

// Writes all of bytes; returns the count written (short on failure).
DWORD WriteAll(HANDLE hFile, const void* bytes, DWORD size);

}  // namespace Common
}  // namespace opLogSys
