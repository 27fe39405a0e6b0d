// One row per coclass drives class-object lookup and (un)registration.
#pragma once

#include <objbase.h>

#include "ComFramework.h"
#include "base/ComPtr.h"

struct TrnObjectMapEntry {
    const CLSID* pclsid;
    UINT registryResource;                 // REGISTRY script of the class
    TrnCreatorFunc creator;                // instance creator
    ComPtr<IClassFactory> pCachedFactory;  // created on first request
    DWORD dwRegister;                      // stays 0 in an in-process server
};

namespace trn {

TrnObjectMapEntry* ObjectMapBegin() noexcept;
TrnObjectMapEntry* ObjectMapEnd() noexcept;

// Finds the class object of clsid (creating and caching it) and answers iid.
HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** ppv) noexcept;

// Releases every cached class object.
void ReleaseClassObjects() noexcept;

HRESULT RegisterServer() noexcept;
HRESULT UnregisterServer() noexcept;

}  // namespace trn
