#include "Errors.h"

#include <oleauto.h>

#include <cstdio>

#include "base/ComPtr.h"
#include "base/UniqueResource.h"

namespace trnhost {
namespace {

std::wstring OneLine(std::wstring text) {
    for (wchar_t& c : text)
        if (c == L'\r' || c == L'\n' || c == L'\t') c = L' ';
    while (!text.empty() && (text.back() == L' ' || text.back() == L'.')) text.pop_back();
    size_t start = 0;
    while (start < text.size() && text[start] == L' ') ++start;
    return text.substr(start);
}

std::wstring TakeErrorDescription() {
    ComPtr<IErrorInfo> info;
    if (::GetErrorInfo(0, info.put()) != S_OK || !info) return std::wstring();
    UniqueBstr description;
    if (FAILED(info->GetDescription(description.put())) || !description.get()) return std::wstring();
    return OneLine(std::wstring(description.get(), ::SysStringLen(description.get())));
}

}  // namespace

std::wstring HresultText(HRESULT hr) {
    wchar_t* buffer = nullptr;
    const DWORD n =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text;
    if (n && buffer) text.assign(buffer, n);
    if (buffer) ::LocalFree(buffer);
    text = OneLine(text);
    if (!text.empty()) return text;
    // Interface-specific codes belong to whoever returned them.
    return HRESULT_FACILITY(hr) == FACILITY_ITF ? L"no system text (a status of the server's own)" : L"unknown error";
}

std::wstring HresultHex(HRESULT hr) {
    wchar_t text[16];
    std::swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

FailureKind KindOf(HRESULT hr) {
    switch (hr) {
        case HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND):
        case HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND):
        case HRESULT_FROM_WIN32(ERROR_BAD_NETPATH):
        case HRESULT_FROM_WIN32(ERROR_INVALID_NAME):
            return FailureKind::MissingFile;
        case REGDB_E_CLASSNOTREG:
        case CO_E_CLASSSTRING:
        case REGDB_E_IIDNOTREG:
            return FailureKind::Unregistered;
        default:
            return FailureKind::Failure;
    }
}

void ThrowCall(HRESULT hr, const std::wstring& context) {
    HostError error(KindOf(hr), hr, context);
    error.detail = TakeErrorDescription();
    if (error.kind() == FailureKind::Unregistered)
        error.hint = L"register the server with \"trnhost register\" and the host classes with regsvr32";
    throw error;
}

std::wstring FailureLine(const HostError& error) {
    std::wstring line =
        L"trnhost: " + error.context() + L": " + HresultHex(error.hr()) + L" " + HresultText(error.hr());
    if (!error.detail.empty() && error.detail != HresultText(error.hr())) line += L" (" + error.detail + L")";
    if (!error.hint.empty()) line += L"; " + error.hint;
    return line;
}

}  // namespace trnhost
