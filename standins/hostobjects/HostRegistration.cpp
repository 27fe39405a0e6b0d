#include "HostRegistration.h"

#include <string>

#include "HostClasses.h"
#include "HostModule.h"
#include "base/UniqueResource.h"

namespace hostobj {
namespace {

std::wstring ClassKeyPath(REFCLSID clsid) {
    wchar_t text[40] = {};
    ::StringFromGUID2(clsid, text, 40);
    return std::wstring(L"CLSID\\") + text;
}

HRESULT ModulePath(std::wstring* path) {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(ModuleHandle(), &buffer[0], DWORD(buffer.size()));
        if (length == 0) return HRESULT_FROM_WIN32(::GetLastError());
        if (length < buffer.size()) {
            buffer.resize(length);
            *path = buffer;
            return S_OK;
        }
        buffer.resize(buffer.size() * 2);
    }
}

HRESULT SetText(HKEY key, const wchar_t* name, const std::wstring& value) {
    const LONG error = ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                        DWORD((value.size() + 1) * sizeof(wchar_t)));
    return HRESULT_FROM_WIN32(error);
}

HRESULT CreateKey(HKEY parent, const std::wstring& path, UniqueHkey* key) {
    return HRESULT_FROM_WIN32(::RegCreateKeyExW(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                                                nullptr, key->put(), nullptr));
}

HRESULT RegisterHostClass(const HostClassRow& row, const std::wstring& modulePath) {
    UniqueHkey classKey;
    HRESULT hr = CreateKey(HKEY_CLASSES_ROOT, ClassKeyPath(*row.clsid), &classKey);
    if (SUCCEEDED(hr)) hr = SetText(classKey.get(), nullptr, row.name);
    UniqueHkey serverKey;
    if (SUCCEEDED(hr)) hr = CreateKey(classKey.get(), L"InprocServer32", &serverKey);
    if (SUCCEEDED(hr)) hr = SetText(serverKey.get(), nullptr, modulePath);
    if (SUCCEEDED(hr)) hr = SetText(serverKey.get(), L"ThreadingModel", L"Both");
    return hr;
}

}  // namespace

HRESULT RegisterHostClasses() noexcept {
    try {
        std::wstring modulePath;
        HRESULT hr = ModulePath(&modulePath);
        for (size_t i = 0; SUCCEEDED(hr) && i < g_hostClassCount; ++i)
            hr = RegisterHostClass(g_hostClasses[i], modulePath);
        if (FAILED(hr)) UnregisterHostClasses();  // no half registration
        return hr;
    } catch (const std::bad_alloc&) {
        UnregisterHostClasses();
        return E_OUTOFMEMORY;
    }
}

HRESULT UnregisterHostClasses() noexcept {
    try {
        HRESULT result = S_OK;
        for (size_t i = 0; i < g_hostClassCount; ++i) {
            const LONG error = ::RegDeleteTreeW(HKEY_CLASSES_ROOT, ClassKeyPath(*g_hostClasses[i].clsid).c_str());
            if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND) result = HRESULT_FROM_WIN32(error);
        }
        return result;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace hostobj
