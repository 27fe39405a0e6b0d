#include "OutputLogSystem.h"

#include <cwchar>
#include <new>

#include "ErrorLogOutput.h"
#include "LogSysInfo.h"

namespace opLogSys {

namespace {

const size_t kPrintfChars = 1024;
const DWORD kMaxDumpLineSize = 64;

const wchar_t kDumpOpen[] = L"\x52B5";
const wchar_t kDumpLine[] = L"\x5294";
const wchar_t kDumpClose[] = L"\x52B7";

// Fixed stack buffer; longer results are cut to 1023 characters.
struct SPrintfBuffer {
    wchar_t m_sz[kPrintfChars];

    const wchar_t* Format(const wchar_t* format, va_list args) {
        m_sz[0] = L'\0';
        if (format) _vsnwprintf(m_sz, kPrintfChars - 1, format, args);
        m_sz[kPrintfChars - 1] = L'\0';
        return m_sz;
    }
};

std::wstring Hex2(unsigned value) {
    wchar_t text[4];
    _snwprintf(text, 3, L"%02X", value & 0xFF);
    text[3] = L'\0';
    return text;
}

// Runs a logging step; nothing it throws reaches the caller.
template <class Body>
HRESULT NoThrow(Body body, HRESULT onFailure = S_OK) {
    try {
        return body();
    } catch (...) {
        return onFailure;
    }
}

bool IsControlForDump(unsigned char byte) {
    switch (byte) {
        case 0x00:
        case 0x07:
        case 0x08:
        case 0x09:
        case 0x0A:
        case 0x0C:
        case 0x0D:
            return true;
        default:
            return false;
    }
}

}  // namespace

COutputLogSystem::COutputLogSystem(const wchar_t* channelName, ILogSysInfo* info, const wchar_t* errorLogPath,
                                   DWORD errorLogSizeLimit, bool errorLogTrimming)
    : m_strChannelName(channelName ? channelName : L""),
      m_strErrorLogPath(errorLogPath ? errorLogPath : L""),
      m_dwErrorLogSizeLimit(errorLogSizeLimit),
      m_bErrorLogTrimming(errorLogTrimming) {
    // Without a configuration the defaults hold: null back-end, no filters.
    Common::CRefPtr<CLogSysInfo> defaults;
    if (!info) {
        defaults.reset(new CLogSysInfo());
        info = defaults.get();
    }
    m_pFactory.reset(info->GetFactory());
    m_pFilter.reset(info->GetFilter());
}

COutputLogSystem::~COutputLogSystem() {
    // Logs before their outputs, then the back-end itself.
    m_mapChannels.clear();
    m_pFilter.reset();
    m_pFactory.reset();
}

ILog* COutputLogSystem::FindThreadLog() {
    if (!m_pFactory) return nullptr;
    Common::CLockGuard<Common::CCriticalSection> guard(m_cs);
    auto found = m_mapChannels.find(m_strChannelName);
    if (found == m_mapChannels.end()) {
        found = m_mapChannels.emplace(m_strChannelName, SChannel()).first;
        found->second.m_strName = m_strChannelName;
        found->second.m_pIO.reset(m_pFactory->CreateLogIO(m_strChannelName.c_str()));
    }
    SChannel& channel = found->second;
    const DWORD threadId = GetCurrentThreadId();
    const auto log = channel.m_mapLogs.find(threadId);
    if (log != channel.m_mapLogs.end()) return log->second.get();

    Common::CRefPtr<ILog> created(m_pFactory->CreateLog(threadId, channel.m_pIO.get()));
    if (!created) return nullptr;
    Common::CRefPtr<ILog>& slot = channel.m_mapLogs[created->GetId()];
    slot = std::move(created);
    return slot.get();
}

bool COutputLogSystem::IsEnabled(const wchar_t* subject, int level) {
    // A null subject is refused by the filter with an exception; here it
    // simply means "not enabled".
    try {
        return m_pFilter && m_pFilter->IsEnabled(subject, level) == S_OK;
    } catch (...) {
        return false;
    }
}

HRESULT COutputLogSystem::Printf(const wchar_t* format, ...) {
    SPrintfBuffer buffer;
    va_list args;
    va_start(args, format);
    const wchar_t* text = buffer.Format(format, args);
    va_end(args);
    return Write(text);
}

HRESULT COutputLogSystem::PrintfIf(const wchar_t* subject, int level, const wchar_t* format, ...) {
    SPrintfBuffer buffer;
    va_list args;
    va_start(args, format);
    const wchar_t* text = buffer.Format(format, args);
    va_end(args);
    return WriteIf(subject, level, text);
}

HRESULT COutputLogSystem::Write(const wchar_t* text) {
    return NoThrow([&] {
        if (ILog* log = FindThreadLog()) log->Write(text);
        return S_OK;
    });
}

HRESULT COutputLogSystem::WriteIf(const wchar_t* subject, int level, const wchar_t* text) {
    if (IsEnabled(subject, level)) Write(text);
    return S_OK;
}

HRESULT COutputLogSystem::WriteDumpFrame(const wchar_t* title, const wchar_t* message) {
    Common::CLockGuard<COutputLogSystem> block(*this);
    Write(kDumpOpen);
    Printf(L"\x5294[%ls]", title ? title : L"");
    Write((std::wstring(kDumpLine) + message).c_str());
    Write(kDumpClose);
    return S_OK;
}

HRESULT COutputLogSystem::Dump(const wchar_t* title, const void* data, DWORD size, DWORD lineSize) {
    return NoThrow(
        [&]() -> HRESULT {
            if (IsBadReadPtr(data, size)) {
                WriteDumpFrame(title, L"Bad read Pointer.");
                return E_POINTER;
            }
            if (lineSize == 0 || lineSize > kMaxDumpLineSize) {
                WriteDumpFrame(title, L"Invalided Parameter : nLineSize == 0 || nLineSize > 64");
                return E_INVALIDARG;
            }

            std::wstring columns;
            std::wstring rule;
            for (DWORD c = 0; c < lineSize; ++c) {
                if (c % 8 == 0) {
                    columns += L' ';
                    rule += L' ';
                }
                columns += Hex2(c) + L' ';
                rule += L"---";
            }

            // One block: no other thread's entries between the dump's lines.
            Common::CLockGuard<COutputLogSystem> block(*this);
            Write(kDumpOpen);
            Printf(L"\x5294[%ls]", title ? title : L"");
            Write(kDumpLine);
            Printf(L"\x5294%ls", columns.c_str());
            Printf(L"\x5294%ls", rule.c_str());

            const unsigned char* bytes = static_cast<const unsigned char*>(data);
            for (DWORD offset = 0; offset < size; offset += lineSize) {
                std::wstring hex;
                char text[kMaxDumpLineSize];
                for (DWORD c = 0; c < lineSize; ++c) {
                    if (c % 8 == 0) hex += L' ';
                    if (offset + c < size) {
                        const unsigned char byte = bytes[offset + c];
                        hex += Hex2(byte) + L' ';
                        text[c] = IsControlForDump(byte) ? ' ' : static_cast<char>(byte);
                    } else {
                        hex += L"   ";
                        text[c] = ' ';
                    }
                }
                wchar_t wideText[kPrintfChars];
                const int chars = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(lineSize), wideText,
                                                      static_cast<int>(kPrintfChars - 1));
                wideText[chars > 0 ? chars : 0] = L'\0';
                Printf(L"\x5294%ls    %ls", hex.c_str(), wideText);
                if (size - offset <= lineSize) break;
            }

            Write(kDumpClose);
            return S_OK;
        },
        E_FAIL);
}

