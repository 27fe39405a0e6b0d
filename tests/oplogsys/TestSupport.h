// Instruments shared by the logging tests: a capturing output object and
// factory, a scratch folder and small file helpers.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "oplogsys/FactoryBase.h"
#include "oplogsys/Lock.h"
#include "oplogsys/LogSysInfo.h"

namespace testsupport {

// Records every call as "Lock", "Unlock", "Flush", "W:<text>" or "L:<text>".
class CCaptureIO : public opLogSys::Common::CReference<opLogSys::ILogIO> {
public:
    int Lock() override {
        m_cs.Lock();
        Record(L"Lock");
        return 0;
    }
    int Unlock() override {
        Record(L"Unlock");
        m_cs.Unlock();
        return 0;
    }
    int WriteLine(const wchar_t* text) override {
        Record(std::wstring(L"L:") + text);
        return 0;
    }
    int Write(const wchar_t* text) override {
        Record(std::wstring(L"W:") + text);
        return 0;
    }
    void Flush() override { Record(L"Flush"); }

    std::vector<std::wstring> Calls() {
        opLogSys::Common::CLockGuard<opLogSys::Common::CCriticalSection> guard(m_cs);
        return m_calls;
    }
    // The written texts joined, with the entries' CR LF kept.
    std::wstring Text() {
        std::wstring text;
        for (const std::wstring& call : Calls())
            if (call.compare(0, 2, L"W:") == 0) text += call.substr(2);
        return text;
    }

private:
    void Record(const std::wstring& call) {
        opLogSys::Common::CLockGuard<opLogSys::Common::CCriticalSection> guard(m_cs);
        m_calls.push_back(call);
    }

    opLogSys::Common::CCriticalSection m_cs;
    std::vector<std::wstring> m_calls;
};

// Hands the same capturing output to every channel.
class CCaptureFactory : public opLogSys::Common::COutputLogSystemFactoryBase {
public:
    explicit CCaptureFactory(CCaptureIO* io) : m_pIO(io) { m_pIO->AddRef(); }
    ~CCaptureFactory() override { m_pIO->Release(); }
    opLogSys::ILogIO* CreateLogIO(const wchar_t* channelName) override {
        m_channels.push_back(channelName);
        m_pIO->AddRef();
        return m_pIO;
    }
    std::vector<std::wstring> m_channels;

private:
    CCaptureIO* m_pIO;
};

// A folder under the temp directory, removed with its content at the end.
class CScratchFolder {
public:
    CScratchFolder();
    ~CScratchFolder();
    const std::wstring& Path() const { return m_strPath; }  // ends in a backslash
    std::wstring operator/(const std::wstring& name) const { return m_strPath + name; }

private:
    std::wstring m_strPath;
};

void RemoveTree(const std::wstring& path);
std::string ReadFileBytes(const std::wstring& path);
void WriteFileBytes(const std::wstring& path, const std::string& bytes);
bool FileExists(const std::wstring& path);
std::vector<std::string> SplitLines(const std::string& text);  // on CR LF, last may be partial
std::wstring ExeDirectory();
std::wstring Narrow2Wide(const std::string& text);
std::string Wide2Narrow(const std::wstring& text);

}  // namespace testsupport
