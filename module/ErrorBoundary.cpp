#include "ErrorBoundary.h"

#include <comdef.h>

#include <cstdio>
#include <exception>
#include <sstream>

#include "ModuleLog.h"
#include "base/ComPtr.h"
#include "base/StatusException.h"
#include "base/UniqueResource.h"

namespace trn {
namespace {

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

void WriteHex(std::wostream& out, HRESULT hr) { out << HresultHex(hr); }

HRESULT HandleComError(const _com_error& error, const wchar_t* source, int line) noexcept {
    const HRESULT hr = error.Error();
    const ComPtr<IErrorInfo> info = AdoptComPtr(error.ErrorInfo());  // ErrorInfo() adds a reference
    if (!info) {
        WriteTrace(TraceError, source, line, [&](std::wostream& out) {
            out << L"[ERR]" << L" " << L"<exception> " << L"_com_error" << L"(0x";
            WriteHex(out, hr);
            out << L":" << HresultErrorText(hr) << L")";
        });
        return hr;
    }
    WriteTrace(TraceError, source, line, [&](std::wostream& out) {
        UniqueBstr src, desc;
        if (FAILED(info->GetSource(src.put()))) src.reset();
        if (FAILED(info->GetDescription(desc.put()))) desc.reset();
        out << L"[ERR]" << L" " << L"<exception> " << L"_com_error" << L"(0x";
        WriteHex(out, hr);
        out << L":" << HresultErrorText(hr) << L"<Src=\"" << BstrText(src.get()) << L"\", Desc=\""
            << BstrText(desc.get()) << L")";
    });
    // The caller reads the failing host call's error information from its thread.
    ::SetErrorInfo(0, info.get());
    return hr;
}

}  // namespace

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
            out << L"[ERR]" << L" " << L"<exception> " << L"std::exception" << L"(0x" << L"0" << L":" << Widen(what)
                << L")";
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
