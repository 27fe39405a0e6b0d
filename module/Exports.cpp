// The four exported entry points and the DLL entry point.
#include <objbase.h>
#include <olectl.h>

#include "ModuleObject.h"
#include "ObjectMap.h"

// The static objects are constructed before this runs; a module whose lock
// could not be initialised refuses to load.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        const CTrnM4aTranscoderModule* module = TrnModule();
        if (module == nullptr || module->InitFailed()) return FALSE;
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
