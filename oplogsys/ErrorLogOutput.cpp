#include "ErrorLogOutput.h"

#include <vector>

namespace opLogSys {

namespace {

// Keeps the mutex for one scope, whatever path the scope leaves by.
typedef Common::CLockGuard<Common::CMutex> CMutexGuard;

bool IsLegalDoubleByte(const char* pair, UINT codePage) {
    if (!IsDBCSLeadByteEx(codePage, static_cast<BYTE>(pair[0]))) return false;
    wchar_t wide[2];
    return MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, pair, 2, wide, 2) == 1;
}

}  // namespace

std::wstring ErrorLogMutexName(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos) name.resize(dot);
    return L"COutputErrorLogIO::" + name;
}

size_t ErrorLogTrimOffset(const char* data, size_t size, size_t limit, UINT codePage) {
    size_t start = 0;
    size_t pos = 0;
    while (size - start > limit && size - start > 4) {
        if (pos + 1 >= size) return size;  // no line end left: the rest is one line
        if (pos + 1 < size && IsLegalDoubleByte(data + pos, codePage)) {
            pos += 2;
        } else if (data[pos] == '\r' && data[pos + 1] == '\n') {
            pos += 2;
            start = pos;
        } else {
            ++pos;
        }
    }
    return start;
}

COutputErrorLogIO::COutputErrorLogIO(const wchar_t* path, DWORD sizeLimit, bool trimming)
    : m_strPath(path ? path : L""),
      m_pMutex(new Common::CMutex(ErrorLogMutexName(m_strPath))),
      m_nOpen(0),
      m_dwSizeLimit(sizeLimit),
      m_bTrimming(trimming) {}

COutputErrorLogIO::~COutputErrorLogIO() {
    if (m_hFile.valid()) CloseWithSizeCheck();
}

void COutputErrorLogIO::Open() {
    if (m_strPath.empty()) return;
    m_hFile.reset(CreateFileW(m_strPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!m_hFile.valid()) return;
    LARGE_INTEGER zero = {};
    SetFilePointerEx(m_hFile.get(), zero, nullptr, FILE_END);
}

void COutputErrorLogIO::CloseWithSizeCheck() {
    LARGE_INTEGER size = {};
    const bool oversized = GetFileSizeEx(m_hFile.get(), &size) && size.QuadPart > static_cast<LONGLONG>(m_dwSizeLimit);

    if (oversized && m_bTrimming && size.QuadPart <= MAXDWORD) {
        std::vector<char> content(static_cast<size_t>(size.QuadPart));
        LARGE_INTEGER zero = {};
        DWORD read = 0;
        if (SetFilePointerEx(m_hFile.get(), zero, nullptr, FILE_BEGIN) &&
            ReadFile(m_hFile.get(), content.data(), static_cast<DWORD>(content.size()), &read, nullptr) &&
            read == content.size()) {
            const size_t keep = ErrorLogTrimOffset(content.data(), content.size(), m_dwSizeLimit, CP_ACP);
            const size_t rest = content.size() - keep;
            SetFilePointerEx(m_hFile.get(), zero, nullptr, FILE_BEGIN);
            if (rest > 4) Common::WriteAll(m_hFile.get(), content.data() + keep, static_cast<DWORD>(rest));
            SetEndOfFile(m_hFile.get());
        }
    }
    m_hFile.reset();

    if (oversized && !m_bTrimming && GetFileAttributesW(m_strPath.c_str()) != INVALID_FILE_ATTRIBUTES) {
        const std::wstring backup = m_strPath + L".bak";
        // An operator may have made the old backup read-only; it goes anyway.
        SetFileAttributesW(backup.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(backup.c_str());
        MoveFileW(m_strPath.c_str(), backup.c_str());
    }
}

int COutputErrorLogIO::Lock() {
    if (!m_pMutex) return 1;
    m_pMutex->Lock();
    if (m_nOpen == 0) Open();
    return ++m_nOpen;
}

int COutputErrorLogIO::Unlock() {
    if (!m_pMutex) return 0;
    if (m_nOpen > 0 && --m_nOpen == 0 && m_hFile.valid()) CloseWithSizeCheck();
    m_pMutex->Unlock();
    return m_nOpen;
}

int COutputErrorLogIO::WriteLine(const wchar_t* text) {
    CMutexGuard mutex(*m_pMutex);
    Common::CLockGuard<COutputErrorLogIO> open(*this);
    if (!m_hFile.valid()) return 0;
    return Write(text) + Write(L"\r\n");
}

int COutputErrorLogIO::Write(const wchar_t* text) {
    CMutexGuard mutex(*m_pMutex);
    Common::CLockGuard<COutputErrorLogIO> open(*this);
    if (!m_hFile.valid()) return 0;
    const std::string bytes = Common::ToAnsi(text);
    if (bytes.empty()) return 0;
    return static_cast<int>(Common::WriteAll(m_hFile.get(), bytes.data(), static_cast<DWORD>(bytes.size())));
}

}  // namespace opLogSys
