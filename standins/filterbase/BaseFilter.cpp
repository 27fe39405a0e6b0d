#include "standins/filterbase/BaseFilter.h"

#include <cwchar>
#include <utility>
#include <vector>

#include "standins/filterbase/BasePin.h"
#include "standins/filterbase/Enumerators.h"

CBaseFilter::CBaseFilter(const CLSID& clsid) : m_clsid(clsid) {}

CBaseFilter::~CBaseFilter() = default;

STDMETHODIMP CBaseFilter::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IBaseFilter) || IsEqualIID(iid, IID_IMediaFilter) ||
        IsEqualIID(iid, IID_IPersist)) {
        *out = static_cast<IBaseFilter*>(this);
        AddRef();
        return S_OK;
    }
    return QueryFilterInterface(iid, out);
}

HRESULT CBaseFilter::QueryFilterInterface(REFIID, void** out) {
    *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CBaseFilter::AddRef() { return ::InterlockedIncrement(&m_refs); }

STDMETHODIMP_(ULONG) CBaseFilter::Release() {
    const LONG refs = ::InterlockedDecrement(&m_refs);
    if (refs == 0) delete this;
    return refs;
}

STDMETHODIMP CBaseFilter::GetClassID(CLSID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = m_clsid;
    return S_OK;
}

template <class Step>
HRESULT CBaseFilter::ChangeState(Step step) {
    DeferredEvent event;
    HRESULT hr;
    {
        CriticalSectionGuard lock(m_csFilter.Get());
        hr = step();
        std::swap(event, m_deferred);
    }
    if (event.pending) NotifyEvent(event.code, event.param1, event.param2);
    return hr;
}

STDMETHODIMP CBaseFilter::Stop() {
    UnblockStreaming();
    return ChangeState([this] { return StopLocked(); });
}

STDMETHODIMP CBaseFilter::Pause() {
    return ChangeState([this] { return PauseLocked(); });
}

STDMETHODIMP CBaseFilter::Run(REFERENCE_TIME start) {
    return ChangeState([this, start] { return RunLocked(start); });
}

HRESULT CBaseFilter::StopLocked() {
    HRESULT result = S_OK;
    if (m_state != State_Stopped && HasStreamingPath()) {
        result = DeactivatePins();
        CriticalSectionGuard receive(m_csReceive.Get());
        const HRESULT hr = StopStreaming();
        if (FAILED(hr) && SUCCEEDED(result)) result = hr;
    }
    m_state = State_Stopped;
    return result;
}

HRESULT CBaseFilter::PauseLocked() {
    if (m_state == State_Stopped && HasStreamingPath()) {
        HRESULT hr = ActivatePins();
        if (SUCCEEDED(hr)) {
            CriticalSectionGuard receive(m_csReceive.Get());
            hr = StartStreaming();
        }
        if (FAILED(hr)) {
            DeactivatePins();
            return hr;
        }
    }
    m_state = State_Paused;
    return S_OK;
}

HRESULT CBaseFilter::RunLocked(REFERENCE_TIME start) {
    if (m_state == State_Stopped) {
        const HRESULT hr = PauseLocked();
        if (FAILED(hr)) return hr;
    }
    m_tStart = start;
    if (HasStreamingPath()) {
        HRESULT hr = m_state == State_Paused ? RunPins(start) : S_OK;
        if (SUCCEEDED(hr)) hr = OnRun(start);
        if (FAILED(hr)) return hr;
    }
    m_state = State_Running;
    return S_OK;
}

HRESULT CBaseFilter::ActivatePins() {
    for (int i = 0; i < PinCount(); ++i) {
        CBasePin* pin = PinAt(i);
        if (!pin->IsConnected()) continue;
        const HRESULT hr = pin->Active();
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT CBaseFilter::DeactivatePins() {
    HRESULT result = S_OK;
    for (int i = 0; i < PinCount(); ++i) {
        CBasePin* pin = PinAt(i);
        if (!pin->IsConnected()) continue;
        const HRESULT hr = pin->Inactive();
        if (FAILED(hr) && SUCCEEDED(result)) result = hr;
    }
    return result;
}

HRESULT CBaseFilter::RunPins(REFERENCE_TIME start) {
    for (int i = 0; i < PinCount(); ++i) {
        CBasePin* pin = PinAt(i);
        if (!pin->IsConnected()) continue;
        const HRESULT hr = pin->Run(start);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

void CBaseFilter::DeferEvent(long code, LONG_PTR param1, LONG_PTR param2) noexcept {
    m_deferred.pending = true;
    m_deferred.code = code;
    m_deferred.param1 = param1;
    m_deferred.param2 = param2;
}

STDMETHODIMP CBaseFilter::GetState(DWORD, FILTER_STATE* state) {
    if (!state) return E_POINTER;
    *state = State();
    return S_OK;
}

FILTER_STATE CBaseFilter::State() noexcept { return m_state; }

REFERENCE_TIME CBaseFilter::StreamStart() noexcept {
    CriticalSectionGuard lock(m_csFilter.Get());
    return m_tStart;
}

STDMETHODIMP CBaseFilter::SetSyncSource(IReferenceClock* clock) {
    CriticalSectionGuard lock(m_csFilter.Get());
    m_clock = ComPtr<IReferenceClock>(clock);
    return S_OK;
}

STDMETHODIMP CBaseFilter::GetSyncSource(IReferenceClock** clock) {
    if (!clock) return E_POINTER;
    CriticalSectionGuard lock(m_csFilter.Get());
    *clock = ComPtr<IReferenceClock>(m_clock).detach();
    return S_OK;
}

STDMETHODIMP CBaseFilter::EnumPins(IEnumPins** pins) {
    if (!pins) return E_POINTER;
    std::vector<ComPtr<IPin>> list;
    for (int i = 0; i < PinCount(); ++i) list.emplace_back(static_cast<IPin*>(PinAt(i)));
    return CEnumPins::Create(std::move(list), pins);
}

STDMETHODIMP CBaseFilter::FindPin(LPCWSTR id, IPin** pin) {
    if (!id || !pin) return E_POINTER;
    *pin = nullptr;
    for (int i = 0; i < PinCount(); ++i) {
        CBasePin* candidate = PinAt(i);
        if (std::wcscmp(candidate->Name(), id) == 0) {
            *pin = candidate;
            candidate->AddRef();
            return S_OK;
        }
    }
    return VFW_E_NOT_FOUND;
}

STDMETHODIMP CBaseFilter::QueryFilterInfo(FILTER_INFO* info) {
    if (!info) return E_POINTER;
    CriticalSectionGuard lock(m_csFilter.Get());
    const size_t capacity = sizeof info->achName / sizeof info->achName[0];
    const size_t length = m_name.size() < capacity ? m_name.size() : capacity - 1;
    m_name.copy(info->achName, length);
    info->achName[length] = L'\0';
    info->pGraph = m_graph;
    if (info->pGraph) info->pGraph->AddRef();
    return S_OK;
}

STDMETHODIMP CBaseFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
    CriticalSectionGuard lock(m_csFilter.Get());
    m_graph = graph;
    m_eventSink = nullptr;
    if (graph) {
        // Kept uncounted, like the graph itself.
        ComPtr<IMediaEventSink> sink;
        if (SUCCEEDED(ComPtr<IFilterGraph>(graph).query_to(IID_IMediaEventSink, sink))) m_eventSink = sink.get();
    }
    m_name = name ? name : L"";
    return S_OK;
}

STDMETHODIMP CBaseFilter::QueryVendorInfo(LPWSTR* info) {
    if (info) *info = nullptr;
    return E_NOTIMPL;
}

HRESULT CBaseFilter::NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2) {
    IMediaEventSink* sink = m_eventSink;
    if (!sink) return E_NOTIMPL;
    if (code == EC_COMPLETE && param2 == 0) param2 = reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this));
    return sink->Notify(code, param1, param2);
}
