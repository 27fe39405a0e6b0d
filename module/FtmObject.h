// Base of this module's coclasses: one own interface, the free-threaded
// marshaler aggregated on the controlling unknown, and IUnknown. Nothing else
// is answered (no IDispatch, no ISupportErrorInfo).
#pragma once

#include <objbase.h>

#include "ComFramework.h"
#include "base/ComPtr.h"

template <class T, const CLSID* pclsid, class Itf, const IID* piid>
class CTrnFtmObject : public CComObjectRootEx<CComMultiThreadModel>, public CComCoClass<T, pclsid>, public Itf {
public:
    HRESULT FinalConstruct(IUnknown* controlling) noexcept {
        return ::CoCreateFreeThreadedMarshaler(controlling, m_pUnkFtm.put());
    }
    void FinalRelease() noexcept { m_pUnkFtm.reset(); }
    IUnknown* GetIdentity() noexcept { return static_cast<Itf*>(this); }

    HRESULT _InternalQueryInterface(REFIID iid, void** ppv) noexcept {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (::IsEqualIID(iid, *piid) || ::IsEqualIID(iid, IID_IUnknown)) {
            *ppv = static_cast<Itf*>(this);
            static_cast<Itf*>(this)->AddRef();
            return S_OK;
        }
        if (::IsEqualIID(iid, IID_IMarshal)) {
            return m_pUnkFtm ? m_pUnkFtm->QueryInterface(iid, ppv) : E_NOINTERFACE;
        }
        return E_NOINTERFACE;
    }

protected:
    ComPtr<IUnknown> m_pUnkFtm;  // inner unknown of the aggregated marshaler
};
