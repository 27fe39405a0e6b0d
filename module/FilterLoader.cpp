#include "module/FilterLoader.h"

#include <cwchar>

#include "base/ComPtr.h"
#include "base/CriticalSection.h"

namespace trn {
namespace {

const size_t kPathChars = MAX_PATH;  // the joined path must fit, terminator included

typedef HRESULT(STDAPICALLTYPE* GetClassObjectFn)(REFCLSID, REFIID, void**);

}  // namespace

CLoadedDllSet::CLoadedDllSet() noexcept = default;

CLoadedDllSet::~CLoadedDllSet() {
    for (HMODULE module : m_setModules) ::FreeLibrary(module);
    m_setModules.clear();
}

CLoadedDllSet::AdoptResult CLoadedDllSet::Adopt(HMODULE module) noexcept {
    CriticalSectionGuard guard(m_cs);
    AdoptResult result = AdoptResult::kAlreadyHeld;
    try {
        if (m_setModules.insert(module).second) return AdoptResult::kAdopted;
    } catch (...) {  // only the new node's allocation can fail
        result = AdoptResult::kNoMemory;
    }
    // The set's single reference stays the only one this module adds; one
    // the set could not take must not stay behind either.
    ::FreeLibrary(module);
    return result;
}

void CLoadedDllSet::Remove(HMODULE module) noexcept {
    CriticalSectionGuard guard(m_cs);
    if (m_setModules.erase(module) != 0) ::FreeLibrary(module);
}

bool CLoadedDllSet::Contains(HMODULE module) const noexcept {
    CriticalSectionGuard guard(m_cs);
    return m_setModules.count(module) != 0;
}

size_t CLoadedDllSet::Size() const noexcept {
    CriticalSectionGuard guard(m_cs);
    return m_setModules.size();
}

HRESULT CreateInstanceFromLocalDll(HINSTANCE module, const wchar_t* dllName, REFCLSID clsid, IUnknown* outer,
                                   DWORD context, REFIID iid, void** ppv) noexcept {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    // No module would name the host executable's folder instead of this one's.
    if (module == nullptr || dllName == nullptr) return E_INVALIDARG;
    wchar_t path[kPathChars + 1] = {};
    const DWORD length = ::GetModuleFileNameW(module, path, kPathChars);
    // A path that filled the buffer may have been cut short.
    if (length == 0 || length >= kPathChars) return E_FAIL;
    wchar_t* slash = std::wcsrchr(path, L'\\');
    const size_t folderChars = slash ? static_cast<size_t>(slash - path) + 1 : 0;
    const size_t nameChars = std::wcslen(dllName);
    if (folderChars + nameChars >= kPathChars) return E_FAIL;
    std::wmemcpy(path + folderChars, dllName, nameChars + 1);
    return CreateInstanceFromDll(path, clsid, outer, context, iid, ppv);
}

HRESULT CreateInstanceFromDll(const wchar_t* path, REFCLSID clsid, IUnknown* outer, DWORD, REFIID iid,
                              void** ppv) noexcept {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    CLoadedDllSet* set = LoadedDllSet();
    if (set == nullptr || path == nullptr) return E_FAIL;
    // One creation at a time, so that a DLL another thread is creating
    // from cannot be freed under it.
    CriticalSectionGuard guard(set->Lock());
    HMODULE module = ::LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (module == nullptr) return E_FAIL;
    const CLoadedDllSet::AdoptResult adopted = set->Adopt(module);
    if (adopted == CLoadedDllSet::AdoptResult::kNoMemory) return E_OUTOFMEMORY;
    const bool newlyLoaded = adopted == CLoadedDllSet::AdoptResult::kAdopted;
    // Objects made earlier from a DLL the set already held may still be
    // alive, so a failure only unloads a DLL this call brought in.
    const auto fail = [&](HRESULT hr) {
        if (newlyLoaded) set->Remove(module);
        return hr;
    };
    const GetClassObjectFn getClassObject =
        reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void*>(::GetProcAddress(module, "DllGetClassObject")));
    if (getClassObject == nullptr) return fail(E_FAIL);
    ComPtr<IClassFactory> factory;
    HRESULT hr = getClassObject(clsid, IID_IClassFactory, factory.put_void());
    if (FAILED(hr)) return fail(hr);
    if (!factory) return fail(E_UNEXPECTED);
    hr = factory->CreateInstance(outer, iid, ppv);
    // The class object's code lives in the DLL: release it before a failure
    // may free the DLL.
    factory.reset();
    if (FAILED(hr)) {
        *ppv = nullptr;
        return fail(hr);
    }
    return hr;
}

}  // namespace trn
