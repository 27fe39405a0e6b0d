// A read-only look into the sink stand-in for tests that must wait until a
// sink is full or a reader waits: exported by "HostDlnaSink.dll" beside the
// host's interface, which stays as the host defines it.
#pragma once

#include <windows.h>

struct HostDlnaSinkState {
    DWORD m_dwSinks;           // sinks alive in this process
    DWORD m_dwFull;            // of them, those whose buffer is full
    DWORD m_dwReadersWaiting;  // ReadData calls waiting for data, in all of them
};

typedef void(WINAPI* HostDlnaSinkGetStateFn)(HostDlnaSinkState* state);

// The state from the sink DLL this process has loaded; false while none is.
inline bool QueryHostDlnaSinkState(HostDlnaSinkState& state) {
    const HMODULE module = ::GetModuleHandleW(L"HostDlnaSink.dll");
    const auto get = module ? reinterpret_cast<HostDlnaSinkGetStateFn>(
                                  reinterpret_cast<void*>(::GetProcAddress(module, "HostDlnaSinkGetState")))
                            : nullptr;
    if (!get) return false;
    get(&state);
    return true;
}
