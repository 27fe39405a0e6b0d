#include "standins/dlnasink/DlnaSinkFilter.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <set>

namespace {

// The live sinks, for the tests' read-only look at them.
std::mutex g_csSinks;
std::set<const CDlnaSinkFilter*> g_setSinks;
volatile LONG g_lastBufferSizeGiven = 0;

DlnaSinkFault FaultFromEnvironment() {
    char text[64] = {};
    const DWORD length = ::GetEnvironmentVariableA("TRN_DLNASINK_FAULT", text, sizeof text);
    return length > 0 && length < sizeof text ? ParseDlnaSinkFault(text) : DlnaSinkFault();
}

}  // namespace

DlnaSinkFault ParseDlnaSinkFault(const char* text) {
    DlnaSinkFault fault;
    const char* rest = nullptr;
    if (std::strncmp(text, "fail-read:", 10) == 0) {
        fault.kind = DlnaSinkFault::Kind::FailRead;
        rest = text + 10;
    } else if (std::strncmp(text, "odd-read:", 9) == 0) {
        fault.kind = DlnaSinkFault::Kind::OddRead;
        rest = text + 9;
    } else if (std::strncmp(text, "over-read:", 10) == 0) {
        fault.kind = DlnaSinkFault::Kind::OverRead;
        rest = text + 10;
    } else {
        return DlnaSinkFault();
    }
    char* end = nullptr;
    fault.after = std::strtoul(rest, &end, 10);
    if (end == rest) return DlnaSinkFault();
    if (*end == ':' && fault.kind == DlnaSinkFault::Kind::FailRead) {
        const char* status = end + 1;
        fault.status = static_cast<HRESULT>(std::strtoul(status, &end, 16));
        if (end == status || SUCCEEDED(fault.status)) return DlnaSinkFault();
    }
    return *end == '\0' ? fault : DlnaSinkFault();
}

CDlnaSinkInputPin::CDlnaSinkInputPin(CDlnaSinkFilter* filter, CPcmBuffer& buffer)
    : CBaseInputPin(filter, filter->FilterLock(), L"In"), m_sink(filter), m_buffer(buffer) {}

