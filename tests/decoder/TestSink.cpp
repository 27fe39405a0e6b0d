#include "TestSink.h"

CTestSinkPin::CTestSinkPin(CTestSink* sink) : CBaseInputPin(sink, sink->FilterLock(), L"In"), m_sink(sink) {}

HRESULT CTestSinkPin::CheckMediaType(const CMediaType& mt) {
    const WAVEFORMATEX* wfx = mt.WaveFormat();
    return IsEqualGUID(mt.Get().majortype, MEDIATYPE_Audio) && IsEqualGUID(mt.Get().subtype, MEDIASUBTYPE_PCM) && wfx &&
                   wfx->wBitsPerSample == 16
               ? S_OK
               : S_FALSE;
}

STDMETHODIMP CTestSinkPin::Receive(IMediaSample* sample) {
    const HRESULT hr = CBaseInputPin::Receive(sample);
    return hr != S_OK ? hr : m_sink->OnReceive(sample);
}

STDMETHODIMP CTestSinkPin::EndOfStream() {
    const HRESULT hr = CBaseInputPin::EndOfStream();
    if (hr == S_OK) m_sink->OnEndOfStream();
    return hr;
}

STDMETHODIMP CTestSinkPin::BeginFlush() {
    CBaseInputPin::BeginFlush();
    m_sink->OnBeginFlush();
    return S_OK;
}

STDMETHODIMP CTestSinkPin::EndFlush() {
    m_sink->OnEndFlush();
    return CBaseInputPin::EndFlush();
}

STDMETHODIMP CTestSinkPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
    CBasePin::NewSegment(start, stop, rate);
    m_sink->OnNewSegment(start);
    return S_OK;
}

// {3E0C8F44-5D0B-4B8E-9B54-6C1A2F7D9E01}: test only, never registered.
static const CLSID CLSID_TestSink = {0x3E0C8F44, 0x5D0B, 0x4B8E, {0x9B, 0x54, 0x6C, 0x1A, 0x2F, 0x7D, 0x9E, 0x01}};

CTestSink::CTestSink()
    : CBaseFilter(CLSID_TestSink),
      m_pin(this),
      m_seeking(static_cast<IBaseFilter*>(this), &m_pin),
      m_blocked(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      m_wake(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      m_ended(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

CTestSink::~CTestSink() = default;

HRESULT CTestSink::QueryFilterInterface(REFIID iid, void** out) {
    if (IsEqualIID(iid, IID_IMediaSeeking)) {
        *out = static_cast<IMediaSeeking*>(&m_seeking);
        AddRef();
        return S_OK;
    }
    return CBaseFilter::QueryFilterInterface(iid, out);
}

STDMETHODIMP CTestSink::Stop() {
    // A full sink must let a blocked Receive go before the graph can stop;
    // stopped first, so that the woken Receive drops its sample.
    const HRESULT hr = CBaseFilter::Stop();
    ::SetEvent(m_wake.get());
    return hr;
}

void CTestSink::Clear() {
    CriticalSectionGuard lock(m_csData.Get());
    m_bytes.clear();
    m_starts.clear();
    m_segments.clear();
    m_flushMark = 0;
    m_received = 0;
    m_flushes = 0;
    m_ends = 0;
    ::ResetEvent(m_blocked.get());
    ::ResetEvent(m_wake.get());
    ::ResetEvent(m_ended.get());
}

void CTestSink::BlockAfter(long samples) {
    CriticalSectionGuard lock(m_csData.Get());
    m_blockAfter = samples;
}

void CTestSink::Unblock() {
    BlockAfter(kNoLimit);
    ::SetEvent(m_wake.get());
}

bool CTestSink::WaitUntilBlocked(DWORD timeoutMs) {
    return ::WaitForSingleObject(m_blocked.get(), timeoutMs) == WAIT_OBJECT_0;
}

bool CTestSink::WaitForEndOfStream(DWORD timeoutMs) {
    return ::WaitForSingleObject(m_ended.get(), timeoutMs) == WAIT_OBJECT_0;
}

std::vector<BYTE> CTestSink::Bytes() {
    CriticalSectionGuard lock(m_csData.Get());
    return m_bytes;
}

std::vector<REFERENCE_TIME> CTestSink::StartTimes() {
    CriticalSectionGuard lock(m_csData.Get());
    return m_starts;
}

std::vector<REFERENCE_TIME> CTestSink::SegmentStarts() {
    CriticalSectionGuard lock(m_csData.Get());
    return m_segments;
}

std::vector<BYTE> CTestSink::BytesSinceFlush() {
    CriticalSectionGuard lock(m_csData.Get());
    return std::vector<BYTE>(m_bytes.begin() + m_flushMark, m_bytes.end());
}

long CTestSink::Flushes() {
    CriticalSectionGuard lock(m_csData.Get());
    return m_flushes;
}

long CTestSink::EndsOfStream() {
    CriticalSectionGuard lock(m_csData.Get());
    return m_ends;
}

HRESULT CTestSink::OnReceive(IMediaSample* sample) {
    bool block = false;
    long flushesBefore = 0;
    {
        CriticalSectionGuard lock(m_csData.Get());
        block = m_blockAfter != kNoLimit && m_received >= m_blockAfter;
        flushesBefore = m_flushes;
    }
    if (block) {
        ::SetEvent(m_blocked.get());
        ::WaitForSingleObject(m_wake.get(), INFINITE);
        // A flush that began and ended while this sample waited drops it
        // too, whichever order the graph stops its filters in.
        bool flushed = false;
        {
            CriticalSectionGuard lock(m_csData.Get());
            flushed = m_flushes != flushesBefore;
        }
        if (flushed || m_pin.IsFlushing() || IsStopped()) return S_FALSE;
    }
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data))) return E_FAIL;
    const long length = sample->GetActualDataLength();
    REFERENCE_TIME start = 0, stop = 0;
    const bool timed = SUCCEEDED(sample->GetTime(&start, &stop));
    CriticalSectionGuard lock(m_csData.Get());
    m_bytes.insert(m_bytes.end(), data, data + length);
    m_starts.push_back(timed ? start : -1);
    ++m_received;
    return S_OK;
}

void CTestSink::OnEndOfStream() {
    CriticalSectionGuard lock(m_csData.Get());
    ++m_ends;
    ::SetEvent(m_ended.get());
}

void CTestSink::OnBeginFlush() {
    CriticalSectionGuard lock(m_csData.Get());
    ++m_flushes;
    ::SetEvent(m_wake.get());
}

void CTestSink::OnEndFlush() {
    CriticalSectionGuard lock(m_csData.Get());
    m_flushMark = m_bytes.size();
    ::ResetEvent(m_ended.get());
    // Blocking resumes for what comes after the flush.
    if (m_blockAfter != kNoLimit) ::ResetEvent(m_wake.get());
}

void CTestSink::OnNewSegment(REFERENCE_TIME start) {
    CriticalSectionGuard lock(m_csData.Get());
    m_segments.push_back(start);
}
