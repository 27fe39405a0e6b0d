#include "ModuleLogger.h"

#include <new>

#include "LogSysInfoFromXML.h"
#include "Win32Util.h"
#include "base/CriticalSection.h"

const wchar_t CModuleLogger::kChannelName[] = L"tarn.debug";
const DWORD CModuleLogger::kErrorLogSizeLimit = 0xA00000;

CModuleLogger::CModuleLogger(const wchar_t* subject, const wchar_t* configName)
    : m_strSubject(subject ? subject : L""), m_strConfigName(configName ? configName : L"") {
    if (!m_cs.TryInit()) throw static_cast<HRESULT>(HRESULT_FROM_WIN32(GetLastError()));
}

CModuleLogger::~CModuleLogger() { m_pLogSystem.reset(); }

opLogSys::COutputLogSystem* CModuleLogger::GetLogSystem() {
    CriticalSectionGuard guard(m_cs);
    if (m_pLogSystem) return m_pLogSystem.get();
    try {
        const opLogSys::SLogConfigLocation location =
            opLogSys::LocateLogConfiguration(opLogSys::Common::GetHostExecutableDirectory(), m_strConfigName);
        opLogSys::Common::CRefPtr<opLogSys::CLogSysInfoFromXML> info(
            new opLogSys::CLogSysInfoFromXML(location.m_strConfigPath.c_str()));
        m_pLogSystem.reset(new opLogSys::COutputLogSystem(kChannelName, info.get(), location.m_strErrorLogPath.c_str(),
                                                          kErrorLogSizeLimit, false));
    } catch (...) {
        // Out of memory: no log system now; the next call tries again.
    }
    return m_pLogSystem.get();
}

std::unique_ptr<opLogSys::COutputLogSystem> CModuleLogger::ReplaceLogSystemForTest(
    std::unique_ptr<opLogSys::COutputLogSystem> logSystem) {
    CriticalSectionGuard guard(m_cs);
    m_pLogSystem.swap(logSystem);
    return logSystem;
}
