// The module object: counts the locks that keep the server loaded, guards
// static data and owns the Global Interface Table once asked for.
#pragma once

#include <objbase.h>

#include <vector>

#include "base/ComPtr.h"
#include "base/CriticalSection.h"

struct IRegistrar;

class CTrnM4aTranscoderModule {
public:
    CTrnM4aTranscoderModule() noexcept;
    virtual ~CTrnM4aTranscoderModule();

    virtual LONG Lock() noexcept;
    virtual LONG Unlock() noexcept;
    virtual LONG GetLockCount() const noexcept;
    virtual HRESULT GetGlobalInterfaceTable(IGlobalInterfaceTable** table) noexcept;
    // Replacements every registry script of this module sees.
    virtual HRESULT AddRegistryReplacements(IRegistrar* registrar) noexcept;

    // Termination functions run, in reverse order of adding, at termination.
    typedef void (*TermFunc)(void* context);
    HRESULT AddTermFunc(TermFunc func, void* context) noexcept;

    // Releases what the module holds; the destructor calls it too.
    void Term() noexcept;

    bool InitFailed() const noexcept { return m_bInitFailed; }
    CriticalSection& StaticDataLock() noexcept { return m_cs; }
    const GUID& TypeLibId() const noexcept { return m_guidLibId; }

private:
    CTrnM4aTranscoderModule(const CTrnM4aTranscoderModule&) = delete;
    CTrnM4aTranscoderModule& operator=(const CTrnM4aTranscoderModule&) = delete;

    volatile UINT m_cbSize;  // 0 until constructed, 0 again after termination
    volatile LONG m_nLockCnt;
    std::vector<std::pair<TermFunc, void*>> m_vecTermFuncs;
    CriticalSection m_cs{CriticalSection::kDeferInit};  // guards the static data
    ComPtr<IGlobalInterfaceTable> m_pGIT;
    GUID m_guidLibId;
    bool m_bInitFailed;
};

// The one module object of this process (null before construction and after
// destruction).
CTrnM4aTranscoderModule* TrnModule() noexcept;
