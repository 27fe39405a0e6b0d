// Small platform helpers and RAII owners used inside the logging library.
#pragma once

#include <windows.h>

#include <string>

namespace opLogSys {
namespace Common {

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
