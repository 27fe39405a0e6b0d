#include "standins/filterbase/OutputPin.h"

CBaseOutputPin::CBaseOutputPin(CBaseFilter* filter, CRITICAL_SECTION& lock, const wchar_t* name)
    : CBasePin(filter, lock, name, PINDIR_OUTPUT) {}

HRESULT CBaseOutputPin::CompleteConnect(IPin* peer) {
    HRESULT hr = ComPtr<IPin>(peer).query_to(IID_IMemInputPin, m_input);
    if (FAILED(hr)) return VFW_E_NO_TRANSPORT;
    hr = DecideAllocator();
    if (FAILED(hr)) m_input.reset();
    return hr;
}

HRESULT CBaseOutputPin::BreakConnect() {
    if (m_allocator) m_allocator->Decommit();
    m_allocator.reset();
    m_input.reset();
    return S_OK;
}

HRESULT CBaseOutputPin::TryAllocator(const ComPtr<IMemAllocator>& allocator, const ALLOCATOR_PROPERTIES& request) {
    ALLOCATOR_PROPERTIES props = request;
    HRESULT hr = DecideBufferSize(allocator.get(), &props);
    if (FAILED(hr)) return hr;
    hr = m_input->NotifyAllocator(allocator.get(), FALSE);
    if (FAILED(hr)) return hr;
    m_allocator = allocator;
    return S_OK;
}

HRESULT CBaseOutputPin::DecideAllocator() {
    ALLOCATOR_PROPERTIES request = {};
    m_input->GetAllocatorRequirements(&request);
    if (request.cbAlign == 0) request.cbAlign = 1;

    ComPtr<IMemAllocator> allocator;
    if (SUCCEEDED(m_input->GetAllocator(allocator.put())) && allocator &&
        SUCCEEDED(TryAllocator(allocator, request)))
        return S_OK;

    // The platform's audio renderer, for one, offers none.
    HRESULT hr = ::CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                                    allocator.put_void());
    if (FAILED(hr)) return hr;
    return TryAllocator(allocator, request);
}

ComPtr<IMemInputPin> CBaseOutputPin::Input() {
    CriticalSectionGuard lock(m_lock);
    return m_input;
}

ComPtr<IMemAllocator> CBaseOutputPin::Allocator() {
    CriticalSectionGuard lock(m_lock);
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
