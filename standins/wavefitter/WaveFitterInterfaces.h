// The wave fitter filter: its class and its configuration interfaces,
// declared from their GUIDs and slot order.
#pragma once

#include <objbase.h>

// {67C53A55-EF83-4B2E-9B6A-A378D509DB02}
static const CLSID CLSID_KisoWaveFitter = {
    0x67C53A55, 0xEF83, 0x4B2E, {0x9B, 0x6A, 0xA3, 0x78, 0xD5, 0x09, 0xDB, 0x02}};

struct IWaveFitterFormat : public IUnknown {
    // The output format; before the output pin is connected.
    STDMETHOD(SetFormat)(DWORD bitsPerSample, DWORD sampleRate, DWORD channels) = 0;
};

struct IWaveFitterOption : public IUnknown {
    STDMETHOD(SetOption)(DWORD option) = 0;
};

#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(IWaveFitterFormat, 0xD57EA1CB, 0x4923, 0x4C16, 0x9E, 0x2F, 0x41, 0x85, 0xF2, 0xBD, 0x08, 0x94)
__CRT_UUID_DECL(IWaveFitterOption, 0x406700C7, 0x02EE, 0x47F4, 0x97, 0x09, 0x91, 0x91, 0xB5, 0xB5, 0xFC, 0x32)
#endif
