// What every stand-in filter DLL shares: the count of live objects and locks
// behind DllCanUnloadNow, and one class-factory table behind
// DllGetClassObject and DllRegisterServer.
#pragma once

#include "standins/filterbase/DShow.h"

#include <cstddef>
#include <new>

// Counts live objects and IClassFactory::LockServer locks of this DLL.
void ModuleAddRef() noexcept;
void ModuleRelease() noexcept;
LONG ModuleRefCount() noexcept;

// Held by every COM object of the DLL for its whole life.
class CModuleRef {
public:
    CModuleRef() noexcept { ModuleAddRef(); }
    CModuleRef(const CModuleRef&) noexcept { ModuleAddRef(); }
    CModuleRef& operator=(const CModuleRef&) noexcept { return *this; }
    ~CModuleRef() { ModuleRelease(); }
};

// One row per class the DLL serves. create makes a new object (no outer
// unknown) and queries it for iid.
struct CFactoryTemplate {
    const CLSID* clsid;
    const wchar_t* name;
    HRESULT (*create)(REFIID iid, void** out);
};

// Creates an object of type T (default-constructible, born with one
// reference) and hands out iid; the creation reference is dropped. Nothing
// the constructor throws leaves the COM call.
template <class T>
HRESULT CreateComObject(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    T* object = nullptr;
    try {
        object = new T();
    } catch (...) {  // out of memory, or a lock that could not be made
        return E_OUTOFMEMORY;
    }
    const HRESULT hr = object->QueryInterface(iid, out);
    object->Release();
    return hr;
}

HRESULT FilterDllGetClassObject(const CFactoryTemplate* table, size_t count, REFCLSID clsid, REFIID iid, void** out);
HRESULT FilterDllCanUnloadNow();
// Writes HKCR\CLSID\{clsid} (name) and its InprocServer32 (this DLL's path,
// ThreadingModel "Both") for every row; unregistering removes those keys.
HRESULT FilterDllRegisterServer(const CFactoryTemplate* table, size_t count);
HRESULT FilterDllUnregisterServer(const CFactoryTemplate* table, size_t count);
