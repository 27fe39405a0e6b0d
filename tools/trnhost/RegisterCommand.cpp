#include "RegisterCommand.h"

#include <cstring>

#include "Errors.h"
#include "Output.h"
#include "Server.h"
#include "base/UniqueResource.h"

namespace trnhost {

int RunRegister(const Arguments& args, bool unregister) {
    std::wstring dll;
    if (!args.operands.empty()) {
        dll = args.operands[0];
    } else {
        wchar_t exe[MAX_PATH * 2];
        const DWORD n = ::GetModuleFileNameW(nullptr, exe, MAX_PATH * 2);
        std::wstring folder(exe, n);
        folder = folder.substr(0, folder.find_last_of(L"\\/") + 1);
        dll = folder + L"TrnM4aTranscoder.dll";
        if (::GetFileAttributesW(dll.c_str()) == INVALID_FILE_ATTRIBUTES)
            dll = folder + L"..\\module\\TrnM4aTranscoder.dll";
    }
    wchar_t full[MAX_PATH * 2];
    const DWORD n = ::GetFullPathNameW(dll.c_str(), MAX_PATH * 2, full, nullptr);
    if (n && n < MAX_PATH * 2) dll = full;

    const ComApartment apartment;
    const UniqueHmodule module(::LoadLibraryExW(dll.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!module) {
        const HRESULT hr = HRESULT_FROM_WIN32(::GetLastError());
        throw HostError(KindOf(hr) == FailureKind::MissingFile ? FailureKind::MissingFile : FailureKind::Failure, hr,
                        L"loading " + dll);
    }
    const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    typedef HRESULT(STDAPICALLTYPE * EntryPoint)();
    const EntryPoint call =
        reinterpret_cast<EntryPoint>(reinterpret_cast<void*>(::GetProcAddress(module.get(), entry)));
    const std::wstring entryName(entry, entry + std::strlen(entry));
    if (!call)
        throw HostError(FailureKind::Failure, HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND), entryName + L" in " + dll);
    Check(call(), entryName + L" of " + dll);
    PrintOut((unregister ? L"unregistered " : L"registered ") + dll + L"\n");
    return 0;
}

}  // namespace trnhost
