// One class object per DllGetClassObject call; it keeps the DLL loaded for
// as long as it lives, and LockServer adds a lock of its own. Like the
// objects it makes, it aggregates the free-threaded marshaler: it holds no
// state, so every apartment may use it.
#pragma once

#include <objbase.h>

#include "HostClasses.h"
#include "HostModule.h"
#include "base/ComPtr.h"

namespace hostobj {

class CHostClassFactory final : public IClassFactory {
public:
    static HRESULT Create(const HostClassRow& row, REFIID iid, void** ppv) noexcept;

    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** ppv) override;
    STDMETHODIMP LockServer(BOOL lock) override;

private:
    explicit CHostClassFactory(const HostClassRow& row) noexcept : m_row(row) {}
    ~CHostClassFactory() = default;

    const HostClassRow& m_row;
    LONG m_refs = 1;
    ComPtr<IUnknown> m_ftm;
    CModuleReference m_moduleReference;
};

}  // namespace hostobj
