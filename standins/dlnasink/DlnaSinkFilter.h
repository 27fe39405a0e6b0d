// Stand-in for the host's DLNA sink "DlnaSrc": a renderer that takes 16-bit
// PCM into a bounded buffer, from which the host pulls with ReadData. It
// streams in Paused as well as in Running. Seeking goes upstream.
//
// Fault hook for tests: TRN_DLNASINK_FAULT, read when the filter is created,
// makes ReadData misbehave after its first N calls:
//   "fail-read:N[:HRESULT]"  every later call fails (E_FAIL by default)
//   "odd-read:N"             the next call reports one byte fewer than it copied
//   "over-read:N"            every later call claims two bytes more than asked
#pragma once

#include "standins/dlnasink/DlnaSinkState.h"
#include "standins/dlnasink/DlnaSrcBuffer.h"
#include "standins/dlnasink/PcmBuffer.h"
#include "standins/filterbase/InputPin.h"
#include "standins/filterbase/SeekingPassThru.h"

class CDlnaSinkFilter;

struct DlnaSinkFault {
    enum class Kind { None, FailRead, OddRead, OverRead };
    Kind kind = Kind::None;
    unsigned long after = 0;  // ReadData calls that behave first
    HRESULT status = E_FAIL;
};
// Parses the hook's text; anything malformed means no fault.
DlnaSinkFault ParseDlnaSinkFault(const char* text);

class CDlnaSinkInputPin : public CBaseInputPin {
public:
    CDlnaSinkInputPin(CDlnaSinkFilter* filter, CPcmBuffer& buffer);

    STDMETHODIMP Receive(IMediaSample* sample) override;
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;

protected:
    HRESULT CheckMediaType(const CMediaType& mt) override;

private:
    CDlnaSinkFilter* const m_sink;
    CPcmBuffer& m_buffer;
};

class CDlnaSinkFilter : public CBaseFilter, public IDlnaSrcBuffer, public IAMFilterMiscFlags {
public:
    // A second of 48 kHz stereo until the host sets its own size.
    static const DWORD kDefaultBufferBytes = 192000;
    static const DWORD kMaxBufferBytes = 256u << 20;

    CDlnaSinkFilter();
    ~CDlnaSinkFilter() override;

    // What the live sinks of this process hold, for tests (DlnaSinkState.h).
    static HostDlnaSinkState ProcessState();

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override { return CBaseFilter::QueryInterface(iid, out); }
    STDMETHODIMP_(ULONG) AddRef() override { return CBaseFilter::AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return CBaseFilter::Release(); }

    int PinCount() override { return 1; }
    CBasePin* PinAt(int index) override { return index == 0 ? &m_input : nullptr; }

    // IDlnaSrcBuffer
    STDMETHODIMP GetBufferSize(DWORD* bytes) override;
    STDMETHODIMP SetBufferSize(DWORD bytes) override;
    STDMETHODIMP ReadData(BYTE* buffer, DWORD count, DWORD* delivered, DWORD* endOfStream) override;
    // IAMFilterMiscFlags
    STDMETHODIMP_(ULONG) GetMiscFlags() override { return AM_FILTER_MISC_FLAGS_IS_RENDERER; }

    // The input pin saw the end of the stream.
    void OnEndOfStream();

    // Test query: the size last given to SetBufferSize by any sink of the
    // process, accepted or not (0 before the first call).
    static DWORD LastBufferSizeGiven();

protected:
    HRESULT QueryFilterInterface(REFIID iid, void** out) override;
    // Stop wakes a Receive waiting for room and a ReadData waiting for data
    // before it takes the filter lock.
    void UnblockStreaming() override;
    HRESULT StartStreaming() override;
    HRESULT StopStreaming() override;
    // A stream that ended while paused completes now.
    HRESULT OnRun(REFERENCE_TIME start) override;

private:
    CPcmBuffer m_buffer;
    CDlnaSinkInputPin m_input;
    CSeekingPassThru m_seeking;
    bool m_endOfStream = false;  // under the filter lock: EC_COMPLETE on Run
    const DlnaSinkFault m_fault;
    volatile LONG m_readCalls = 0;
};
