// A small COM object framework in the platform framework's shape: object
// roots with interlocked reference counts, stand-alone and aggregated
// wrappers, and a cached class factory. Each coclass aggregates the
// free-threaded marshaler on its controlling unknown.
#pragma once

#include <objbase.h>

#include <new>

#include "ModuleObject.h"
#include "base/CriticalSection.h"

class CComMultiThreadModel {};
class CComMultiThreadModelNoCS {};

template <class ThreadModel>
class CComObjectRootEx;

// Reference count plus an object lock, initialised when the object is created.
template <>
class CComObjectRootEx<CComMultiThreadModel> {
public:
    CComObjectRootEx() noexcept : m_dwRef(0), m_pOuterUnknown(nullptr) {}

    HRESULT _AtlInitialConstruct() noexcept {
        if (!m_cs.TryInit()) {
            const DWORD error = ::GetLastError();
            return error ? HRESULT_FROM_WIN32(error) : E_OUTOFMEMORY;
        }
        return S_OK;
    }
    ULONG InternalAddRef() noexcept { return static_cast<ULONG>(::InterlockedIncrement(&m_dwRef)); }
    ULONG InternalRelease() noexcept { return static_cast<ULONG>(::InterlockedDecrement(&m_dwRef)); }
    void Lock() noexcept { m_cs.Enter(); }
    void Unlock() noexcept { m_cs.Leave(); }

    // Hooks an implementation may hide.
    HRESULT FinalConstruct() noexcept { return S_OK; }
    void FinalRelease() noexcept {}

    void SetOuterUnknown(IUnknown* outer) noexcept { m_pOuterUnknown = outer; }
    IUnknown* OuterUnknown() const noexcept { return m_pOuterUnknown; }

    volatile LONG m_dwRef;

private:
    IUnknown* m_pOuterUnknown;
    CriticalSection m_cs{CriticalSection::kDeferInit};
};

// Lock-free root of the aggregating wrapper.
template <>
class CComObjectRootEx<CComMultiThreadModelNoCS> {
public:
    CComObjectRootEx() noexcept : m_dwRef(0) {}
    HRESULT _AtlInitialConstruct() noexcept { return S_OK; }
    ULONG InternalAddRef() noexcept { return static_cast<ULONG>(::InterlockedIncrement(&m_dwRef)); }
    ULONG InternalRelease() noexcept { return static_cast<ULONG>(::InterlockedDecrement(&m_dwRef)); }
    volatile LONG m_dwRef;
};

// Marker base that names the coclass; the implementation answers its own
// interface, the marshaler's and IUnknown from _InternalQueryInterface and
// holds the marshaler's inner unknown.
template <class T, const CLSID* pclsid>
class CComCoClass {
public:
    static const CLSID& GetObjectCLSID() noexcept { return *pclsid; }
};

// Stand-alone object.
template <class Base>
class CComObject final : public Base {
public:
    CComObject() noexcept {
        if (TrnModule()) TrnModule()->Lock();
    }
    ~CComObject() {
        this->m_dwRef = -(LONG_MAX / 2);
        this->FinalRelease();
        if (TrnModule()) TrnModule()->Unlock();
    }

    STDMETHOD_(ULONG, AddRef)() override { return this->InternalAddRef(); }
    STDMETHOD_(ULONG, Release)() override {
        const ULONG count = this->InternalRelease();
        if (count == 0) delete this;
        return count;
    }
    STDMETHOD(QueryInterface)(REFIID iid, void** ppv) override { return this->_InternalQueryInterface(iid, ppv); }

    IUnknown* GetControllingUnknown() noexcept { return this->GetIdentity(); }

    static HRESULT CreateInstance(REFIID iid, void** ppv) noexcept {
        CComObject* object = new (std::nothrow) CComObject();
        if (object == nullptr) return E_OUTOFMEMORY;
        return object->Construct(object->GetIdentity(), iid, ppv);
    }

private:
    HRESULT Construct(IUnknown* controlling, REFIID iid, void** ppv) noexcept {
        this->InternalAddRef();
        HRESULT hr = this->_AtlInitialConstruct();
        if (SUCCEEDED(hr)) hr = this->FinalConstruct(controlling);
        this->InternalRelease();
        if (SUCCEEDED(hr)) hr = this->QueryInterface(iid, ppv);
        if (FAILED(hr)) delete this;
        return hr;
    }
};