HRESULT COutputLogSystem::DumpIf(const wchar_t* subject, int level, const wchar_t* title, const void* data, DWORD size,
                                 DWORD lineSize) {
    if (IsEnabled(subject, level)) Dump(title, data, size, lineSize);
    return S_OK;
}

HRESULT COutputLogSystem::ErrorPrintfAt(int line, DWORD reserved, const wchar_t* source, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    const HRESULT hr = ErrorVPrintfAt(line, reserved, source, format, args);
    va_end(args);
    return hr;
}

HRESULT COutputLogSystem::ErrorPrintf(const wchar_t* format, ...) {
    SPrintfBuffer buffer;
    va_list args;
    va_start(args, format);
    const wchar_t* text = buffer.Format(format, args);
    va_end(args);
    return ErrorWrite(text);
}

HRESULT COutputLogSystem::ErrorVPrintfAt(int line, DWORD reserved, const wchar_t* source, const wchar_t* format,
                                         va_list args) {
    SPrintfBuffer buffer;
    return ErrorWriteAt(line, reserved, source, buffer.Format(format, args));
}

HRESULT COutputLogSystem::ErrorWriteAt(int line, DWORD, const wchar_t* source, const wchar_t* text) {
    return ErrorPrintf(L"%05d:[%ls] %ls", line, source ? source : L"", text ? text : L"");
}

