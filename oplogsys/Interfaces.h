// Interfaces of the logging library. Every object handed out by a creating
// operation (CreateLogIO, CreateLog, CreateErrorLog, GetFactory, GetFilter)
// carries one reference that the receiver releases.
#pragma once

#include <windows.h>

#include "Reference.h"

namespace opLogSys {

// Levels are used only for filtering; callers put the tag into their text.
enum {
    LOG_LEVEL_FATAL = 0,
    LOG_LEVEL_ERROR = 1,
    LOG_LEVEL_WARNING = 2,
    LOG_LEVEL_INFO = 3,
    LOG_LEVEL_DEBUG = 4,
};

// "[FTL]" ... "[DBG]" for levels 0..4, null for anything else.
const char* GetLevelTag(int level);

class ILog : public IReference {
public:
    virtual int Indent() = 0;
    virtual int Unindent() = 0;
    virtual int WriteAt(const SYSTEMTIME* time, const wchar_t* text) = 0;
    virtual int Write(const wchar_t* text) = 0;
    virtual int Begin() = 0;
    virtual int End() = 0;
    virtual DWORD GetId() = 0;
};

// One output destination. Write and WriteLine return the bytes written or -1.
class ILogIO : public IReference {
public:
    virtual int Lock() = 0;
    virtual int Unlock() = 0;
    virtual int WriteLine(const wchar_t* text) = 0;
    virtual int Write(const wchar_t* text) = 0;
    virtual void Flush() = 0;
};

class IOutputLogSystemFactory : public IReference {
public:
    // Each returns null only when memory is exhausted.
    virtual ILogIO* CreateLogIO(const wchar_t* channelName) = 0;
    virtual ILog* CreateLog(DWORD threadId, ILogIO* io) = 0;
    virtual ILog* CreateErrorLog(ILogIO* io) = 0;
};

class ILogFilter : public IReference {
public:
    // S_OK when an entry of subject and level may be written, E_FAIL if not.
    // A null subject is thrown as the HRESULT E_FAIL.
    virtual HRESULT IsEnabled(const wchar_t* subject, int level) = 0;
    // S_OK when at least one filter is defined, E_FAIL otherwise.
    virtual HRESULT HasFilters() = 0;
};

// The configuration. Not an IReference: its implementation appends the
// destructor, AddRef and Release after these two.
class ILogSysInfo {
public:
    virtual IOutputLogSystemFactory* GetFactory() = 0;
    virtual ILogFilter* GetFilter() = 0;

protected:
    ~ILogSysInfo() {}
};

}  // namespace opLogSys
