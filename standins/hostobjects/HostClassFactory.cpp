#include "HostClassFactory.h"

#include <new>

#include "HostFault.h"
#include "base/ComPtr.h"

namespace hostobj {

HRESULT CHostClassFactory::Create(const HostClassRow& row, REFIID iid, void** ppv) noexcept {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    ComPtr<CHostClassFactory> factory;
    factory.attach(new (std::nothrow) CHostClassFactory(row));
    if (!factory) return E_OUTOFMEMORY;
    const HRESULT hr =
        ::CoCreateFreeThreadedMarshaler(static_cast<IClassFactory*>(factory.get()), factory->m_ftm.put_unknown());
    if (FAILED(hr)) return hr;
    return factory->QueryInterface(iid, ppv);
}

STDMETHODIMP CHostClassFactory::QueryInterface(REFIID iid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (::IsEqualIID(iid, IID_IMarshal)) {
        const HRESULT injected = InjectedFault(L"IClassFactory.IMarshal", nullptr);
        if (FAILED(injected)) return injected;
        if (m_ftm) return m_ftm->QueryInterface(iid, ppv);
    }
    if (!::IsEqualIID(iid, IID_IUnknown) && !::IsEqualIID(iid, IID_IClassFactory)) return E_NOINTERFACE;
    *ppv = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CHostClassFactory::AddRef() { return ULONG(::InterlockedIncrement(&m_refs)); }

STDMETHODIMP_(ULONG) CHostClassFactory::Release() {
    const LONG refs = ::InterlockedDecrement(&m_refs);
    if (refs == 0) delete this;
    return ULONG(refs);
}

STDMETHODIMP CHostClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return m_row.create(iid, ppv);
}

STDMETHODIMP CHostClassFactory::LockServer(BOOL lock) {
    if (lock) {
        LockModule();
    } else {
        UnlockModule();
    }
    return S_OK;
}

}  // namespace hostobj
