// The info object: tells the host what a source can be delivered as and
// hands out transcoders.
#pragma once

#include <objbase.h>

#include "base/CriticalSection.h"
#include "module/FtmObject.h"
#include "module/HostObjects.h"
#include "module/ModuleIds.h"
#include "module/TrnInterfaces.h"

class CM4aConverterInfo : public CTrnFtmObject<CM4aConverterInfo, &CLSID_M4aConverterInfo, ITrnMediaTranscoderInfo,
                                               &IID_ITrnMediaTranscoderInfo> {
public:
    CM4aConverterInfo() noexcept;
    ~CM4aConverterInfo();

    HRESULT FinalConstruct(IUnknown* controlling) noexcept;

    STDMETHOD(SetContext)(IUnknown* context) override;
    STDMETHOD(GetSupportedFormats)(SAFEARRAY** formats) override;
    STDMETHOD(GetFormatsForSource)(VARIANT source, SAFEARRAY** formats) override;
    STDMETHOD(CanConvert)(VARIANT source, IMediaFormat* target, VARIANT_BOOL* result) override;
    STDMETHOD(GetProperties)(VARIANT source, IMediaFormat* target, SAFEARRAY** properties) override;
    STDMETHOD(CreateTranscoder)(ITrnMediaTranscoder** transcoder) override;

private:
    CriticalSection m_cs{CriticalSection::kDeferInit};         // serialises every method but SetContext
    trn::CHostClass m_formatClass{CLSID_HostMediaFormat};      // under m_cs
    trn::CHostClass m_propertyClass{CLSID_HostMediaProperty};  // under m_cs
};
