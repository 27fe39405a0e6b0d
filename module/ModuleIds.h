// The server's fixed external identity.
#pragma once

#include <objbase.h>

extern const CLSID CLSID_M4aConverter;
extern const CLSID CLSID_M4aConverterInfo;
extern const IID IID_ITrnMediaTranscoder;
extern const IID IID_ITrnMediaTranscoderInfo;
extern const IID IID_IMediaFormat;
extern const IID IID_IMediaProperty;
extern const CLSID CLSID_HostMediaFormat;
extern const CLSID CLSID_HostMediaProperty;
extern const GUID LIBID_MediaTranscoderLib;

// Texts of the identifiers as the registry scripts use them.
#define TRN_APPID_TEXT L"{1A13599F-F117-4F1B-AEAC-0F8D865164A9}"
