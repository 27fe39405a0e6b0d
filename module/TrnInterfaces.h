// Interfaces of the type library MediaTranscoderLib and of the host's format
// and property objects, declared from their IIDs and slot orders.
#pragma once

#include <objbase.h>
#include <oaidl.h>

#include "ModuleIds.h"

struct IMediaFormat : public IUnknown {
    STDMETHOD(get_MimeType)(BSTR* value) = 0;
    STDMETHOD(put_MimeType)(BSTR value) = 0;
    STDMETHOD(get_ProfileName)(BSTR* value) = 0;
    STDMETHOD(put_ProfileName)(BSTR value) = 0;
    STDMETHOD(get_TimeSeekable)(VARIANT_BOOL* value) = 0;
    STDMETHOD(put_TimeSeekable)(VARIANT_BOOL value) = 0;
    STDMETHOD(get_Converted)(VARIANT_BOOL* value) = 0;
    STDMETHOD(put_Converted)(VARIANT_BOOL value) = 0;
    STDMETHOD(get_ByteSeekable)(VARIANT_BOOL* value) = 0;
    STDMETHOD(put_ByteSeekable)(VARIANT_BOOL value) = 0;
};

struct IMediaProperty : public IUnknown {
    STDMETHOD(get_Name)(BSTR* value) = 0;
    STDMETHOD(put_Name)(BSTR value) = 0;
    STDMETHOD(get_Value)(BSTR* value) = 0;
    STDMETHOD(put_Value)(BSTR value) = 0;
};

struct ITrnMediaTranscoder : public IUnknown {
    STDMETHOD(Open)(VARIANT source, IMediaFormat* target) = 0;
    STDMETHOD(Close)() = 0;
    STDMETHOD(Start)() = 0;
    STDMETHOD(Stop)() = 0;
    STDMETHOD(SetBytePosition)(LONGLONG offset) = 0;
    STDMETHOD(SetTimePosition)(LONG timeMs, LONG* actualMs, LONGLONG* bytePosition) = 0;
    STDMETHOD(ResolveTimePosition)(LONG timeMs, LONG* actualMs, LONGLONG* bytePosition) = 0;
    STDMETHOD(SetRate)(double rate) = 0;
    STDMETHOD(GetLength)(LONGLONG* length) = 0;
    STDMETHOD(GetDuration)(LONG* durationMs) = 0;
    STDMETHOD(Read)(ULONG byteCount, SAFEARRAY** data, VARIANT_BOOL* endOfStream) = 0;
};

struct ITrnMediaTranscoderInfo : public IUnknown {
    STDMETHOD(SetContext)(IUnknown* context) = 0;
    STDMETHOD(GetSupportedFormats)(SAFEARRAY** formats) = 0;
    STDMETHOD(GetFormatsForSource)(VARIANT source, SAFEARRAY** formats) = 0;
    STDMETHOD(CanConvert)(VARIANT source, IMediaFormat* target, VARIANT_BOOL* result) = 0;
    STDMETHOD(GetProperties)(VARIANT source, IMediaFormat* target, SAFEARRAY** properties) = 0;
    STDMETHOD(CreateTranscoder)(ITrnMediaTranscoder** transcoder) = 0;
};

#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(IMediaFormat, 0xE8DA6BAC, 0x8204, 0x4980, 0xB2, 0x13, 0x74, 0x20, 0x3C, 0xE9, 0x28, 0xCD)
__CRT_UUID_DECL(IMediaProperty, 0x811AE906, 0xB39B, 0x40B1, 0xAC, 0x91, 0x47, 0xD7, 0xDB, 0xFE, 0x24, 0x63)
__CRT_UUID_DECL(ITrnMediaTranscoder, 0xD6333CD0, 0x3339, 0x4212, 0xB7, 0x3E, 0x09, 0x42, 0xFD, 0x83, 0x5D, 0xFD)
__CRT_UUID_DECL(ITrnMediaTranscoderInfo, 0xF0D20C3B, 0xDDCD, 0x402B, 0x83, 0xF8, 0x37, 0xDF, 0xB6, 0x7B, 0x22, 0xFD)
#endif
