// Output pin: allocator negotiation and delivery downstream. The allocator
// is committed on Pause and decommitted on Stop, which also wakes a thread
// waiting for a buffer.
#pragma once

#include "standins/filterbase/BasePin.h"

class CBaseOutputPin : public CBasePin {
public:
    CBaseOutputPin(CBaseFilter* filter, CRITICAL_SECTION& lock, const wchar_t* name);

    HRESULT Active() override;
    HRESULT Inactive() override;

    // Streaming side: callable without the filter lock.
    HRESULT GetDeliveryBuffer(IMediaSample** sample);
    HRESULT Deliver(IMediaSample* sample);
    HRESULT DeliverEndOfStream();
    HRESULT DeliverBeginFlush();
    HRESULT DeliverEndFlush();
    HRESULT DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

protected:
    // Sets the buffer count and size on the chosen allocator (SetProperties)
    // from what downstream asked for in request.
    virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;

    HRESULT CompleteConnect(IPin* peer) override;
    HRESULT BreakConnect() override;

    // Written under the filter lock and m_csPeer, read on the streaming side
    // under m_csPeer alone.
    ComPtr<IMemAllocator> m_allocator;
    ComPtr<IMemInputPin> m_input;

private:
    // Downstream's allocator when it offers one, else the platform's.
    HRESULT DecideAllocator();
    HRESULT TryAllocator(const ComPtr<IMemAllocator>& allocator, const ALLOCATOR_PROPERTIES& request);
    // Reads the streaming-side pointers under the lock.
    ComPtr<IMemInputPin> Input();
    ComPtr<IMemAllocator> Allocator();
};