// The contained part of an aggregated object: its IUnknown is the outer one.
template <class Base>
class CComContainedObject : public Base {
public:
    explicit CComContainedObject(IUnknown* outer) noexcept { this->SetOuterUnknown(outer); }

    STDMETHOD_(ULONG, AddRef)() override { return this->OuterUnknown()->AddRef(); }
    STDMETHOD_(ULONG, Release)() override { return this->OuterUnknown()->Release(); }
    STDMETHOD(QueryInterface)(REFIID iid, void** ppv) override {
        return this->OuterUnknown()->QueryInterface(iid, ppv);
    }
};

// Aggregated object: answers IUnknown itself and every other interface
// through the contained object's interface map.
template <class Base>
class CComAggObject : public IUnknown, public CComObjectRootEx<CComMultiThreadModelNoCS> {
public:
    explicit CComAggObject(IUnknown* outer) noexcept : m_contained(outer) {
        if (TrnModule()) TrnModule()->Lock();
    }
    virtual ~CComAggObject() {
        m_dwRef = -(LONG_MAX / 2);
        m_contained.FinalRelease();
        if (TrnModule()) TrnModule()->Unlock();
    }

    STDMETHOD_(ULONG, AddRef)() override { return InternalAddRef(); }
    STDMETHOD_(ULONG, Release)() override {
        const ULONG count = InternalRelease();
        if (count == 0) delete this;
        return count;
    }
    STDMETHOD(QueryInterface)(REFIID iid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (::IsEqualIID(iid, IID_IUnknown)) {
            *ppv = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        return m_contained._InternalQueryInterface(iid, ppv);
    }

    static HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** ppv) noexcept {
        CComAggObject* object = new (std::nothrow) CComAggObject(outer);
        if (object == nullptr) return E_OUTOFMEMORY;
        object->InternalAddRef();
        HRESULT hr = object->m_contained._AtlInitialConstruct();
        if (SUCCEEDED(hr)) hr = object->m_contained.FinalConstruct(outer);
        object->InternalRelease();
        if (SUCCEEDED(hr)) hr = object->QueryInterface(iid, ppv);
        if (FAILED(hr)) delete object;
        return hr;
    }

private:
    CComContainedObject<Base> m_contained;
};

// Instance creator shared by the object map: stand-alone or aggregated.
template <class Base>
HRESULT TrnCreateInstance(IUnknown* outer, REFIID iid, void** ppv) noexcept {
    if (outer == nullptr) return CComObject<Base>::CreateInstance(iid, ppv);
    return CComAggObject<Base>::CreateInstance(outer, iid, ppv);
}

typedef HRESULT (*TrnCreatorFunc)(IUnknown* outer, REFIID iid, void** ppv);

// Class object; the cached wrapper below gives it its lifetime rules.
class CComClassFactory : public IClassFactory, public CComObjectRootEx<CComMultiThreadModel> {
public:
    explicit CComClassFactory(TrnCreatorFunc creator) noexcept : m_pfnCreator(creator) {}
    virtual ~CComClassFactory() = default;

    STDMETHOD(QueryInterface)(REFIID iid, void** ppv) override;
    STDMETHOD(CreateInstance)(IUnknown* outer, REFIID iid, void** ppv) override;
    STDMETHOD(LockServer)(BOOL lock) override;

private:
    TrnCreatorFunc m_pfnCreator;
};

// The object map keeps one reference on a cached class object; any further
// reference keeps the server loaded.
class CComObjectCached : public CComClassFactory {
public:
    explicit CComObjectCached(TrnCreatorFunc creator) noexcept : CComClassFactory(creator) {}
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;

    static HRESULT Create(TrnCreatorFunc creator, IClassFactory** factory) noexcept;
};
