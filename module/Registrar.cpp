#include "Registrar.h"

#include <string>

#include "base/ComPtr.h"
#include "ModuleObject.h"
#include "base/UniqueResource.h"

namespace trn {
namespace {

const CLSID kClsidRegistrar = {0x44EC053A, 0x400F, 0x11D0, {0x9D, 0xCD, 0x00, 0xA0, 0xC9, 0x03, 0x91, 0xD3}};
const IID kIidRegistrar = {0x44EC053B, 0x400F, 0x11D0, {0x9D, 0xCD, 0x00, 0xA0, 0xC9, 0x03, 0x91, 0xD3}};

typedef HRESULT(WINAPI* AtlCreateRegistrarFn)(IRegistrar**);

// The ATL 8 runtime hands out a registrar without COM activation; where it is
// missing the registrar class registered by the system's ATL is used.
HRESULT CreateRegistrar(ComPtr<IRegistrar>& registrar, UniqueHmodule& atl) {
    atl.reset(::LoadLibraryW(L"atl80.dll"));
    if (atl) {
        auto create = reinterpret_cast<AtlCreateRegistrarFn>(
            reinterpret_cast<void*>(::GetProcAddress(atl.get(), "AtlCreateRegistrar")));
        if (create && SUCCEEDED(create(registrar.put())) && registrar) return S_OK;
    }
    return ::CoCreateInstance(kClsidRegistrar, nullptr, CLSCTX_INPROC_SERVER, kIidRegistrar, registrar.put_void());
}

// A failed platform call's status, never a success.
HRESULT LastErrorStatus() noexcept {
    const DWORD error = ::GetLastError();
    return error != ERROR_SUCCESS ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

HRESULT ModulePath(std::wstring& path) {
    HMODULE module = nullptr;
    const HRESULT hr = ThisModuleHandle(&module);
    if (FAILED(hr)) return hr;
    path.assign(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(module, &path[0], static_cast<DWORD>(path.size()));
        if (n == 0) return LastErrorStatus();
        if (n < path.size()) {
            path.resize(n);
            return S_OK;
        }
        path.resize(path.size() * 2);
    }
}

// COM must be usable on the registering thread; regsvr32 does not promise it.
class ComInit {
public:
    ComInit() noexcept : m_hr(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComInit() {
        if (SUCCEEDED(m_hr)) ::CoUninitialize();
    }

private:
    HRESULT m_hr;
};

}  // namespace

HRESULT ThisModuleHandle(HMODULE* module) noexcept {
    if (module == nullptr) return E_POINTER;
    *module = nullptr;
    HMODULE found = nullptr;
    // A null handle would stand for the host executable, whose folder holds
    // none of this module's filters.
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              reinterpret_cast<LPCWSTR>(&ThisModuleHandle), &found) ||
        found == nullptr) {
        return LastErrorStatus();
    }
    *module = found;
    return S_OK;
}

HRESULT UpdateRegistryFromResource(UINT resourceId, bool doRegister) noexcept {
    try {
        ComInit com;
        UniqueHmodule atl;
        ComPtr<IRegistrar> registrar;
        HRESULT hr = CreateRegistrar(registrar, atl);
        if (FAILED(hr)) return hr;
        std::wstring path;
        hr = ModulePath(path);
        if (FAILED(hr)) return hr;
        hr = registrar->AddReplacement(L"MODULE", path.c_str());
        if (FAILED(hr)) return hr;
        if (CTrnM4aTranscoderModule* module = TrnModule()) {
            hr = module->AddRegistryReplacements(registrar.get());
            if (FAILED(hr)) return hr;
        }
        return doRegister ? registrar->ResourceRegister(path.c_str(), resourceId, L"REGISTRY")
                          : registrar->ResourceUnregister(path.c_str(), resourceId, L"REGISTRY");
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace trn
