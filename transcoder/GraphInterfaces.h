// The outside filters of the decoding graph as this module calls them:
// classes, file names and private interfaces, declared from their GUIDs and
// slot orders.
#pragma once

#include <objbase.h>

namespace trn {

extern const CLSID CLSID_KisoMp4AacDecoder;
extern const CLSID CLSID_KisoWaveFitter;
extern const CLSID CLSID_DlnaSrc;

extern const wchar_t kDecoderDllName[];     // "KisoMp4AacDecoderSubset.ax"
extern const wchar_t kWaveFitterDllName[];  // "KisoWaveFitterFilter.ax"
extern const wchar_t kSinkFilterName[];     // "DlnaSrc", the sink's name in the graph

}  // namespace trn

struct IWaveFitterFormat : public IUnknown {
    STDMETHOD(SetFormat)(DWORD bitsPerSample, DWORD sampleRate, DWORD channels) = 0;
};

struct IWaveFitterOption : public IUnknown {
    STDMETHOD(SetOption)(DWORD option) = 0;
};

// The host's sink: the first method is not used by this module.
struct IDlnaSrcBuffer : public IUnknown {
    STDMETHOD(Reserved)(DWORD* value) = 0;
    STDMETHOD(SetBufferSize)(DWORD bytes) = 0;
    // Copies up to count bytes of little-endian 16-bit PCM; the low 16 bits
    // of *endOfStream become VARIANT_TRUE once the stream has ended.
    STDMETHOD(ReadData)(BYTE* buffer, DWORD count, DWORD* delivered, DWORD* endOfStream) = 0;
};

#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(IWaveFitterFormat, 0xD57EA1CB, 0x4923, 0x4C16, 0x9E, 0x2F, 0x41, 0x85, 0xF2, 0xBD, 0x08, 0x94)
__CRT_UUID_DECL(IWaveFitterOption, 0x406700C7, 0x02EE, 0x47F4, 0x97, 0x09, 0x91, 0x91, 0xB5, 0xB5, 0xFC, 0x32)
__CRT_UUID_DECL(IDlnaSrcBuffer, 0x6CAFAE02, 0x5EB3, 0x4A62, 0xBF, 0x77, 0x63, 0xB5, 0x60, 0x69, 0x16, 0x80)
#endif
