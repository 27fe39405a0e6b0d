#include "standins/filterbase/OutputPin.h"

#include <utility>

CBaseOutputPin::CBaseOutputPin(CBaseFilter* filter, CRITICAL_SECTION& lock, const wchar_t* name)
    : CBasePin(filter, lock, name, PINDIR_OUTPUT) {}

HRESULT CBaseOutputPin::CompleteConnect(IPin* peer) {
    ComPtr<IMemInputPin> input;
    if (FAILED(ComPtr<IPin>(peer).query_to(IID_IMemInputPin, input))) return VFW_E_NO_TRANSPORT;
    {
        CriticalSectionGuard lock(m_csPeer.Get());
        m_input = input;
    }
    const HRESULT hr = DecideAllocator();
    if (FAILED(hr)) {
        CriticalSectionGuard lock(m_csPeer.Get());
        m_input.reset();
    }
    return hr;
}

HRESULT CBaseOutputPin::BreakConnect() {
    ComPtr<IMemAllocator> allocator;
    ComPtr<IMemInputPin> input;
    {
        CriticalSectionGuard lock(m_csPeer.Get());
        std::swap(allocator, m_allocator);
        std::swap(input, m_input);
    }
    if (allocator) allocator->Decommit();
    return S_OK;
}

HRESULT CBaseOutputPin::TryAllocator(const ComPtr<IMemAllocator>& allocator, const ALLOCATOR_PROPERTIES& request) {
    ALLOCATOR_PROPERTIES props = request;
    HRESULT hr = DecideBufferSize(allocator.get(), &props);
    if (FAILED(hr)) return hr;
    hr = m_input->NotifyAllocator(allocator.get(), FALSE);
    if (FAILED(hr)) return hr;
    CriticalSectionGuard lock(m_csPeer.Get());
    m_allocator = allocator;
    return S_OK;
}

HRESULT CBaseOutputPin::DecideAllocator() {
    ALLOCATOR_PROPERTIES request = {};
    m_input->GetAllocatorRequirements(&request);
    if (request.cbAlign == 0) request.cbAlign = 1;

    ComPtr<IMemAllocator> allocator;
    if (SUCCEEDED(m_input->GetAllocator(allocator.put())) && allocator && SUCCEEDED(TryAllocator(allocator, request)))
        return S_OK;

    // The platform's audio renderer, for one, offers none.
    HRESULT hr = ::CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                                    allocator.put_void());
    if (FAILED(hr)) return hr;
    return TryAllocator(allocator, request);
}

ComPtr<IMemInputPin> CBaseOutputPin::Input() {
    CriticalSectionGuard lock(m_csPeer.Get());
    return m_input;
}

ComPtr<IMemAllocator> CBaseOutputPin::Allocator() {
    CriticalSectionGuard lock(m_csPeer.Get());
    return m_allocator;
}

HRESULT CBaseOutputPin::Active() {
    ComPtr<IMemAllocator> allocator = Allocator();
    return allocator ? allocator->Commit() : VFW_E_NO_ALLOCATOR;
}

HRESULT CBaseOutputPin::Inactive() {
    ComPtr<IMemAllocator> allocator = Allocator();
    return allocator ? allocator->Decommit() : S_OK;
}

HRESULT CBaseOutputPin::GetDeliveryBuffer(IMediaSample** sample) {
    if (!sample) return E_POINTER;
    *sample = nullptr;
    ComPtr<IMemAllocator> allocator = Allocator();
    if (!allocator) return VFW_E_NO_ALLOCATOR;
    return allocator->GetBuffer(sample, nullptr, nullptr, 0);
}

HRESULT CBaseOutputPin::Deliver(IMediaSample* sample) {
    ComPtr<IMemInputPin> input = Input();
    return input ? input->Receive(sample) : VFW_E_NOT_CONNECTED;
}

HRESULT CBaseOutputPin::DeliverEndOfStream() {
    ComPtr<IPin> peer = Peer();
    return peer ? peer->EndOfStream() : VFW_E_NOT_CONNECTED;
}

HRESULT CBaseOutputPin::DeliverBeginFlush() {
    ComPtr<IPin> peer = Peer();
    return peer ? peer->BeginFlush() : VFW_E_NOT_CONNECTED;
}

HRESULT CBaseOutputPin::DeliverEndFlush() {
    ComPtr<IPin> peer = Peer();
    return peer ? peer->EndFlush() : VFW_E_NOT_CONNECTED;
}

HRESULT CBaseOutputPin::DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
    CBasePin::NewSegment(start, stop, rate);
    ComPtr<IPin> peer = Peer();
    return peer ? peer->NewSegment(start, stop, rate) : VFW_E_NOT_CONNECTED;
}
