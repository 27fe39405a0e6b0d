// The host's property object: one name and one value text.
#pragma once

#include "HostObject.h"
#include "module/TrnInterfaces.h"

namespace hostobj {

class CHostMediaProperty final : public CHostObject<IMediaProperty> {
public:
    CHostMediaProperty();

    STDMETHODIMP get_Name(BSTR* value) override;
    STDMETHODIMP put_Name(BSTR value) override;
    STDMETHODIMP get_Value(BSTR* value) override;
    STDMETHODIMP put_Value(BSTR value) override;

    static HRESULT CreateInstance(REFIID iid, void** ppv) noexcept;

private:
    UniqueBstr m_bstrName;
    UniqueBstr m_bstrValue;
};

}  // namespace hostobj
