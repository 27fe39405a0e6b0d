// A filter with one input and one output pin that turns each input sample
// into output; derived filters fill the type and buffer hooks and either
// Transform (one output sample per input sample) or Receive.
//
// It streams only with both pins connected. The input pin holds the receive
// lock (m_csReceive) while it takes a sample or the end of the stream, so
// the streaming hooks never run beside StartStreaming or StopStreaming; the
// streaming thread never asks for the filter lock. Stop decommits both
// allocators before it takes the receive lock (see CBaseFilter), so a
// streaming thread waiting for a buffer wakes up and lets go of it; the
// filter downstream must likewise wake a Receive that blocks (it is stopped
// first).
#pragma once

#include <memory>

#include "standins/filterbase/InputPin.h"
#include "standins/filterbase/OutputPin.h"
#include "standins/filterbase/SeekingPassThru.h"

class CTransformFilter;

class CTransformInputPin : public CBaseInputPin {
public:
    CTransformInputPin(CTransformFilter* filter, const wchar_t* name);

    STDMETHODIMP Receive(IMediaSample* sample) override;
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;
    STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

protected:
    HRESULT CheckMediaType(const CMediaType& mt) override;
    HRESULT SetMediaType(const CMediaType& mt) override;
    HRESULT BreakConnect() override;

private:
    CTransformFilter* const m_transform;
};

class CTransformOutputPin : public CBaseOutputPin {
public:
    CTransformOutputPin(CTransformFilter* filter, const wchar_t* name);
    IMediaSeeking* Seeking() noexcept { return &m_seeking; }

protected:
    HRESULT CheckMediaType(const CMediaType& mt) override;
    HRESULT GetMediaType(int index, CMediaType* mt) override;
    HRESULT SetMediaType(const CMediaType& mt) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT QueryPinInterface(REFIID iid, void** out) override;

private:
    CTransformFilter* const m_transform;
    CSeekingPassThru m_seeking;  // passes seeking to the input's peer
};

class CTransformFilter : public CBaseFilter {
public:
    explicit CTransformFilter(const CLSID& clsid);

    int PinCount() override { return 2; }
    CBasePin* PinAt(int index) override;

    CTransformInputPin* InputPin() noexcept { return &m_input; }
    CTransformOutputPin* OutputPin() noexcept { return &m_output; }

    // Type hooks, under the filter lock.
    virtual HRESULT CheckInputType(const CMediaType& in) = 0;
    virtual HRESULT CheckTransform(const CMediaType& in, const CMediaType& out) = 0;
    virtual HRESULT GetOutputType(int index, CMediaType* out) = 0;
    virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;
    // A pin's connection type has been chosen.
    virtual HRESULT SetPinMediaType(PIN_DIRECTION, const CMediaType&) { return S_OK; }
    virtual HRESULT BreakPinConnection(PIN_DIRECTION) { return S_OK; }

    // Streaming hooks, under the receive lock. Receive by default takes one
    // output buffer, copies the sample's times and flags and calls Transform
    // (S_FALSE from Transform drops the sample).
    virtual HRESULT Receive(IMediaSample* in);
    virtual HRESULT Transform(IMediaSample* in, IMediaSample* out);
    virtual HRESULT EndOfStream();

    // Flushing runs under the filter lock only: the streaming thread may be
    // blocked downstream while holding the receive lock.
    virtual HRESULT BeginFlush();
    virtual HRESULT EndFlush();
    virtual HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

protected:
    bool HasStreamingPath() override;

    CTransformInputPin m_input;
    CTransformOutputPin m_output;
};