void COutputLogSystem::WriteProcessHeader(ILog* errorLog) {
    FILETIME created, exited, kernel, user, local;
    SYSTEMTIME stamp;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user) ||
        !FileTimeToLocalFileTime(&created, &local) || !FileTimeToSystemTime(&local, &stamp))
        GetLocalTime(&stamp);
    const std::wstring rule(79, L'-');
    errorLog->WriteAt(&stamp, rule.c_str());
    errorLog->WriteAt(&stamp, Common::GetHostExecutablePath().c_str());
    errorLog->WriteAt(&stamp, rule.c_str());
}

HRESULT COutputLogSystem::ErrorWrite(const wchar_t* text) {
    if (m_strErrorLogPath.empty()) return S_OK;
    return NoThrow([&] {
        Common::CLockGuard<Common::CCriticalSection> guard(m_cs);
        if (!m_pFactory) return S_OK;
        Common::CRefPtr<ILogIO> io(new (std::nothrow) COutputErrorLogIO(m_strErrorLogPath.c_str(),
                                                                        m_dwErrorLogSizeLimit, m_bErrorLogTrimming));
        if (!io) return S_OK;
        Common::CRefPtr<ILog> errorLog(m_pFactory->CreateErrorLog(io.get()));
        if (!errorLog) return S_OK;

        if (!m_hHeaderMutex.valid()) {
            errorLog->Begin();
            std::wstring name(32 + m_strErrorLogPath.size(), L'\0');
            const int len = _snwprintf(&name[0], name.size() - 1, L"OPLOGSYS_ERRORLOG:%08X:%ls",
                                       static_cast<unsigned>(GetCurrentProcessId()), m_strErrorLogPath.c_str());
            name.resize(len > 0 ? static_cast<size_t>(len) : 0);
            for (wchar_t& ch : name)
                if (ch == L'\\' || ch == L':' || ch == L'.') ch = L'_';
            m_hHeaderMutex.reset(CreateMutexW(nullptr, FALSE, name.c_str()));
            const DWORD dwError = GetLastError();
            // Without the marker every entry would repeat the header; one
            // header too few is the smaller harm.
            if (m_hHeaderMutex.valid() && dwError != ERROR_ALREADY_EXISTS) WriteProcessHeader(errorLog.get());
            errorLog->End();
        }

        io.reset();
        errorLog->Write(text);
        return S_OK;
    });
}

HRESULT COutputLogSystem::Lock() {
    return NoThrow([&] {
        if (ILog* log = FindThreadLog()) log->Begin();
        return S_OK;
    });
}

HRESULT COutputLogSystem::Unlock() {
    return NoThrow([&] {
        if (ILog* log = FindThreadLog()) log->End();
        return S_OK;
    });
}

}  // namespace opLogSys
