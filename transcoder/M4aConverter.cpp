#include "M4aConverter.h"

#include "module/ErrorBoundary.h"
#include "common/StatusException.h"

namespace {
const wchar_t kSource[] = L".\\M4aConverter";
}

bool TrnHasSourceExtension(const std::wstring& path) {
    static const wchar_t* const kExtensions[] = {L".mp4", L".m4a", L".m4b", L".3gp"};
    const std::wstring tail = path.size() > 4 ? path.substr(path.size() - 4) : path;
    for (const wchar_t* extension : kExtensions) {
        if (::CompareStringOrdinal(tail.c_str(), -1, extension, -1, TRUE) == CSTR_EQUAL) return true;
    }
    return false;
}

CM4aConverter::CM4aConverter() noexcept
    : m_llLength(-1),
      m_lDurationMs(-1),
      m_lStartMs(0),
      m_llStartByte(0),
      m_nState(0) {}

CM4aConverter::~CM4aConverter() { Close(); }

STDMETHODIMP CM4aConverter::Open(VARIANT source, IMediaFormat* target) {
    if (source.vt != VT_BSTR || source.bstrVal == nullptr || target == nullptr) return E_INVALIDARG;
    try {
        Close();
        const std::wstring path(source.bstrVal, ::SysStringLen(source.bstrVal));
        TRN_THROW_HR_IF(E_INVALIDARG, !TrnHasSourceExtension(path));
        // Delivery modes arrive with the decoding graph.
        return E_NOTIMPL;
    }
    TRN_CATCH_RETURN(kSource)
}

STDMETHODIMP CM4aConverter::Close() {
    m_hFile.reset();
    m_llLength = -1;
    m_lDurationMs = -1;
    m_lStartMs = 0;
    m_llStartByte = 0;
    m_nState = 0;
    return S_OK;
}

STDMETHODIMP CM4aConverter::Start() { return m_nState == 0 ? E_FAIL : E_NOTIMPL; }

STDMETHODIMP CM4aConverter::Stop() { return m_nState == 0 ? E_FAIL : S_OK; }

STDMETHODIMP CM4aConverter::SetBytePosition(LONGLONG) { return E_FAIL; }

STDMETHODIMP CM4aConverter::SetTimePosition(LONG, LONG* actualMs, LONGLONG*) {
    if (actualMs == nullptr) return E_POINTER;
    return E_FAIL;
}

STDMETHODIMP CM4aConverter::ResolveTimePosition(LONG, LONG* actualMs, LONGLONG*) {
    if (actualMs == nullptr) return E_POINTER;
    return E_FAIL;
}

STDMETHODIMP CM4aConverter::SetRate(double rate) {
    if (m_nState == 0) return E_FAIL;
    return rate == 1.0 ? S_OK : E_INVALIDARG;
}

STDMETHODIMP CM4aConverter::GetLength(LONGLONG* length) {
    if (length == nullptr) return E_POINTER;
    if (m_nState == 0) return E_FAIL;
    *length = m_llLength;
    return S_OK;
}

STDMETHODIMP CM4aConverter::GetDuration(LONG* durationMs) {
    if (durationMs == nullptr) return E_POINTER;
    if (m_nState == 0) return E_FAIL;
    *durationMs = m_lDurationMs;
    return S_OK;
}

STDMETHODIMP CM4aConverter::Read(ULONG, SAFEARRAY** data, VARIANT_BOOL* endOfStream) {
    if (data == nullptr || endOfStream == nullptr) return E_POINTER;
    return E_NOTIMPL;
}
