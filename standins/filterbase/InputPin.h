// Input pin with IMemInputPin: allocator handshake, flushing and end-of-stream
// state. Derived pins override Receive and the stream control methods and
// call CheckStreaming (and the base methods) first.
#pragma once

#include "standins/filterbase/BasePin.h"

class CBaseInputPin : public CBasePin, public IMemInputPin {
public:
    CBaseInputPin(CBaseFilter* filter, CRITICAL_SECTION& lock, const wchar_t* name);

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override { return CBasePin::QueryInterface(iid, out); }
    STDMETHODIMP_(ULONG) AddRef() override { return CBasePin::AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return CBasePin::Release(); }

    // IMemInputPin
    STDMETHODIMP GetAllocator(IMemAllocator** allocator) override;
    STDMETHODIMP NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
    STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) override;
    STDMETHODIMP Receive(IMediaSample* sample) override;
    STDMETHODIMP ReceiveMultiple(IMediaSample** samples, long count, long* processed) override;
    STDMETHODIMP ReceiveCanBlock() override;

    // IPin stream control: flushing and end-of-stream flags only.
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;

    HRESULT Inactive() override;

    bool IsFlushing() const noexcept { return ::InterlockedCompareExchange(&m_flushing, 0, 0) != 0; }
    bool IsReadOnly() const noexcept { return m_readOnly; }

protected:
    // S_OK when a sample may be taken now: connected, not stopped, not
    // flushing (S_FALSE), and its type change (if any) acceptable.
    HRESULT CheckStreaming();
    HRESULT CheckSampleType(IMediaSample* sample);
    HRESULT QueryPinInterface(REFIID iid, void** out) override;
    HRESULT BreakConnect() override;

    ComPtr<IMemAllocator> m_allocator;
    bool m_readOnly = false;
    mutable LONG m_flushing = 0;
};
