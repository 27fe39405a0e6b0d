// The transcoder object: streams one source file to one client, decoded to
// big-endian 16-bit PCM through a DirectShow graph or unchanged. It takes no
// lock of its own: one transcoder is driven by one thread at a time.
#pragma once

#define STRSAFE_NO_DEPRECATE
#include <dshow.h>

#include <string>

#include "base/ComPtr.h"
#include "base/UniqueResource.h"
#include "module/FtmObject.h"
#include "module/ModuleIds.h"
#include "module/TrnInterfaces.h"
#include "transcoder/GraphInterfaces.h"

namespace trn {
// A platform workaround. The audio renderer that Render adds to every graph
// (Wine's DirectSound renderer) cannot be created or destroyed on several
// threads at once: Render then fails (VFW_E_CANNOT_RENDER) or the process
// faults. So Render and the last release of a graph take this process-wide
// lock, and nothing else does: no host object is created, called or
// released under it, as such a call may have to wait for another apartment's
// thread, which may itself be waiting for the lock.
CriticalSection& RendererLock() noexcept;
}  // namespace trn

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
    enum State : LONG { kClosed = 0, kRunning = 1, kOpen = 2 };

    void OpenTarget(const std::wstring& path, IMediaFormat* target);
    void StartGraph();
    void StartFile();
    void CheckTimePosition(LONG timeMs, LONG* actualMs, LONGLONG* bytePosition) const;
    DWORD ReadFromSink(BYTE* buffer, ULONG byteCount, DWORD* endOfStream);
    DWORD ReadFromFile(BYTE* buffer, ULONG byteCount, DWORD* endOfStream);
    // Stops the graph, whatever the state, and releases the five graph
    // interfaces.
    void ReleaseGraph() noexcept;
    // The decoding graph for path, held in the five graph fields (defined
    // with the graph helpers).
    void BuildGraph(const std::wstring& path);

    UniqueFileHandle m_hFile;
    std::wstring m_strPath;
    LONGLONG m_llLength;
    LONG m_nChannels;
    LONG m_nBitsPerSample;
    LONG m_nSampleRate;
    LONG m_lDurationMs;
    LONG m_lStartMs;
    LONGLONG m_llStartByte;
    bool m_bUseGraph;
    bool m_bTimeSeek;
    bool m_bByteSeek;
    LONG m_nState;
    ComPtr<IGraphBuilder> m_pGraph;
    ComPtr<IMediaControl> m_pControl;
    ComPtr<IMediaEventEx> m_pEvent;
    ComPtr<IMediaSeeking> m_pSeeking;
    ComPtr<IDlnaSrcBuffer> m_pSink;
};

// True when the path ends in one of the source extensions (case-insensitive)
// and holds no NUL: the file system would see only the text before it.
bool TrnHasSourceExtension(const std::wstring& path);

namespace trn {

// The first pin of filter in direction dir, with a reference. A failed
// enumeration is thrown; no such pin is E_FAIL.
ComPtr<IPin> GetPin(IBaseFilter* filter, PIN_DIRECTION dir);

// The audio renderer's "Audio Input pin (rendered)" in graph, or null. No
// graph is E_FAIL.
ComPtr<IPin> FindRendererInputPin(IGraphBuilder* graph);

}  // namespace trn
