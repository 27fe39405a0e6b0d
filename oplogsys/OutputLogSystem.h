// The routing object: per-channel outputs, per-thread logs, the error log.
// Lock order, outer to inner: CModuleLogger (creation only), this object's
// critical section, an output object's own lock, the filter's lock.
// No operation lets an exception reach its caller.
#pragma once

#include "base/UniqueResource.h"

#include <cstdarg>
#include <map>
#include <string>

#include "Interfaces.h"
#include "Lock.h"
#include "Win32Util.h"

namespace opLogSys {

class COutputLogSystem {
public:
    // Takes one reference on the factory and one on the filter of info
    // (tests pass a CLogSysInfo with their own filter and factory); a null
    // info means the defaults, so GetFilter never returns null.
    // errorLogPath may be empty: error entries are then dropped.
    COutputLogSystem(const wchar_t* channelName, ILogSysInfo* info, const wchar_t* errorLogPath,
                     DWORD errorLogSizeLimit, bool errorLogTrimming);
    COutputLogSystem(const COutputLogSystem&) = delete;
    COutputLogSystem& operator=(const COutputLogSystem&) = delete;
    virtual ~COutputLogSystem();

    // printf-style operations format into 1024 wide characters (at most 1023
    // kept) with the platform's wide printf: %s takes a wide string.
    virtual HRESULT Printf(const wchar_t* format, ...);
    virtual HRESULT PrintfIf(const wchar_t* subject, int level, const wchar_t* format, ...);
    // One entry on this system's channel through the calling thread's log.
    virtual HRESULT Write(const wchar_t* text);
    virtual HRESULT WriteIf(const wchar_t* subject, int level, const wchar_t* text);
    // Framed hex dump on this system's channel: E_POINTER for unreadable
    // memory, E_INVALIDARG for a line size of 0 or above 64, else S_OK.
    virtual HRESULT Dump(const wchar_t* title, const void* data, DWORD size, DWORD lineSize);
    virtual HRESULT DumpIf(const wchar_t* subject, int level, const wchar_t* title, const void* data, DWORD size,
                           DWORD lineSize);
    virtual HRESULT ErrorPrintfAt(int line, DWORD reserved, const wchar_t* source, const wchar_t* format, ...);
    virtual HRESULT ErrorPrintf(const wchar_t* format, ...);
    virtual HRESULT ErrorVPrintfAt(int line, DWORD reserved, const wchar_t* source, const wchar_t* format,
                                   va_list args);
    // Sends "%05d:[source] text" to ErrorWrite.
    virtual HRESULT ErrorWriteAt(int line, DWORD reserved, const wchar_t* source, const wchar_t* text);
    // One entry in the shared error log; the first of a process (per path)
    // is preceded by the three-line process header. Tests may override it.
    virtual HRESULT ErrorWrite(const wchar_t* text);
    // Keep the calling thread's channel output to itself (nestable).
    virtual HRESULT Lock();
    virtual HRESULT Unlock();

    // Borrowed; valid for the lifetime of this object.
    ILogFilter* GetFilter() const { return m_pFilter.get(); }
    const std::wstring& GetErrorLogPath() const { return m_strErrorLogPath; }

private:
    struct SChannel {
        std::wstring m_strName;
        Common::CRefPtr<ILogIO> m_pIO;
        std::map<DWORD, Common::CRefPtr<ILog>> m_mapLogs;
    };

    ILog* FindThreadLog();
    bool IsEnabled(const wchar_t* subject, int level);
    void WriteProcessHeader(ILog* errorLog);
    HRESULT WriteDumpFrame(const wchar_t* title, const wchar_t* message);

    Common::CCriticalSection m_cs;
    std::map<std::wstring, SChannel> m_mapChannels;
    std::wstring m_strChannelName;
    std::wstring m_strErrorLogPath;
    DWORD m_dwErrorLogSizeLimit;
    bool m_bErrorLogTrimming;
    Common::CRefPtr<IOutputLogSystemFactory> m_pFactory;
    Common::CRefPtr<ILogFilter> m_pFilter;
    // Marks, for every module of the process, that the header was written.
    UniqueHandle m_hHeaderMutex;
};

}  // namespace opLogSys
