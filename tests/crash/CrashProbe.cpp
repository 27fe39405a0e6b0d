// Proves that a fault fails a Windows test even where the exit code hides
// it. "detach" arms the probe DLL to fault while the process unloads it and
// exits 0; "thread" faults in a thread of its own; "clean" loads and unloads
// the DLL unarmed and raises only exceptions that are handled, as the
// product and the platform do all the time, and must pass.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "base/UniqueResource.h"

namespace {

typedef void (*ArmFn)();

const DWORD kThreadNameException = 0x406D1388;

UniqueHmodule LoadProbe() {
    wchar_t path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return UniqueHmodule();
    wchar_t* slash = std::wcsrchr(path, L'\\');
    if (!slash) return UniqueHmodule();
    std::wcscpy(slash + 1, L"CrashProbe.dll");
    return UniqueHmodule(::LoadLibraryW(path));
}

DWORD WINAPI FaultingThread(void*) {
    volatile int* volatile pTarget = nullptr;
    *pTarget = 1;
    return 0;
}

// What a debugger would take from the thread-naming exception; without
// one, the raiser carries on.
LONG CALLBACK ContinueThreadName(EXCEPTION_POINTERS* pInfo) {
    return pInfo->ExceptionRecord->ExceptionCode == kThreadNameException ? EXCEPTION_CONTINUE_EXECUTION
                                                                         : EXCEPTION_CONTINUE_SEARCH;
}

int Clean() {
    {
        UniqueHmodule probe = LoadProbe();
        if (!probe) return 2;
    }
    int caught = 0;
    for (int i = 0; i < 3; ++i) {
        try {
            throw static_cast<long>(E_FAIL);
        } catch (long) {
            ++caught;
        }
    }
    try {
        throw std::runtime_error("handled");
    } catch (const std::exception&) {
        ++caught;
    }
    ::OutputDebugStringA("crash probe: a debug string");
    {
        const std::unique_ptr<void, decltype(&::RemoveVectoredExceptionHandler)> handler(
            ::AddVectoredExceptionHandler(1, &ContinueThreadName), &::RemoveVectoredExceptionHandler);
        const ULONG_PTR name[4] = {0x1000, reinterpret_cast<ULONG_PTR>("probe"), static_cast<ULONG_PTR>(-1), 0};
        if (handler) ::RaiseException(kThreadNameException, 0, 4, name);
    }
    std::printf("clean: %d exceptions caught\n", caught);
    return caught == 4 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const char* mode = argc > 1 ? argv[1] : "";
    if (std::strcmp(mode, "detach") == 0) {
        // Stays loaded: the process unloads it when it ends.
        const HMODULE hProbe = LoadProbe().release();
        const ArmFn arm =
            hProbe ? reinterpret_cast<ArmFn>(reinterpret_cast<void*>(::GetProcAddress(hProbe, "ArmFaultOnDetach")))
                   : nullptr;
        if (!arm) return 2;
        arm();
        std::printf("detach: armed, exiting with 0\n");
        return 0;
    }
    if (std::strcmp(mode, "thread") == 0) {
        UniqueHandle thread(::CreateThread(nullptr, 0, &FaultingThread, nullptr, 0, nullptr));
        if (!thread) return 2;
        ::WaitForSingleObject(thread.get(), INFINITE);
        std::printf("thread: the faulting thread ended, exiting with 0\n");
        return 0;
    }
    if (std::strcmp(mode, "clean") == 0) return Clean();
    std::fprintf(stderr, "usage: trn_crash_probe detach|thread|clean\n");
    return 2;
}
