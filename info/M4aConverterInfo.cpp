#include "M4aConverterInfo.h"

#include "module/ErrorBoundary.h"
#include "transcoder/M4aConverter.h"
#include "common/StatusException.h"
#include "common/UniqueResource.h"

namespace {
const wchar_t kSource[] = L".\\M4aConverterInfo";
}

CM4aConverterInfo::CM4aConverterInfo() noexcept : m_csInitialised(false) {}

CM4aConverterInfo::~CM4aConverterInfo() {
    if (m_csInitialised) ::DeleteCriticalSection(&m_cs);
}

HRESULT CM4aConverterInfo::FinalConstruct(IUnknown* controlling) noexcept {
    if (!::InitializeCriticalSectionEx(&m_cs, 0, 0)) return E_OUTOFMEMORY;
    m_csInitialised = true;
    return CTrnFtmObject::FinalConstruct(controlling);
}

STDMETHODIMP CM4aConverterInfo::SetContext(IUnknown*) { return S_OK; }

STDMETHODIMP CM4aConverterInfo::GetSupportedFormats(SAFEARRAY** formats) {
    if (formats == nullptr) return E_POINTER;
    return E_NOTIMPL;
}

STDMETHODIMP CM4aConverterInfo::GetFormatsForSource(VARIANT source, SAFEARRAY** formats) {
    if (source.vt != VT_BSTR || source.bstrVal == nullptr) return E_INVALIDARG;
    if (formats == nullptr) return E_POINTER;
    return E_NOTIMPL;
}

STDMETHODIMP CM4aConverterInfo::CanConvert(VARIANT source, IMediaFormat* target, VARIANT_BOOL* result) {
    if (source.vt != VT_BSTR || source.bstrVal == nullptr || target == nullptr) return E_INVALIDARG;
    if (result == nullptr) return E_POINTER;
    return E_NOTIMPL;
}

STDMETHODIMP CM4aConverterInfo::GetProperties(VARIANT, IMediaFormat*, SAFEARRAY** properties) {
    if (properties == nullptr) return E_POINTER;
    return E_NOTIMPL;
}

STDMETHODIMP CM4aConverterInfo::CreateTranscoder(ITrnMediaTranscoder** transcoder) {
    if (transcoder == nullptr) return E_POINTER;
    CriticalSectionGuard lock(m_cs);
    try {
        *transcoder = nullptr;
        TRN_THROW_IF_FAILED(CComObject<CM4aConverter>::CreateInstance(
            IID_ITrnMediaTranscoder, reinterpret_cast<void**>(transcoder)));
        TRN_THROW_HR_IF(E_UNEXPECTED, *transcoder == nullptr);
        return S_OK;
    }
    TRN_CATCH_RETURN(kSource)
}
