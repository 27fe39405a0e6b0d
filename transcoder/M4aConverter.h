// The transcoder object: streams one source file to one client.
#pragma once

#include <objbase.h>

#include <string>

#include "module/FtmObject.h"
#include "module/ModuleIds.h"
#include "module/TrnInterfaces.h"
#include "common/UniqueResource.h"

class CM4aConverter
    : public CTrnFtmObject<CM4aConverter, &CLSID_M4aConverter, ITrnMediaTranscoder, &IID_ITrnMediaTranscoder> {
public:
    CM4aConverter() noexcept;
    ~CM4aConverter();

    STDMETHOD(Open)(VARIANT source, IMediaFormat* target) override;
    STDMETHOD(Close)() override;
    STDMETHOD(Start)() override;
    STDMETHOD(Stop)() override;
    STDMETHOD(SetBytePosition)(LONGLONG offset) override;
    STDMETHOD(SetTimePosition)(LONG timeMs, LONG* actualMs, LONGLONG* bytePosition) override;
    STDMETHOD(ResolveTimePosition)(LONG timeMs, LONG* actualMs, LONGLONG* bytePosition) override;
    STDMETHOD(SetRate)(double rate) override;
    STDMETHOD(GetLength)(LONGLONG* length) override;
    STDMETHOD(GetDuration)(LONG* durationMs) override;
    STDMETHOD(Read)(ULONG byteCount, SAFEARRAY** data, VARIANT_BOOL* endOfStream) override;

private:
    UniqueFileHandle m_hFile;
    std::wstring m_strPath;
    LONGLONG m_llLength;
    LONG m_lDurationMs;
    LONG m_lStartMs;
    LONGLONG m_llStartByte;
    LONG m_nState;  // 0 closed, 2 open (stopped), 1 running
};

// True when the path ends in one of the source extensions (case-insensitive).
bool TrnHasSourceExtension(const std::wstring& path);