HRESULT CDlnaSinkInputPin::CheckMediaType(const CMediaType& mt) {
    const AM_MEDIA_TYPE& t = mt.Get();
    if (!IsEqualGUID(t.majortype, MEDIATYPE_Audio) || !IsEqualGUID(t.subtype, MEDIASUBTYPE_PCM))
        return VFW_E_TYPE_NOT_ACCEPTED;
    const WAVEFORMATEX* wf = mt.WaveFormat();
    if (!wf || (wf->wFormatTag != WAVE_FORMAT_PCM && wf->wFormatTag != WAVE_FORMAT_EXTENSIBLE))
        return VFW_E_TYPE_NOT_ACCEPTED;
    if (wf->wBitsPerSample != 16 || wf->nChannels == 0 || wf->nSamplesPerSec == 0 ||
        wf->nBlockAlign != wf->nChannels * 2)
        return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

STDMETHODIMP CDlnaSinkInputPin::Receive(IMediaSample* sample) {
    HRESULT hr = CBaseInputPin::Receive(sample);
    if (hr != S_OK) return hr;
    BYTE* data = nullptr;
    hr = sample->GetPointer(&data);
    if (FAILED(hr)) return hr;
    const long length = sample->GetActualDataLength();
    if (length <= 0) return S_OK;
    switch (m_buffer.Write(data, static_cast<size_t>(length))) {
        case CPcmBuffer::Status::Ok:
            return S_OK;
        case CPcmBuffer::Status::Flushing:
            return S_FALSE;
        case CPcmBuffer::Status::Stopped:
            break;
    }
    return VFW_E_WRONG_STATE;
}

STDMETHODIMP CDlnaSinkInputPin::EndOfStream() {
    const HRESULT hr = CBaseInputPin::EndOfStream();
    if (hr != S_OK) return hr;
    m_buffer.EndOfStream();
    m_sink->OnEndOfStream();
    return S_OK;
}

STDMETHODIMP CDlnaSinkInputPin::BeginFlush() {
    CBaseInputPin::BeginFlush();
    m_buffer.BeginFlush();
    return S_OK;
}

STDMETHODIMP CDlnaSinkInputPin::EndFlush() {
    m_buffer.EndFlush();
    return CBaseInputPin::EndFlush();
}

CDlnaSinkFilter::CDlnaSinkFilter()
    : CBaseFilter(CLSID_HostDlnaSink),
      m_buffer(kDefaultBufferBytes),
      m_input(this, m_buffer),
      m_seeking(static_cast<IBaseFilter*>(this), &m_input),
      m_fault(FaultFromEnvironment()) {
    std::lock_guard<std::mutex> lock(g_csSinks);
    g_setSinks.insert(this);
}

CDlnaSinkFilter::~CDlnaSinkFilter() {
    std::lock_guard<std::mutex> lock(g_csSinks);
    g_setSinks.erase(this);
}

HostDlnaSinkState CDlnaSinkFilter::ProcessState() {
    HostDlnaSinkState state = {};
    std::lock_guard<std::mutex> lock(g_csSinks);
    for (const CDlnaSinkFilter* sink : g_setSinks) {
        ++state.m_dwSinks;
        if (sink->m_buffer.Buffered() == sink->m_buffer.Capacity()) ++state.m_dwFull;
        state.m_dwReadersWaiting += static_cast<DWORD>(sink->m_buffer.WaitingReaders());
    }
    return state;
}

HRESULT CDlnaSinkFilter::QueryFilterInterface(REFIID iid, void** out) {
    if (IsEqualIID(iid, __uuidof(IDlnaSrcBuffer))) {
        *out = static_cast<IDlnaSrcBuffer*>(this);
    } else if (IsEqualIID(iid, IID_IAMFilterMiscFlags)) {
        *out = static_cast<IAMFilterMiscFlags*>(this);
    } else if (IsEqualIID(iid, IID_IMediaSeeking)) {
        *out = static_cast<IMediaSeeking*>(&m_seeking);
    } else {
        return CBaseFilter::QueryFilterInterface(iid, out);
    }
    AddRef();
    return S_OK;
}

void CDlnaSinkFilter::UnblockStreaming() { m_buffer.Stop(); }

HRESULT CDlnaSinkFilter::StartStreaming() {
    m_buffer.Start();
    m_endOfStream = false;
    return S_OK;
}

HRESULT CDlnaSinkFilter::StopStreaming() {
    m_endOfStream = false;
    return S_OK;
}

// The event goes out once Run has released the filter lock.
HRESULT CDlnaSinkFilter::OnRun(REFERENCE_TIME) {
    if (m_endOfStream) DeferEvent(EC_COMPLETE, S_OK, 0);
    return S_OK;
}

void CDlnaSinkFilter::OnEndOfStream() {
    bool running = false;
    {
        CriticalSectionGuard lock(m_csFilter.Get());
        m_endOfStream = true;
        running = m_state == State_Running;
    }
    // A renderer reports completion only while running; Run reports it late.
    if (running) NotifyEvent(EC_COMPLETE, S_OK, 0);
}

STDMETHODIMP CDlnaSinkFilter::GetBufferSize(DWORD* bytes) {
    if (!bytes) return E_POINTER;
    *bytes = static_cast<DWORD>(m_buffer.Capacity());
    return S_OK;
}

DWORD CDlnaSinkFilter::LastBufferSizeGiven() { return static_cast<DWORD>(g_lastBufferSizeGiven); }

STDMETHODIMP CDlnaSinkFilter::SetBufferSize(DWORD bytes) {
    ::InterlockedExchange(&g_lastBufferSizeGiven, static_cast<LONG>(bytes));
    if (bytes < 2 || bytes > kMaxBufferBytes) return E_INVALIDARG;
    CriticalSectionGuard lock(m_csFilter.Get());
    if (m_state != State_Stopped) return VFW_E_NOT_STOPPED;
    try {
        m_buffer.SetCapacity(bytes);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

STDMETHODIMP CDlnaSinkFilter::ReadData(BYTE* buffer, DWORD count, DWORD* delivered, DWORD* endOfStream) {
    if (!delivered || !endOfStream || (!buffer && count)) return E_POINTER;
    const unsigned long call = static_cast<unsigned long>(::InterlockedIncrement(&m_readCalls)) - 1;
    const bool faulty = m_fault.kind != DlnaSinkFault::Kind::None && call >= m_fault.after;
    if (faulty && m_fault.kind == DlnaSinkFault::Kind::FailRead) return m_fault.status;
    const CPcmBuffer::ReadResult result = m_buffer.Read(buffer, count);
    *delivered = static_cast<DWORD>(result.bytes);
    if (faulty && m_fault.kind == DlnaSinkFault::Kind::OddRead && call == m_fault.after && result.bytes > 0)
        *delivered -= 1;
    // Only what fits was copied; the claim alone goes past the buffer.
    if (faulty && m_fault.kind == DlnaSinkFault::Kind::OverRead) *delivered = count + 2;
    *endOfStream = result.endOfStream ? static_cast<USHORT>(VARIANT_TRUE) : 0;
    return result.status == CPcmBuffer::Status::Stopped ? VFW_E_WRONG_STATE : S_OK;
}
