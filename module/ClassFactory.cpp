#include "ComFramework.h"

STDMETHODIMP CComClassFactory::QueryInterface(REFIID iid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (::IsEqualIID(iid, IID_IUnknown) || ::IsEqualIID(iid, IID_IClassFactory)) {
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

STDMETHODIMP CComClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (outer != nullptr && !::IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    return m_pfnCreator(outer, iid, ppv);
}

STDMETHODIMP CComClassFactory::LockServer(BOOL lock) {
    if (CTrnM4aTranscoderModule* module = TrnModule()) {
        if (lock) {
            module->Lock();
        } else {
            module->Unlock();
        }
    }
    return S_OK;
}

STDMETHODIMP_(ULONG) CComObjectCached::AddRef() {
    const ULONG count = InternalAddRef();
    if (count == 2 && TrnModule()) TrnModule()->Lock();
    return count;
}

STDMETHODIMP_(ULONG) CComObjectCached::Release() {
    const ULONG count = InternalRelease();
    if (count == 0) {
        delete this;
    } else if (count == 1 && TrnModule()) {
        TrnModule()->Unlock();
    }
    return count;
}

HRESULT CComObjectCached::Create(TrnCreatorFunc creator, IClassFactory** factory) noexcept {
    *factory = nullptr;
    CComObjectCached* object = new (std::nothrow) CComObjectCached(creator);
    if (object == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = object->_AtlInitialConstruct();
    if (FAILED(hr)) {
        delete object;
        return hr;
    }
    object->InternalAddRef();  // the map's own reference
    *factory = object;
    return S_OK;
}
