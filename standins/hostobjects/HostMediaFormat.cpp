#include "HostMediaFormat.h"

namespace hostobj {

namespace {
const HostInterface kFormat = {&IID_IMediaFormat, L"IMediaFormat.QueryInterface"};
}

CHostMediaFormat::CHostMediaFormat() : CHostObject(kFormat) {}

HRESULT CHostMediaFormat::CreateInstance(REFIID iid, void** ppv) noexcept { return Create<CHostMediaFormat>(iid, ppv); }

STDMETHODIMP CHostMediaFormat::get_MimeType(BSTR* value) {
    return GetText(L"IMediaFormat.get_MimeType", m_bstrMimeType, value);
}
STDMETHODIMP CHostMediaFormat::put_MimeType(BSTR value) {
    return PutText(L"IMediaFormat.put_MimeType", m_bstrMimeType, value);
}
STDMETHODIMP CHostMediaFormat::get_ProfileName(BSTR* value) {
    return GetText(L"IMediaFormat.get_ProfileName", m_bstrProfileName, value);
}
STDMETHODIMP CHostMediaFormat::put_ProfileName(BSTR value) {
    return PutText(L"IMediaFormat.put_ProfileName", m_bstrProfileName, value);
}
STDMETHODIMP CHostMediaFormat::get_TimeSeekable(VARIANT_BOOL* value) {
    return GetFlag(L"IMediaFormat.get_TimeSeekable", m_bTimeSeekable, value);
}
STDMETHODIMP CHostMediaFormat::put_TimeSeekable(VARIANT_BOOL value) {
    return PutFlag(L"IMediaFormat.put_TimeSeekable", m_bTimeSeekable, value);
}
STDMETHODIMP CHostMediaFormat::get_Converted(VARIANT_BOOL* value) {
    return GetFlag(L"IMediaFormat.get_Converted", m_bConverted, value);
}
STDMETHODIMP CHostMediaFormat::put_Converted(VARIANT_BOOL value) {
    return PutFlag(L"IMediaFormat.put_Converted", m_bConverted, value);
}
STDMETHODIMP CHostMediaFormat::get_ByteSeekable(VARIANT_BOOL* value) {
    return GetFlag(L"IMediaFormat.get_ByteSeekable", m_bByteSeekable, value);
}
STDMETHODIMP CHostMediaFormat::put_ByteSeekable(VARIANT_BOOL value) {
    return PutFlag(L"IMediaFormat.put_ByteSeekable", m_bByteSeekable, value);
}

}  // namespace hostobj
