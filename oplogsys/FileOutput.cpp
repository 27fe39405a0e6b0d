#include "FileOutput.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <cwchar>
#include <new>

namespace opLogSys {
namespace File {

namespace {

bool PathExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsDirectory(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring DesktopDirectory() {
    wchar_t path[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathW(nullptr, path, CSIDL_DESKTOP, TRUE)) return std::wstring();
    return path;
}

std::wstring BelowDirectory(const std::wstring& location, const std::wstring& exeDirectory) {
    wchar_t path[MAX_PATH] = {};
    if (exeDirectory.size() >= MAX_PATH) return std::wstring();
    wcscpy(path, exeDirectory.c_str());
    if (!PathAppendW(path, location.c_str())) return std::wstring();
    if (!IsDirectory(path)) SHCreateDirectoryExW(nullptr, path, nullptr);
    return IsDirectory(path) ? std::wstring(path) : std::wstring();
}

std::wstring ExplicitDirectory(std::wstring location) {
    if (location.size() > MAX_PATH - 1) location.resize(MAX_PATH - 1);
    while (location.size() > 1 && location.back() == L'\\') location.pop_back();
    const DWORD attributes = GetFileAttributesW(location.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return std::wstring();
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return location;
    const size_t slash = location.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : location.substr(0, slash);
}

std::wstring TimeStamp() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t stamp[64];
    _snwprintf(stamp, 63, L"%04d-%02d-%02d [%02d-%02d-%02d]", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
               now.wSecond);
    stamp[63] = L'\0';
    return stamp;
}

// "name.log" -> "name[NN].log" for the first NN from 1 to 98 that is free,
// else 99 (which is then appended to).
std::wstring NumberedName(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    size_t dot = path.find_last_of(L'.');
    if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) dot = path.size();
    const std::wstring stem = path.substr(0, dot);
    const std::wstring extension = path.substr(dot);
    std::wstring candidate;
    for (int number = 1; number <= 99; ++number) {
        wchar_t suffix[8];
        _snwprintf(suffix, 7, L"[%02d]", number);
        suffix[7] = L'\0';
        candidate = stem + suffix + extension;
        if (!PathExists(candidate)) break;
    }
    return candidate;
}

}  // namespace

std::wstring ResolveLogDirectory(const std::wstring& location, const std::wstring& exeDirectory) {
    std::wstring directory;
    if (location == L"desktop")
        directory = DesktopDirectory();
    else if (location.empty() || location == L"current")
        directory = exeDirectory;
    else if (location[0] == L'.')
        directory = BelowDirectory(location, exeDirectory);
    else
        directory = ExplicitDirectory(location);
    if (directory.empty()) directory = exeDirectory;
    return Common::WithTrailingBackslash(directory);
}

CFileIO::CFileIO(const wchar_t* channelName, bool autoFlush, const wchar_t* location)
    : m_bAutoFlush(autoFlush), m_strLocation(location ? location : L"") {
    const std::wstring directory = ResolveLogDirectory(m_strLocation, Common::GetHostExecutableDirectory());
    m_strPath = directory + (channelName ? channelName : L"") + L"-" + TimeStamp() + L".log";
}

CFileIO::~CFileIO() {
    if (m_hFile.valid()) FlushFileBuffers(m_hFile.get());
}

int CFileIO::Lock() { return m_cs.Lock(); }

int CFileIO::Unlock() { return m_cs.Unlock(); }

std::wstring CFileIO::GetPath() const {
    Common::CLockGuard<Common::CCriticalSection> guard(m_cs);
    return m_strPath;
}

bool CFileIO::EnsureOpen() {
    if (m_hFile.valid()) return true;
    // Another writer (module, process) may own a file of this name already.
    if (PathExists(m_strPath)) m_strPath = NumberedName(m_strPath);
    m_hFile.reset(CreateFileW(m_strPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!m_hFile.valid()) return false;
    LARGE_INTEGER zero = {};
    SetFilePointerEx(m_hFile.get(), zero, nullptr, FILE_END);
    return true;
}

int CFileIO::WriteLine(const wchar_t* text) {
    Common::CLockGuard<Common::CCriticalSection> guard(m_cs);
    if (!EnsureOpen()) return -1;
    const DWORD bytes = static_cast<DWORD>((text ? wcslen(text) : 0) * sizeof(wchar_t));
    const DWORD written = bytes ? Common::WriteAll(m_hFile.get(), text, bytes) : 0;
    // UTF-16 code units CR and LF, little-endian as the text itself.
    static const unsigned char kLineEnd[] = {0x0D, 0x00, 0x0A, 0x00};
    Common::WriteAll(m_hFile.get(), kLineEnd, sizeof(kLineEnd));
    return static_cast<int>(written);
}

int CFileIO::Write(const wchar_t* text) {
    Common::CLockGuard<Common::CCriticalSection> guard(m_cs);
    if (!EnsureOpen()) return -1;
    const std::string bytes = Common::ToAnsi(text);
    if (bytes.empty()) return 0;
    return static_cast<int>(Common::WriteAll(m_hFile.get(), bytes.data(), static_cast<DWORD>(bytes.size())));
}

void CFileIO::Flush() {
    Common::CLockGuard<Common::CCriticalSection> guard(m_cs);
    if (m_hFile.valid() && m_bAutoFlush) FlushFileBuffers(m_hFile.get());
}

COutputLogSystemFactory::COutputLogSystemFactory(bool autoFlush, const wchar_t* location)
    : m_bAutoFlush(autoFlush), m_strLocation(location ? location : L"") {}

ILogIO* COutputLogSystemFactory::CreateLogIO(const wchar_t* channelName) {
    return new (std::nothrow) CFileIO(channelName, m_bAutoFlush, m_strLocation.c_str());
}

}  // namespace File
}  // namespace opLogSys
