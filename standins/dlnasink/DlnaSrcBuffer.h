// The host's DLNA sink filter: its class and its buffer interface, declared
// from their GUIDs and slot order.
#pragma once

#include <objbase.h>

// {540DFF74-7239-457A-970B-5ACA6921057B}
static const CLSID CLSID_HostDlnaSink = {0x540DFF74, 0x7239, 0x457A, {0x97, 0x0B, 0x5A, 0xCA, 0x69, 0x21, 0x05, 0x7B}};

struct IDlnaSrcBuffer : public IUnknown {
    STDMETHOD(GetBufferSize)(DWORD* bytes) = 0;
    // Called once, before the sink joins a graph.
    STDMETHOD(SetBufferSize)(DWORD bytes) = 0;
    // Copies up to count bytes of little-endian 16-bit PCM, whole samples
    // only; *endOfStream is VARIANT_TRUE in its low 16 bits once the stream
    // has ended and nothing is left.
    STDMETHOD(ReadData)(BYTE* buffer, DWORD count, DWORD* delivered, DWORD* endOfStream) = 0;
};

#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(IDlnaSrcBuffer, 0x6CAFAE02, 0x5EB3, 0x4A62, 0xBF, 0x77, 0x63, 0xB5, 0x60, 0x69, 0x16, 0x80)
#endif
