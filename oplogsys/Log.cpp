#include "Log.h"

#include <cwchar>

#include "Lock.h"

namespace opLogSys {

namespace {

const char* const kLevelTags[] = {"[FTL]", "[ERR]", "[WRN]", "[INF]", "[DBG]"};

const wchar_t kIndentChar = L'\x5286';
const int kMaxIndentChars = 63;
const size_t kHeaderChars = 256;

}  // namespace

const char* GetLevelTag(int level) {
    if (level < 0 || level >= static_cast<int>(sizeof(kLevelTags) / sizeof(kLevelTags[0]))) return nullptr;
    return kLevelTags[level];
}

CLog::CLog(DWORD id, ILogIO* io)
    : m_pIO(Common::CRefPtr<ILogIO>::FromBorrowed(io)), m_nIndent(0), m_nBlock(0), m_dwId(id) {}

int CLog::Indent() {
    ++m_nIndent;
    return 0;
}

int CLog::Unindent() {
    if (m_nIndent > 0) --m_nIndent;
    return 0;
}

int CLog::WriteAt(const SYSTEMTIME* time, const wchar_t* text) {
    if (!m_pIO || !time) return 0;
    wchar_t header[kHeaderChars];
    int len = _snwprintf(header, kHeaderChars - 1, L"[%08X][%04d/%02d/%02d(%02d:%02d:%02d.%03d)]",
                         static_cast<unsigned>(m_dwId), time->wYear, time->wMonth, time->wDay, time->wHour,
                         time->wMinute, time->wSecond, time->wMilliseconds);
    if (len < 0) len = 0;
    // The first nesting level is not shown; deeper ones get one mark each.
    for (int level = 1; level < m_nIndent && level <= kMaxIndentChars; ++level) header[len++] = kIndentChar;
    header[len] = L'\0';

    // The output stays locked for the three pieces, even if one throws.
    Common::CLockGuard<ILogIO> lock(*m_pIO);
    m_pIO->Write(header);
    m_pIO->Write(text ? text : L"");
    m_pIO->Write(L"\r\n");
    return 0;
}

int CLog::Write(const wchar_t* text) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return WriteAt(&now, text);
}

int CLog::Begin() {
    ++m_nBlock;
    if (m_pIO) m_pIO->Lock();
    return 0;
}

int CLog::End() {
    --m_nBlock;
    if (!m_pIO) return 0;
    if (m_nBlock <= 0) m_pIO->Flush();
    m_pIO->Unlock();
    return 0;
}

DWORD CLog::GetId() { return m_dwId; }

CErrorLog::CErrorLog(ILogIO* io) : m_pIO(Common::CRefPtr<ILogIO>::FromBorrowed(io)) {}

int CErrorLog::WriteAt(const SYSTEMTIME* time, const wchar_t* text) {
    if (!m_pIO || !time) return 0;
    Common::CLockGuard<ILogIO> lock(*m_pIO);
    wchar_t header[kHeaderChars];
    int len = _snwprintf(header, kHeaderChars - 1, L"[%04d/%02d/%02d %02d:%02d:%02d.%03d][%X][%08X] ", time->wYear,
                         time->wMonth, time->wDay, time->wHour, time->wMinute, time->wSecond, time->wMilliseconds,
                         static_cast<unsigned>(GetCurrentProcessId()), static_cast<unsigned>(GetCurrentThreadId()));
    header[len < 0 ? 0 : len] = L'\0';
    m_pIO->Write(header);
    m_pIO->Write(text ? text : L"");
    m_pIO->Write(L"\r\n");
    return 0;
}

int CErrorLog::Write(const wchar_t* text) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return WriteAt(&now, text);
}

}  // namespace opLogSys
