// The module's way to its log system. One static instance per module; the
// log system is built from the configuration beside the host executable on
// first use and lives until the instance is destroyed.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "OutputLogSystem.h"
#include "base/CriticalSection.h"

class CModuleLogger {
public:
    // Throws the HRESULT if the critical section cannot be initialised.
    CModuleLogger(const wchar_t* subject, const wchar_t* configName);
    CModuleLogger(const CModuleLogger&) = delete;
    CModuleLogger& operator=(const CModuleLogger&) = delete;
    ~CModuleLogger();

    // Creates the log system on the first call: configuration
    // "<configName>.applog.xml", else "l4t.applog.xml", error log "tarn.log"
    // beside the host executable. Null only if creation failed; never throws.
    opLogSys::COutputLogSystem* GetLogSystem();
    const wchar_t* GetSubject() const { return m_strSubject.c_str(); }

    // Test seam: installs a log system of the test's own and hands back the
    // previous one (null if none was created yet).
    std::unique_ptr<opLogSys::COutputLogSystem> ReplaceLogSystemForTest(
        std::unique_ptr<opLogSys::COutputLogSystem> logSystem);

    static const wchar_t kChannelName[];    // "tarn.debug"
    static const DWORD kErrorLogSizeLimit;  // 10,485,760 bytes

private:
    std::wstring m_strSubject;
    std::wstring m_strConfigName;
    std::unique_ptr<opLogSys::COutputLogSystem> m_pLogSystem;
    CriticalSection m_cs{CriticalSection::kDeferInit};
};
