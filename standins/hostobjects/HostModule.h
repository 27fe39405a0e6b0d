// What keeps the stand-in DLL loaded: live objects (host objects and class
// objects alike) and server locks.
#pragma once

#include <windows.h>

namespace hostobj {

void SetModuleHandle(HINSTANCE instance) noexcept;
HINSTANCE ModuleHandle() noexcept;

void LockModule() noexcept;
void UnlockModule() noexcept;
bool ModuleInUse() noexcept;

// Held by every object for its whole life.
class CModuleReference {
public:
    CModuleReference() noexcept { LockModule(); }
    ~CModuleReference() { UnlockModule(); }
    CModuleReference(const CModuleReference&) = delete;
    CModuleReference& operator=(const CModuleReference&) = delete;
};

}  // namespace hostobj
