#include "HostModule.h"

namespace hostobj {
namespace {
HINSTANCE g_instance = nullptr;
LONG g_lockCount = 0;
}  // namespace

void SetModuleHandle(HINSTANCE instance) noexcept { g_instance = instance; }
HINSTANCE ModuleHandle() noexcept { return g_instance; }

void LockModule() noexcept { ::InterlockedIncrement(&g_lockCount); }
void UnlockModule() noexcept { ::InterlockedDecrement(&g_lockCount); }
bool ModuleInUse() noexcept { return ::InterlockedCompareExchange(&g_lockCount, 0, 0) != 0; }

}  // namespace hostobj
