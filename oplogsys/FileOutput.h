// The file back-end: one time-stamped log file per channel, opened on the
// first entry and kept open for the lifetime of the channel.
#pragma once

#include "base/UniqueResource.h"

#include <string>

#include "FactoryBase.h"
#include "Lock.h"
#include "Win32Util.h"

namespace opLogSys {
namespace File {

// Resolves a configured location into a directory ending in a backslash:
// "desktop", "current"/empty (the executable's folder), ".\sub" below the
// executable's folder (created if missing), or an existing folder or file.
// Anything that cannot be resolved falls back to exeDirectory.
std::wstring ResolveLogDirectory(const std::wstring& location, const std::wstring& exeDirectory);

class CFileIO : public Common::CReference<ILogIO> {
public:
    CFileIO(const wchar_t* channelName, bool autoFlush, const wchar_t* location);
    virtual ~CFileIO();

    // Lock/Unlock hold the output across a whole entry or block.
    virtual int Lock();
    virtual int Unlock();
    // UTF-16 text and UTF-16 CR LF, unconverted; returns the text's bytes.
    virtual int WriteLine(const wchar_t* text);
    // Text in the ANSI code page.
    virtual int Write(const wchar_t* text);
    virtual void Flush();

    // The file that is (or will be) written; changes when a numbered name is taken.
    std::wstring GetPath() const;

private:
    bool EnsureOpen();

    std::wstring m_strPath;
    UniqueFileHandle m_hFile;
    mutable Common::CCriticalSection m_cs;
    bool m_bAutoFlush;
    std::wstring m_strLocation;
};

class COutputLogSystemFactory : public Common::COutputLogSystemFactoryBase {
public:
    COutputLogSystemFactory(bool autoFlush, const wchar_t* location);

    virtual ILogIO* CreateLogIO(const wchar_t* channelName);

    bool GetAutoFlush() const { return m_bAutoFlush; }
    const std::wstring& GetLocation() const { return m_strLocation; }

private:
    bool m_bAutoFlush;
    std::wstring m_strLocation;
};

}  // namespace File
}  // namespace opLogSys
