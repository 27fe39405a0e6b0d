// One class object per DllGetClassObject call; it keeps the DLL loaded for
// as long as it lives, and LockServer adds a lock of its own.
#pragma once

#include <objbase.h>

#include "HostClasses.h"
#include "HostModule.h"

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
    CModuleReference m_moduleReference;
};

}  // namespace hostobj
