// The classes this DLL serves; one row drives the class object and the
// registration of each.
#pragma once

#include <objbase.h>

#include <cstddef>

namespace hostobj {

typedef HRESULT (*HostCreateFn)(REFIID iid, void** ppv);

struct HostClassRow {
    const CLSID* clsid;
    const wchar_t* name;  // default value of the CLSID key
    HostCreateFn create;
};

extern const HostClassRow g_hostClasses[];
extern const size_t g_hostClassCount;

const HostClassRow* FindHostClass(REFCLSID clsid) noexcept;

}  // namespace hostobj
