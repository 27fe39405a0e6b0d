// Creates COM objects straight from filter DLLs that ship beside this
// module, without the registry. Each DLL stays loaded exactly once, in a
// process-wide set, until the module is unloaded.
#pragma once

#include <objbase.h>

#include <cstddef>
#include <set>

#include "base/CriticalSection.h"

namespace trn {

// The filter DLLs this module holds, one load reference each, ordered by
// handle. Lookups, insertions and removals are serialised between threads.
class CLoadedDllSet {
public:
    CLoadedDllSet() noexcept;
    // Frees every DLL still held, in ascending handle order.
    ~CLoadedDllSet();
    CLoadedDllSet(const CLoadedDllSet&) = delete;
    CLoadedDllSet& operator=(const CLoadedDllSet&) = delete;

    enum class AdoptResult { kAdopted, kAlreadyHeld, kNoMemory };
    // Takes over the load reference behind module: kAdopted when the set did
    // not hold it yet; otherwise the reference is freed at once (kAlreadyHeld,
    // or kNoMemory when the set could not grow).
    AdoptResult Adopt(HMODULE module) noexcept;
    // Frees the set's reference and forgets the handle.
    void Remove(HMODULE module) noexcept;
    bool Contains(HMODULE module) const noexcept;
    size_t Size() const noexcept;

    CriticalSection& Lock() noexcept { return m_cs; }

private:
    mutable CriticalSection m_cs;
    std::set<HMODULE> m_setModules;
};

// The process-wide set (null outside the module's lifetime).
CLoadedDllSet* LoadedDllSet() noexcept;

// Directory of module, then dllName; the class context is accepted and
// ignored. E_INVALIDARG for a null module (that would be the host
// executable); E_FAIL when the module path cannot be read or the joined path
// would not fit in MAX_PATH characters.
HRESULT CreateInstanceFromLocalDll(HINSTANCE module, const wchar_t* dllName, REFCLSID clsid, IUnknown* outer,
                                   DWORD context, REFIID iid, void** ppv) noexcept;

// Loads path (its own dependencies are looked up beside it), asks its
// DllGetClassObject for the class object and lets it create the instance.
// A DLL that cannot be loaded or has no DllGetClassObject is E_FAIL; a
// refused creation returns the DLL's own status.
HRESULT CreateInstanceFromDll(const wchar_t* path, REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid,
                              void** ppv) noexcept;

}  // namespace trn
