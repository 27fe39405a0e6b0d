#include "HostFault.h"

#include <oleauto.h>

#include <cwchar>
#include <new>

#include "base/ComPtr.h"

namespace hostobj {
namespace {

const wchar_t kVariable[] = L"TRN_HOSTOBJ_FAIL";
const wchar_t kSource[] = L"HostMediaObjects";

std::wstring ReadVariable() {
    std::wstring value(256, L'\0');
    for (;;) {
        const DWORD length = ::GetEnvironmentVariableW(kVariable, &value[0], DWORD(value.size()));
        if (length == 0) return std::wstring();
        if (length < value.size()) {
            value.resize(length);
            return value;
        }
        value.resize(length);  // too small: length counts the terminator
    }
}

// Parses "name=hr[:description]" for the wanted name.
bool MatchEntry(const std::wstring& entry, const wchar_t* method, HRESULT* hr, std::wstring* description) {
    const size_t equals = entry.find(L'=');
    if (equals == std::wstring::npos || entry.compare(0, equals, method) != 0) return false;
    const wchar_t* text = entry.c_str() + equals + 1;
    wchar_t* end = nullptr;
    const unsigned long value = std::wcstoul(text, &end, 0);
    if (end == text || (*end != L'\0' && *end != L':')) return false;
    if (!FAILED(HRESULT(value))) return false;
    *hr = HRESULT(value);
    if (description) description->assign(*end == L':' ? end + 1 : L"");
    return true;
}

}  // namespace

HRESULT InjectedFault(const wchar_t* method, std::wstring* description) noexcept {
    try {
        const std::wstring spec = ReadVariable();
        size_t start = 0;
        while (start <= spec.size()) {
            size_t stop = spec.find(L';', start);
            if (stop == std::wstring::npos) stop = spec.size();
            HRESULT hr = S_OK;
            if (MatchEntry(spec.substr(start, stop - start), method, &hr, description)) return hr;
            start = stop + 1;
        }
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT RaiseInjectedFault(const wchar_t* method, REFIID iid) noexcept {
    std::wstring description;
    const HRESULT hr = InjectedFault(method, &description);
    if (SUCCEEDED(hr)) return hr;
    ComPtr<ICreateErrorInfo> create;
    if (SUCCEEDED(::CreateErrorInfo(create.put()))) {
        create->SetGUID(iid);
        create->SetSource(const_cast<LPOLESTR>(kSource));
        create->SetDescription(const_cast<LPOLESTR>(description.c_str()));
        ComPtr<IErrorInfo> info;
        if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, info.put_void()))) ::SetErrorInfo(0, info.get());
    }
    return hr;
}

}  // namespace hostobj
