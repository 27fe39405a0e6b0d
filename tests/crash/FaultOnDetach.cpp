// A DLL that writes through a null pointer when the process unloads it, once
// armed: the fault lands in the loader's call of the entry point, which
// swallows it, as it would a fault in the server's global destructors.
#include <windows.h>

namespace {

volatile LONG g_lArmed = 0;

void WriteThroughNull() {
    volatile int* volatile pTarget = nullptr;
    *pTarget = 1;
}

}  // namespace

extern "C" __declspec(dllexport) void ArmFaultOnDetach() { ::InterlockedExchange(&g_lArmed, 1); }

BOOL WINAPI DllMain(HINSTANCE, DWORD dwReason, void*) {
    if (dwReason == DLL_PROCESS_DETACH && g_lArmed) WriteThroughNull();
    return TRUE;
}
