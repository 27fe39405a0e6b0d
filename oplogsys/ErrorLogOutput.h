// The shared error log file. It is opened and closed around every entry
// under a named mutex shared by all processes, so that entries never mix
// and the size check and the ".bak" rollover run while nobody else writes.
#pragma once

#include "base/UniqueResource.h"

#include <memory>
#include <string>

#include "Interfaces.h"
#include "Lock.h"
#include "Win32Util.h"

namespace opLogSys {

// "COutputErrorLogIO::" + the file name without folder and extension.
std::wstring ErrorLogMutexName(const std::wstring& path);

// Offset from which the content of an oversized log is kept: whole lines
// (CR LF, double-byte characters of codePage stepped over) are dropped
// from the start until the rest fits the limit or 4 bytes or fewer remain.
size_t ErrorLogTrimOffset(const char* data, size_t size, size_t limit, UINT codePage);

class COutputErrorLogIO : public Common::CReference<ILogIO> {
public:
    COutputErrorLogIO(const wchar_t* path, DWORD sizeLimit, bool trimming);
    virtual ~COutputErrorLogIO();

    // Takes the mutex and opens the file on the first of nested calls.
    virtual int Lock();
    // Closes the file (with the size check) and releases on the last.
    virtual int Unlock();
    virtual int WriteLine(const wchar_t* text);
    // Text in the ANSI code page; 0 when the file could not be opened.
    virtual int Write(const wchar_t* text);
    virtual void Flush() {}

private:
    void Open();
    void CloseWithSizeCheck();

    std::wstring m_strPath;
    std::unique_ptr<Common::CMutex> m_pMutex;
    UniqueFileHandle m_hFile;
    int m_nOpen;
    DWORD m_dwSizeLimit;
    bool m_bTrimming;
};

}  // namespace opLogSys
