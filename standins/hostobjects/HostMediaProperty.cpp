#include "HostMediaProperty.h"

namespace hostobj {

namespace {
const HostInterface kProperty = {&IID_IMediaProperty, L"IMediaProperty.QueryInterface"};
}

CHostMediaProperty::CHostMediaProperty() : CHostObject(kProperty) {}

HRESULT CHostMediaProperty::CreateInstance(REFIID iid, void** ppv) noexcept {
    return Create<CHostMediaProperty>(iid, ppv);
}

STDMETHODIMP CHostMediaProperty::get_Name(BSTR* value) {
    return GetText(L"IMediaProperty.get_Name", m_bstrName, value);
}
STDMETHODIMP CHostMediaProperty::put_Name(BSTR value) { return PutText(L"IMediaProperty.put_Name", m_bstrName, value); }
STDMETHODIMP CHostMediaProperty::get_Value(BSTR* value) {
    return GetText(L"IMediaProperty.get_Value", m_bstrValue, value);
}
STDMETHODIMP CHostMediaProperty::put_Value(BSTR value) {
    return PutText(L"IMediaProperty.put_Value", m_bstrValue, value);
}

}  // namespace hostobj
