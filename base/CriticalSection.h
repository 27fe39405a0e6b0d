// The module's one lock type: a recursive Win32 critical section, and the
// guard that holds it for one scope.
#pragma once

#include <windows.h>

#include "base/StatusException.h"

class CriticalSection {
public:
    // Initialised at once; a section that cannot be initialised is a
    // framework failure.
    CriticalSection() {
        if (!TryInit()) {
            const DWORD error = ::GetLastError();
            throw CAtlException(error ? HRESULT_FROM_WIN32(error) : E_FAIL);
        }
    }
    // For owners that report a failed initialisation in their own way: the
    // section must not be entered until TryInit has succeeded.
    enum DeferInit { kDeferInit };
    explicit CriticalSection(DeferInit) noexcept {}
    ~CriticalSection() {
        if (m_bInitialised) ::DeleteCriticalSection(&m_cs);
    }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    // False, with the reason in GetLastError, when the system cannot
    // initialise the section; true at once when it already is.
    bool TryInit() noexcept {
        if (!m_bInitialised) m_bInitialised = ::InitializeCriticalSectionAndSpinCount(&m_cs, 0) != FALSE;
        return m_bInitialised;
    }
    bool IsInitialised() const noexcept { return m_bInitialised; }

    void Enter() noexcept { ::EnterCriticalSection(&m_cs); }
    void Leave() noexcept { ::LeaveCriticalSection(&m_cs); }
    CRITICAL_SECTION& Get() noexcept { return m_cs; }

private:
    CRITICAL_SECTION m_cs;
    bool m_bInitialised = false;
};

class CriticalSectionGuard {
public:
    explicit CriticalSectionGuard(CriticalSection& cs) noexcept : CriticalSectionGuard(cs.Get()) {}
    explicit CriticalSectionGuard(CRITICAL_SECTION& cs) noexcept : m_cs(cs) { ::EnterCriticalSection(&m_cs); }
    ~CriticalSectionGuard() { ::LeaveCriticalSection(&m_cs); }
    CriticalSectionGuard(const CriticalSectionGuard&) = delete;
    CriticalSectionGuard& operator=(const CriticalSectionGuard&) = delete;

private:
    CRITICAL_SECTION& m_cs;
};
