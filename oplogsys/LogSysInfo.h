// The configuration as the log system sees it: one back-end factory and one
// subject filter. Defaults: the null back-end and no filters (nothing passes).
#pragma once

#include <string>
#include <vector>

#include "Interfaces.h"
#include "Lock.h"

namespace opLogSys {

class CLogSysInfo : public Common::CReference<ILogSysInfo> {
public:
    // Admits an entry when the first record for its subject (exact,
    // case-sensitive) holds its level in [minimum, maximum].
    class COutputLogState : public Common::CReference<ILogFilter> {
    public:
        struct SFilter {
            std::wstring m_strSubject;
            int m_nMinLevel;
            int m_nMaxLevel;
        };

        virtual HRESULT IsEnabled(const wchar_t* subject, int level);
        virtual HRESULT HasFilters();

        // Updates the first record of the subject whose range holds maxLevel,
        // otherwise appends a new record. Returns S_OK.
        HRESULT AddFilter(const wchar_t* subject, int minLevel, int maxLevel);

        std::vector<SFilter> GetFilters() const;

    private:
        std::vector<SFilter> m_vecFilters;
        mutable Common::CCriticalSection m_cs;
    };

    CLogSysInfo();
    virtual ~CLogSysInfo();

    virtual IOutputLogSystemFactory* GetFactory();
    virtual ILogFilter* GetFilter();

    // Borrowed; lives as long as this object.
    COutputLogState* GetOutputLogState() const { return m_pFilter.get(); }
    // Takes over the caller's reference and releases the previous factory.
    void SetFactory(IOutputLogSystemFactory* factory);

private:
    Common::CRefPtr<COutputLogState> m_pFilter;
    Common::CRefPtr<IOutputLogSystemFactory> m_pFactory;
};

}  // namespace opLogSys
