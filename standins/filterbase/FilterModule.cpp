#include "standins/filterbase/FilterModule.h"

#include <new>
#include <string>

#include "base/UniqueResource.h"

namespace {

LONG g_moduleRefs = 0;

class CClassFactory : public IClassFactory {
public:
    explicit CClassFactory(const CFactoryTemplate& row) noexcept : m_row(row) {}
    virtual ~CClassFactory() = default;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *out = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ::InterlockedIncrement(&m_refs); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG refs = ::InterlockedDecrement(&m_refs);
        if (refs == 0) delete this;
        return refs;
    }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return m_row.create(iid, out);
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock)
            ModuleAddRef();
        else
            ModuleRelease();
        return S_OK;
    }

private:
    const CFactoryTemplate& m_row;
    LONG m_refs = 1;
    CModuleRef m_module;
};

// This DLL's module handle, found from an address inside it.
HMODULE ThisModule() {
    HMODULE module = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

std::wstring ClsidKey(const CLSID& clsid) {
    wchar_t text[40] = {};
    ::StringFromGUID2(clsid, text, 40);
    return std::wstring(L"CLSID\\") + text;
}

HRESULT SetStringValue(HKEY key, const wchar_t* name, const std::wstring& value) {
    const LONG rc = ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    return HRESULT_FROM_WIN32(rc);
}

HRESULT RegisterRow(const CFactoryTemplate& row, const std::wstring& path) {
    UniqueHkey classKey;
    LONG rc = ::RegCreateKeyExW(HKEY_CLASSES_ROOT, ClsidKey(*row.clsid).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                classKey.put(), nullptr);
    if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
    HRESULT hr = SetStringValue(classKey.get(), nullptr, row.name);
    if (FAILED(hr)) return hr;
    UniqueHkey serverKey;
    rc = ::RegCreateKeyExW(classKey.get(), L"InprocServer32", 0, nullptr, 0, KEY_WRITE, nullptr, serverKey.put(),
                           nullptr);
    if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
    hr = SetStringValue(serverKey.get(), nullptr, path);
    if (FAILED(hr)) return hr;
    return SetStringValue(serverKey.get(), L"ThreadingModel", L"Both");
}

}  // namespace

void ModuleAddRef() noexcept { ::InterlockedIncrement(&g_moduleRefs); }
void ModuleRelease() noexcept { ::InterlockedDecrement(&g_moduleRefs); }
LONG ModuleRefCount() noexcept { return ::InterlockedCompareExchange(&g_moduleRefs, 0, 0); }

HRESULT FilterDllGetClassObject(const CFactoryTemplate* table, size_t count, REFCLSID clsid, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    for (size_t i = 0; i < count; ++i) {
        if (!IsEqualCLSID(*table[i].clsid, clsid)) continue;
        CClassFactory* factory = new (std::nothrow) CClassFactory(table[i]);
        if (!factory) return E_OUTOFMEMORY;
        const HRESULT hr = factory->QueryInterface(iid, out);
        factory->Release();
        return hr;
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT FilterDllCanUnloadNow() { return ModuleRefCount() == 0 ? S_OK : S_FALSE; }

HRESULT FilterDllRegisterServer(const CFactoryTemplate* table, size_t count) {
    wchar_t path[MAX_PATH + 1] = {};
    const DWORD length = ::GetModuleFileNameW(ThisModule(), path, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) return E_FAIL;
    for (size_t i = 0; i < count; ++i) {
        const HRESULT hr = RegisterRow(table[i], path);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT FilterDllUnregisterServer(const CFactoryTemplate* table, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const std::wstring key = ClsidKey(*table[i].clsid);
        ::RegDeleteKeyW(HKEY_CLASSES_ROOT, (key + L"\\InprocServer32").c_str());
        const LONG rc = ::RegDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str());
        if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) return HRESULT_FROM_WIN32(rc);
    }
    return S_OK;
}
