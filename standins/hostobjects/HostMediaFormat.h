// The host's format object: a MIME type, a DLNA profile name and three flags.
#pragma once

#include "HostObject.h"
#include "module/TrnInterfaces.h"

namespace hostobj {

class CHostMediaFormat final : public CHostObject<IMediaFormat> {
public:
    CHostMediaFormat();

    STDMETHODIMP get_MimeType(BSTR* value) override;
    STDMETHODIMP put_MimeType(BSTR value) override;
    STDMETHODIMP get_ProfileName(BSTR* value) override;
    STDMETHODIMP put_ProfileName(BSTR value) override;
    STDMETHODIMP get_TimeSeekable(VARIANT_BOOL* value) override;
    STDMETHODIMP put_TimeSeekable(VARIANT_BOOL value) override;
    STDMETHODIMP get_Converted(VARIANT_BOOL* value) override;
    STDMETHODIMP put_Converted(VARIANT_BOOL value) override;
    STDMETHODIMP get_ByteSeekable(VARIANT_BOOL* value) override;
    STDMETHODIMP put_ByteSeekable(VARIANT_BOOL value) override;

    static HRESULT CreateInstance(REFIID iid, void** ppv) noexcept;

private:
    UniqueBstr m_bstrMimeType;
    UniqueBstr m_bstrProfileName;
    VARIANT_BOOL m_bTimeSeekable = VARIANT_FALSE;
    VARIANT_BOOL m_bConverted = VARIANT_FALSE;
    VARIANT_BOOL m_bByteSeekable = VARIANT_FALSE;
};

}  // namespace hostobj
