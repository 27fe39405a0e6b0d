// The two entry formatters: CLog (one per channel and thread) and CErrorLog.
#pragma once

#include "Interfaces.h"

namespace opLogSys {

// Formats "[id][date(time)]" + indentation + text. Belongs to one thread, so
// its counters are not locked.
class CLog : public Common::CReference<ILog> {
public:
    // Keeps one reference on io (which may be null: entries are then dropped).
    CLog(DWORD id, ILogIO* io);

    virtual int Indent();
    virtual int Unindent();
    virtual int WriteAt(const SYSTEMTIME* time, const wchar_t* text);
    virtual int Write(const wchar_t* text);
    virtual int Begin();
    virtual int End();
    virtual DWORD GetId();

    int GetIndent() const { return m_nIndent; }

private:
    Common::CRefPtr<ILogIO> m_pIO;
    int m_nIndent;
    int m_nBlock;
    DWORD m_dwId;
};

// Formats "[date time][pid][tid] " + text for the shared error log.
class CErrorLog : public Common::CReference<ILog> {
public:
    explicit CErrorLog(ILogIO* io);

    virtual int Indent() { return 1; }
    virtual int Unindent() { return 1; }
    virtual int WriteAt(const SYSTEMTIME* time, const wchar_t* text);
    virtual int Write(const wchar_t* text);
    virtual int Begin() { return 1; }
    virtual int End() { return 1; }
    virtual DWORD GetId() { return 0; }

private:
    Common::CRefPtr<ILogIO> m_pIO;
};

}  // namespace opLogSys
