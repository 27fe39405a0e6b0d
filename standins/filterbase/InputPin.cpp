#include "standins/filterbase/InputPin.h"

CBaseInputPin::CBaseInputPin(CBaseFilter* filter, CRITICAL_SECTION& lock, const wchar_t* name)
    : CBasePin(filter, lock, name, PINDIR_INPUT) {}

HRESULT CBaseInputPin::QueryPinInterface(REFIID iid, void** out) {
    if (IsEqualIID(iid, IID_IMemInputPin)) {
        *out = static_cast<IMemInputPin*>(this);
        AddRef();
        return S_OK;
    }
    return CBasePin::QueryPinInterface(iid, out);
}

STDMETHODIMP CBaseInputPin::GetAllocator(IMemAllocator** allocator) {
    if (!allocator) return E_POINTER;
    CriticalSectionGuard lock(m_csFilter);
    if (!m_allocator) {
        const HRESULT hr = ::CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                                              m_allocator.put_void());
        if (FAILED(hr)) {
            *allocator = nullptr;
            return hr;
        }
    }
    *allocator = ComPtr<IMemAllocator>(m_allocator).detach();
    return S_OK;
}

STDMETHODIMP CBaseInputPin::NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) {
    if (!allocator) return E_POINTER;
    CriticalSectionGuard lock(m_csFilter);
    m_allocator = ComPtr<IMemAllocator>(allocator);
    m_readOnly = readOnly != FALSE;
    return S_OK;
}

STDMETHODIMP CBaseInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) { return E_NOTIMPL; }

HRESULT CBaseInputPin::CheckStreaming() {
    if (!IsConnected()) return VFW_E_NOT_CONNECTED;
    if (m_filter->IsStopped()) return VFW_E_WRONG_STATE;
    if (IsFlushing()) return S_FALSE;
    return S_OK;
}

HRESULT CBaseInputPin::CheckSampleType(IMediaSample* sample) {
    AM_MEDIA_TYPE* changed = nullptr;
    if (sample->GetMediaType(&changed) != S_OK || !changed) return S_OK;
    CMediaType mt(*changed);
    DeleteTaskMemMediaType(changed);
    if (CheckMediaType(mt) != S_OK) return VFW_E_INVALIDMEDIATYPE;
    // Only the streaming thread looks at the type while the filter runs.
    return SetMediaType(mt);
}

STDMETHODIMP CBaseInputPin::Receive(IMediaSample* sample) {
    if (!sample) return E_POINTER;
    const HRESULT hr = CheckStreaming();
    if (hr != S_OK) return hr;
    return CheckSampleType(sample);
}

STDMETHODIMP CBaseInputPin::ReceiveMultiple(IMediaSample** samples, long count, long* processed) {
    if (!samples || !processed) return E_POINTER;
    *processed = 0;
    HRESULT hr = S_OK;
    while (*processed < count) {
        hr = Receive(samples[*processed]);
        if (hr != S_OK) break;
        ++*processed;
    }
    return hr;
}

STDMETHODIMP CBaseInputPin::ReceiveCanBlock() { return S_OK; }

STDMETHODIMP CBaseInputPin::EndOfStream() {
    if (!IsConnected()) return VFW_E_NOT_CONNECTED;
    return IsFlushing() ? S_FALSE : S_OK;
}

STDMETHODIMP CBaseInputPin::BeginFlush() {
    ::InterlockedExchange(&m_flushing, 1);
    return S_OK;
}

STDMETHODIMP CBaseInputPin::EndFlush() {
    ::InterlockedExchange(&m_flushing, 0);
    return S_OK;
}

HRESULT CBaseInputPin::Inactive() {
    ComPtr<IMemAllocator> allocator;
    {
        CriticalSectionGuard lock(m_csFilter);
        allocator = m_allocator;
    }
    // Wakes an upstream thread waiting in GetBuffer.
    if (allocator) allocator->Decommit();
    return S_OK;
}

HRESULT CBaseInputPin::BreakConnect() {
    m_allocator.reset();
    m_readOnly = false;
    return S_OK;
}
