#include "standins/filterbase/TransformFilter.h"

CTransformInputPin::CTransformInputPin(CTransformFilter* filter, const wchar_t* name)
    : CBaseInputPin(filter, filter->FilterLock(), name), m_transform(filter) {}

HRESULT CTransformInputPin::CheckMediaType(const CMediaType& mt) {
    HRESULT hr = m_transform->CheckInputType(mt);
    if (hr != S_OK) return FAILED(hr) ? hr : VFW_E_TYPE_NOT_ACCEPTED;
    CTransformOutputPin* output = m_transform->OutputPin();
    if (output->IsConnected()) return m_transform->CheckTransform(mt, output->CurrentMediaType());
    return S_OK;
}

HRESULT CTransformInputPin::SetMediaType(const CMediaType& mt) {
    const HRESULT hr = CBaseInputPin::SetMediaType(mt);
    return FAILED(hr) ? hr : m_transform->SetPinMediaType(PINDIR_INPUT, mt);
}

HRESULT CTransformInputPin::BreakConnect() {
    CBaseInputPin::BreakConnect();
    return m_transform->BreakPinConnection(PINDIR_INPUT);
}

STDMETHODIMP CTransformInputPin::Receive(IMediaSample* sample) {
    CriticalSectionGuard lock(m_transform->ReceiveLock());
    const HRESULT hr = CBaseInputPin::Receive(sample);
    if (hr != S_OK) return hr;
    return m_transform->Receive(sample);
}

STDMETHODIMP CTransformInputPin::EndOfStream() {
    CriticalSectionGuard lock(m_transform->ReceiveLock());
    const HRESULT hr = CBaseInputPin::EndOfStream();
    if (hr != S_OK) return hr;
    return m_transform->EndOfStream();
}

STDMETHODIMP CTransformInputPin::BeginFlush() {
    CriticalSectionGuard lock(m_csFilter);
    if (!m_connected || !m_transform->OutputPin()->IsConnected()) return VFW_E_NOT_CONNECTED;
    CBaseInputPin::BeginFlush();
    return m_transform->BeginFlush();
}

STDMETHODIMP CTransformInputPin::EndFlush() {
    CriticalSectionGuard lock(m_csFilter);
    if (!m_connected || !m_transform->OutputPin()->IsConnected()) return VFW_E_NOT_CONNECTED;
    const HRESULT hr = m_transform->EndFlush();
    CBaseInputPin::EndFlush();
    return hr;
}

STDMETHODIMP CTransformInputPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
    CBaseInputPin::NewSegment(start, stop, rate);
    return m_transform->NewSegment(start, stop, rate);
}

CTransformOutputPin::CTransformOutputPin(CTransformFilter* filter, const wchar_t* name)
    : CBaseOutputPin(filter, filter->FilterLock(), name),
      m_transform(filter),
      m_seeking(static_cast<IPin*>(this), filter->InputPin()) {}

HRESULT CTransformOutputPin::CheckMediaType(const CMediaType& mt) {
    CTransformInputPin* input = m_transform->InputPin();
    if (!input->IsConnected()) return VFW_E_NOT_CONNECTED;
    return m_transform->CheckTransform(input->CurrentMediaType(), mt);
}

HRESULT CTransformOutputPin::GetMediaType(int index, CMediaType* mt) {
    if (!m_transform->InputPin()->IsConnected()) return VFW_S_NO_MORE_ITEMS;
    return m_transform->GetOutputType(index, mt);
}

HRESULT CTransformOutputPin::SetMediaType(const CMediaType& mt) {
    const HRESULT hr = CBaseOutputPin::SetMediaType(mt);
    return FAILED(hr) ? hr : m_transform->SetPinMediaType(PINDIR_OUTPUT, mt);
}

HRESULT CTransformOutputPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
    return m_transform->DecideBufferSize(allocator, request);
}

HRESULT CTransformOutputPin::QueryPinInterface(REFIID iid, void** out) {
    if (IsEqualIID(iid, IID_IMediaSeeking)) {
        *out = static_cast<IMediaSeeking*>(&m_seeking);
        AddRef();
        return S_OK;
    }
    return CBaseOutputPin::QueryPinInterface(iid, out);
}

// The pins are members built from this; they only keep the pointer.
CTransformFilter::CTransformFilter(const CLSID& clsid)
    : CBaseFilter(clsid), m_input(this, L"In"), m_output(this, L"Out") {}

CBasePin* CTransformFilter::PinAt(int index) {
    if (index == 0) return &m_input;
    if (index == 1) return &m_output;
    return nullptr;
}

bool CTransformFilter::HasStreamingPath() { return m_input.IsConnected() && m_output.IsConnected(); }

HRESULT CTransformFilter::Receive(IMediaSample* in) {
    ComPtr<IMediaSample> out;
    HRESULT hr = m_output.GetDeliveryBuffer(out.put());
    if (FAILED(hr)) return hr;
    REFERENCE_TIME start = 0, stop = 0;
    hr = in->GetTime(&start, &stop);
    if (hr == S_OK || hr == VFW_S_NO_STOP_TIME) out->SetTime(&start, hr == S_OK ? &stop : nullptr);
    out->SetSyncPoint(in->IsSyncPoint() == S_OK);
    out->SetDiscontinuity(in->IsDiscontinuity() == S_OK);
    out->SetPreroll(in->IsPreroll() == S_OK);
    hr = Transform(in, out.get());
    if (hr == S_FALSE) return S_OK;
    if (FAILED(hr)) return hr;
    return m_output.Deliver(out.get());
}

HRESULT CTransformFilter::Transform(IMediaSample*, IMediaSample*) { return E_UNEXPECTED; }

HRESULT CTransformFilter::EndOfStream() { return m_output.DeliverEndOfStream(); }
HRESULT CTransformFilter::BeginFlush() { return m_output.DeliverBeginFlush(); }
HRESULT CTransformFilter::EndFlush() { return m_output.DeliverEndFlush(); }

HRESULT CTransformFilter::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
    return m_output.DeliverNewSegment(start, stop, rate);
}
