#include "ErrorBoundary.h"

#include <comdef.h>

#include <cstdio>
#include <exception>
#include <sstream>

#include "ModuleLog.h"
#include "common/StatusException.h"
#include "common/UniqueResource.h"

namespace trn {
namespace {

// Fallback texts are kept within 32 characters, terminator included.
const size_t kFallbackChars = 32;

std::wstring SystemMessage(HRESULT hr) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(hr), 0x0400, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    if (length == 0 || buffer == nullptr) return std::wstring();
    std::wstring text(buffer, length);
    ::LocalFree(buffer);
    if (!text.empty() && text.back() == L'\n') text.pop_back();
    if (!text.empty() && text.back() == L'\r') text.pop_back();
    return text;
}

std::wstring Widen(const char* text) {
    std::wstring wide;
    if (text == nullptr) return wide;
    for (const char* p = text; *p; ++p) wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*p)));
    return wide;
}

std::wstring BstrText(BSTR text) { return text ? std::wstring(text, ::SysStringLen(text)) : std::wstring(); }

// Builds and writes one entry; a failure while building writes what was
// built, a failure while writing is swallowed.
template <class Build>
void WriteTrace(int level, const wchar_t* source, int line, Build&& build) noexcept {
    try {
        std::wostringstream entry;
        build(entry);
        entry << L" {" << (source ? source : L"") << L"," << std::dec << line << L"}";
        const std::wstring text = entry.str();
        ModuleLogWrite(level, text.c_str());
    } catch (...) {
    }
}

void WriteHex(std::wostream& out, HRESULT hr) {
    out << std::hex << static_cast<unsigned long>(static_cast<uint32_t>(hr)) << std::dec;
}

HRESULT HandleComError(const _com_error& error, const wchar_t* source, int line) noexcept {
    const HRESULT hr = error.Error();
    IErrorInfo* rawInfo = error.ErrorInfo();  // adds a reference
    if (rawInfo == nullptr) {
        WriteTrace(TraceError, source, line, [&](std::wostream& out) {
            out << L"[ERR]" << L" " << L"<exception> " << L"_com_error" << L"(0x";
            WriteHex(out, hr);
            out << L":" << HresultErrorText(hr) << L")";
        });
        return hr;
    }
    WriteTrace(TraceError, source, line, [&](std::wostream& out) {
        UniqueBstr src, desc;
        if (FAILED(rawInfo->GetSource(src.put()))) src.reset();
        if (FAILED(rawInfo->GetDescription(desc.put()))) desc.reset();
        out << L"[ERR]" << L" " << L"<exception> " << L"_com_error" << L"(0x";
        WriteHex(out, hr);
        out << L":" << HresultErrorText(hr) << L"<Src=\"" << BstrText(src.get()) << L"\", Desc=\""
            << BstrText(desc.get()) << L")";
    });
    // The caller reads the failing host call's error information from its thread.
    ::SetErrorInfo(0, rawInfo);
    rawInfo->Release();
    return hr;
}

}  // namespace

std::wstring HresultErrorText(HRESULT hr) {
    std::wstring text = SystemMessage(hr);
    if (!text.empty()) return text;
    wchar_t buffer[kFallbackChars];
    const uint32_t code = static_cast<uint32_t>(hr);
    if (code >= 0x80040200u && code <= 0x8004FFFFu && code - 0x80040200u != 0) {
        swprintf(buffer, kFallbackChars, L"IDispatch error #%d", static_cast<int>(code - 0x80040200u));
    } else {
        swprintf(buffer, kFallbackChars, L"Unknown error 0x%0lX", static_cast<unsigned long>(code));
    }
    buffer[kFallbackChars - 1] = L'\0';
    return buffer;
}

std::wstring HresultText(HRESULT hr) {
    std::wostringstream out;
    out << L"(0x";
    WriteHex(out, hr);
    out << L":" << HresultErrorText(hr) << L")";
    return out.str();
}

HRESULT HandleBoundaryException(const wchar_t* source, int line) noexcept {
    try {
        throw;
    } catch (const log4tarn::Exception& e) {
        const HRESULT hr = e.m_hr;
        WriteTrace(TraceDebug, source, line, [&](std::wostream& out) {
            out << L"[DBG]" << L" " << L"<exception> " << L"<exception trace>" << HresultText(hr);
        });
        return hr;
    } catch (const _com_error& e) {
        return HandleComError(e, source, line);
    } catch (const std::exception& e) {
        const char* what = nullptr;
        try {
            what = e.what();
        } catch (...) {
        }
        WriteTrace(TraceError, source, line, [&](std::wostream& out) {
            out << L"[ERR]" << L" " << L"<exception> " << L"std::exception" << L"(0x" << L"0" << L":"
                << Widen(what) << L")";
        });
        return E_FAIL;
    } catch (const CAtlException& e) {
        const HRESULT hr = e.m_hr;
        WriteTrace(TraceError, source, line, [&](std::wostream& out) {
            out << L"[ERR]" << L" " << L"<exception> " << L"CAtlException" << HresultText(hr);
        });
        return hr;
    } catch (HRESULT hr) {
        WriteTrace(TraceError, source, line, [&](std::wostream& out) {
            out << L"[ERR]" << L" " << L"<exception> " << L"HRESULT" << HresultText(hr);
        });
        return hr;
    } catch (int status) {
        // A status that went through a plain int is the same 32-bit code.
        const HRESULT hr = static_cast<HRESULT>(status);
        WriteTrace(TraceError, source, line, [&](std::wostream& out) {
            out << L"[ERR]" << L" " << L"<exception> " << L"HRESULT" << HresultText(hr);
        });
        return hr;
    } catch (...) {
        WriteTrace(TraceError, source, line,
                   [&](std::wostream& out) { out << L"[ERR]" << L" " << L"<exception> unknown"; });
        return E_FAIL;
    }
}

}  // namespace trn
