// The four exported entry points, a count for tests and the DLL entry point.
#include <objbase.h>
#include <olectl.h>

#include "HostClassFactory.h"
#include "HostClasses.h"
#include "HostModule.h"
#include "HostRegistration.h"

// Thread notifications stay on: the static runtime relies on them.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) hostobj::SetModuleHandle(instance);
    return TRUE;
}

STDAPI DllCanUnloadNow() { return hostobj::ModuleInUse() ? S_FALSE : S_OK; }

namespace {
LONG g_classObjectsMade = 0;
}

// How many class objects DllGetClassObject has made: tests see through it
// how often a client looked the classes up.
extern "C" LONG WINAPI HostObjectsClassObjectsMade() { return ::InterlockedCompareExchange(&g_classObjectsMade, 0, 0); }

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    const hostobj::HostClassRow* row = hostobj::FindHostClass(clsid);
    if (row == nullptr) return CLASS_E_CLASSNOTAVAILABLE;
    const HRESULT hr = hostobj::CHostClassFactory::Create(*row, iid, ppv);
    if (SUCCEEDED(hr)) ::InterlockedIncrement(&g_classObjectsMade);
    return hr;
}

STDAPI DllRegisterServer() { return hostobj::RegisterHostClasses(); }

STDAPI DllUnregisterServer() { return hostobj::UnregisterHostClasses(); }
