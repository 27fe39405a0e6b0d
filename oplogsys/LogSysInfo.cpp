#include "LogSysInfo.h"

#include "NullOutput.h"

namespace opLogSys {

HRESULT CLogSysInfo::COutputLogState::IsEnabled(const wchar_t* subject, int level) {
    if (!subject) throw static_cast<HRESULT>(E_FAIL);
    Common::CLockGuard<Common::CCriticalSection> guard(m_cs);
    for (const SFilter& filter : m_vecFilters) {
        if (filter.m_strSubject == subject)
            return (filter.m_nMinLevel <= level && level <= filter.m_nMaxLevel) ? S_OK : E_FAIL;
    }
    return E_FAIL;
}

HRESULT CLogSysInfo::COutputLogState::HasFilters() {
    Common::CLockGuard<Common::CCriticalSection> guard(m_cs);
    return m_vecFilters.empty() ? E_FAIL : S_OK;
}

HRESULT CLogSysInfo::COutputLogState::AddFilter(const wchar_t* subject, int minLevel, int maxLevel) {
    const std::wstring strSubject = subject ? subject : L"";
    Common::CLockGuard<Common::CCriticalSection> guard(m_cs);
    for (SFilter& filter : m_vecFilters) {
        if (filter.m_strSubject == strSubject && filter.m_nMinLevel <= maxLevel && maxLevel <= filter.m_nMaxLevel) {
            filter.m_nMinLevel = minLevel;
            filter.m_nMaxLevel = maxLevel;
            return S_OK;
        }
    }
    m_vecFilters.push_back(SFilter{strSubject, minLevel, maxLevel});
    return S_OK;
}

std::vector<CLogSysInfo::COutputLogState::SFilter> CLogSysInfo::COutputLogState::GetFilters() const {
    Common::CLockGuard<Common::CCriticalSection> guard(m_cs);
    return m_vecFilters;
}

CLogSysInfo::CLogSysInfo() : m_pFilter(new COutputLogState()), m_pFactory(new Null::COutputLogSystemFactory()) {}

CLogSysInfo::~CLogSysInfo() {}

IOutputLogSystemFactory* CLogSysInfo::GetFactory() {
    return Common::CRefPtr<IOutputLogSystemFactory>(m_pFactory).detach();
}

ILogFilter* CLogSysInfo::GetFilter() { return Common::CRefPtr<ILogFilter>::FromBorrowed(m_pFilter.get()).detach(); }

void CLogSysInfo::SetFactory(IOutputLogSystemFactory* factory) {
    if (factory) m_pFactory.reset(factory);
}

}  // namespace opLogSys
