// Plumbing shared by the two host classes: an interlocked reference count,
// the free-threaded marshaler aggregated (so every apartment gets the object
// itself), error information support, and one lock around the fields that
// every getter and setter takes through a guard.
#pragma once

#include <objbase.h>
#include <oleauto.h>

#include <memory>
#include <new>

#include "HostFault.h"
#include "HostModule.h"
#include "base/ComPtr.h"
#include "base/UniqueResource.h"

namespace hostobj {

// Names (for fault injection) and IID of the class's one interface.
struct HostInterface {
    const IID* iid;
    const wchar_t* queryName;  // "IMediaFormat.QueryInterface"
};

template <class Itf>
class CHostObject : public Itf, public ISupportErrorInfo {
public:
    CHostObject(const CHostObject&) = delete;
    CHostObject& operator=(const CHostObject&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (::IsEqualIID(iid, *m_interface.iid)) {
            const HRESULT injected = InjectedFault(m_interface.queryName, nullptr);
            if (FAILED(injected)) return injected;
        }
        if (::IsEqualIID(iid, IID_IUnknown) || ::IsEqualIID(iid, *m_interface.iid)) {
            *ppv = Identity();
        } else if (::IsEqualIID(iid, IID_ISupportErrorInfo)) {
            *ppv = static_cast<ISupportErrorInfo*>(this);
        } else if (::IsEqualIID(iid, IID_IMarshal) && m_ftm) {
            return m_ftm->QueryInterface(iid, ppv);
        } else {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ULONG(::InterlockedIncrement(&m_refs)); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG refs = ::InterlockedDecrement(&m_refs);
        if (refs == 0) delete this;
        return ULONG(refs);
    }

    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID iid) override {
        return ::IsEqualIID(iid, *m_interface.iid) ? S_OK : S_FALSE;
    }

    // Creates an object of class T and answers iid from it.
    template <class T>
    static HRESULT Create(REFIID iid, void** ppv) noexcept {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        try {
            std::unique_ptr<T> object(new T());
            const HRESULT hr = object->AggregateMarshaler();
            if (FAILED(hr)) return hr;
            ComPtr<IUnknown> identity;
            identity.attach(object.release()->Identity());  // the first reference
            return identity->QueryInterface(iid, ppv);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (const CAtlException& e) {
            return e.m_hr;
        }
    }

protected:
    explicit CHostObject(const HostInterface& itf) : m_interface(itf) {}
    virtual ~CHostObject() = default;

    HRESULT GetText(const wchar_t* method, const UniqueBstr& field, BSTR* value) {
        if (value == nullptr) return E_POINTER;
        *value = nullptr;
        const HRESULT hr = RaiseInjectedFault(method, *m_interface.iid);
        if (FAILED(hr)) return hr;
        CriticalSectionGuard guard(m_cs.Get());
        // An unset text reads back as an empty one, never as null.
        *value = ::SysAllocStringLen(field.get(), ::SysStringLen(field.get()));
        return *value ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT PutText(const wchar_t* method, UniqueBstr& field, BSTR value) {
        const HRESULT hr = RaiseInjectedFault(method, *m_interface.iid);
        if (FAILED(hr)) return hr;
        // Copied with its length, so embedded nulls survive.
        UniqueBstr copy;
        if (value != nullptr) {
            copy.reset(::SysAllocStringLen(value, ::SysStringLen(value)));
            if (!copy) return E_OUTOFMEMORY;
        }
        CriticalSectionGuard guard(m_cs.Get());
        field = std::move(copy);
        return S_OK;
    }
    HRESULT GetFlag(const wchar_t* method, const VARIANT_BOOL& field, VARIANT_BOOL* value) {
        if (value == nullptr) return E_POINTER;
        *value = VARIANT_FALSE;
        const HRESULT hr = RaiseInjectedFault(method, *m_interface.iid);
        if (FAILED(hr)) return hr;
        CriticalSectionGuard guard(m_cs.Get());
        *value = field;
        return S_OK;
    }
    // Stored as given: a caller's 1 reads back as 1, not as VARIANT_TRUE.
    HRESULT PutFlag(const wchar_t* method, VARIANT_BOOL& field, VARIANT_BOOL value) {
        const HRESULT hr = RaiseInjectedFault(method, *m_interface.iid);
        if (FAILED(hr)) return hr;
        CriticalSectionGuard guard(m_cs.Get());
        field = value;
        return S_OK;
    }

private:
    IUnknown* Identity() noexcept { return static_cast<Itf*>(this); }
    HRESULT AggregateMarshaler() noexcept { return ::CoCreateFreeThreadedMarshaler(Identity(), m_ftm.put()); }

    const HostInterface m_interface;
    LONG m_refs = 1;
    CModuleReference m_moduleReference;
    ComPtr<IUnknown> m_ftm;  // inner unknown of the aggregated marshaler
    CriticalSection m_cs;
};

}  // namespace hostobj
