// The four exported entry points and the DLL entry point.
#include <objbase.h>
#include <olectl.h>

#include "ModuleObject.h"
#include "ObjectMap.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        const CTrnM4aTranscoderModule* module = TrnModule();
        if (module == nullptr || module->InitFailed()) return FALSE;
        ::DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllCanUnloadNow() {
    const CTrnM4aTranscoderModule* module = TrnModule();
    return (module == nullptr || module->GetLockCount() == 0) ? S_OK : S_FALSE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* ppv) { return trn::GetClassObject(clsid, iid, ppv); }

STDAPI DllRegisterServer() { return trn::RegisterServer(); }

STDAPI DllUnregisterServer() { return trn::UnregisterServer(); }
