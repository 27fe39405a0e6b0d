#include "standins/wavefitter/WaveFitterFilter.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

const REFERENCE_TIME kUnitsPerSecond = 10000000;

volatile LONG g_lastOptionGiven = -1;

bool IsPcm16(const CMediaType& mt, const WAVEFORMATEX** format) {
    const AM_MEDIA_TYPE& t = mt.Get();
    if (!IsEqualGUID(t.majortype, MEDIATYPE_Audio) || !IsEqualGUID(t.subtype, MEDIASUBTYPE_PCM)) return false;
    const WAVEFORMATEX* wf = mt.WaveFormat();
    if (!wf || (wf->wFormatTag != WAVE_FORMAT_PCM && wf->wFormatTag != WAVE_FORMAT_EXTENSIBLE)) return false;
    if (wf->wBitsPerSample != 16 || wf->nBlockAlign != wf->nChannels * 2) return false;
    *format = wf;
    return true;
}

}  // namespace

CWaveFitterFilter::CWaveFitterFilter()
    : CTransformFilter(CLSID_KisoWaveFitter), m_seeking(static_cast<IBaseFilter*>(this), &m_input) {}

HRESULT CWaveFitterFilter::QueryFilterInterface(REFIID iid, void** out) {
    if (IsEqualIID(iid, __uuidof(IWaveFitterFormat))) {
        *out = static_cast<IWaveFitterFormat*>(this);
    } else if (IsEqualIID(iid, __uuidof(IWaveFitterOption))) {
        *out = static_cast<IWaveFitterOption*>(this);
    } else if (IsEqualIID(iid, IID_IMediaSeeking)) {
        *out = static_cast<IMediaSeeking*>(&m_seeking);
    } else {
        return CTransformFilter::QueryFilterInterface(iid, out);
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP CWaveFitterFilter::SetFormat(DWORD bitsPerSample, DWORD sampleRate, DWORD channels) {
    if (bitsPerSample != 16 || channels != 2 || sampleRate < kMinRate || sampleRate > kMaxRate) return E_INVALIDARG;
    CriticalSectionGuard lock(m_csFilter.Get());
    if (m_output.IsConnected()) return VFW_E_ALREADY_CONNECTED;
    m_outRate = sampleRate;
    return S_OK;
}

DWORD CWaveFitterFilter::LastOptionGiven() { return static_cast<DWORD>(g_lastOptionGiven); }

STDMETHODIMP CWaveFitterFilter::SetOption(DWORD option) {
    ::InterlockedExchange(&g_lastOptionGiven, static_cast<LONG>(option));
    CriticalSectionGuard lock(m_csFilter.Get());
    if (m_output.IsConnected()) return VFW_E_ALREADY_CONNECTED;
    m_option = option;
    return S_OK;
}

WAVEFORMATEX CWaveFitterFilter::OutputFormat() const {
    WAVEFORMATEX wf = {};
    wf.wFormatTag = WAVE_FORMAT_PCM;
    wf.nChannels = 2;
    wf.nSamplesPerSec = m_outRate;
    wf.wBitsPerSample = 16;
    wf.nBlockAlign = 4;
    wf.nAvgBytesPerSec = m_outRate * 4;
    return wf;
}

HRESULT CWaveFitterFilter::CheckInputType(const CMediaType& in) {
    const WAVEFORMATEX* wf = nullptr;
    if (!IsPcm16(in, &wf)) return VFW_E_TYPE_NOT_ACCEPTED;
    if (wf->nChannels < 1 || wf->nChannels > 2 || wf->nSamplesPerSec < kMinRate || wf->nSamplesPerSec > kMaxRate)
        return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT CWaveFitterFilter::CheckTransform(const CMediaType& in, const CMediaType& out) {
    HRESULT hr = CheckInputType(in);
    if (hr != S_OK) return hr;
    const WAVEFORMATEX* wf = nullptr;
    if (!IsPcm16(out, &wf)) return VFW_E_TYPE_NOT_ACCEPTED;
    const WAVEFORMATEX want = OutputFormat();
    if (wf->wFormatTag != WAVE_FORMAT_PCM || wf->nChannels != want.nChannels ||
        wf->nSamplesPerSec != want.nSamplesPerSec)
        return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT CWaveFitterFilter::GetOutputType(int index, CMediaType* out) {
    if (index < 0) return E_INVALIDARG;
    if (index > 0) return VFW_S_NO_MORE_ITEMS;
    out->Clear();
    AM_MEDIA_TYPE& t = out->Get();
    t.majortype = MEDIATYPE_Audio;
    t.subtype = MEDIASUBTYPE_PCM;
    t.bFixedSizeSamples = TRUE;
    t.lSampleSize = 4;
    const WAVEFORMATEX wf = OutputFormat();
    return out->SetFormat(FORMAT_WaveFormatEx, &wf, sizeof wf);
}

HRESULT CWaveFitterFilter::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
    // Half a second per buffer, four buffers, unless downstream wants more:
    // each buffer is a pass into the sink and a wake-up of its reader.
    const long half = static_cast<long>(m_outRate / 2 * 4);
    request->cbBuffer = std::max(request->cbBuffer, half);
    request->cBuffers = std::max(request->cBuffers, 4L);
    if (request->cbAlign <= 0) request->cbAlign = 1;
    ALLOCATOR_PROPERTIES actual = {};
    const HRESULT hr = allocator->SetProperties(request, &actual);
    if (FAILED(hr)) return hr;
    return actual.cbBuffer >= 4 ? S_OK : E_FAIL;
}

void CWaveFitterFilter::QueueConverted() {
    if (m_inChannels == 1) {
        m_pending.resize(m_converted.size() * 2);
        MonoToStereo(m_converted.data(), m_converted.size(), m_pending.data());
    } else {
        m_pending.swap(m_converted);
    }
}

void CWaveFitterFilter::ResetStream() {
    if (m_resampler) m_resampler->Reset();
    m_converted.clear();
    m_pending.clear();
    m_haveTimeBase = false;
    m_timeBase = 0;
    m_framesDelivered = 0;
    m_discontinuity = true;
}

HRESULT CWaveFitterFilter::StartStreaming() {
    const WAVEFORMATEX* wf = m_input.CurrentMediaType().WaveFormat();
    if (!wf) return E_UNEXPECTED;
    try {
        m_resampler = std::make_unique<CResampler>(wf->nSamplesPerSec, m_outRate, wf->nChannels);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    m_inChannels = wf->nChannels;
    ResetStream();
    return S_OK;
}

HRESULT CWaveFitterFilter::StopStreaming() {
    ResetStream();
    m_resampler.reset();
    return S_OK;
}

HRESULT CWaveFitterFilter::DeliverPending() {
    size_t done = 0;  // int16 values of m_pending sent
    HRESULT hr = S_OK;
    while (done < m_pending.size()) {
        ComPtr<IMediaSample> sample;
        hr = m_output.GetDeliveryBuffer(sample.put());
        if (FAILED(hr)) break;
        BYTE* data = nullptr;
        hr = sample->GetPointer(&data);
        if (FAILED(hr)) break;
        const size_t room = static_cast<size_t>(sample->GetSize()) / 4 * 2;
        const size_t values = std::min(room, m_pending.size() - done);
        std::memcpy(data, &m_pending[done], values * sizeof(int16_t));
        sample->SetActualDataLength(static_cast<long>(values * sizeof(int16_t)));
        const uint64_t frames = values / 2;
        REFERENCE_TIME start = m_timeBase + REFERENCE_TIME(m_framesDelivered * kUnitsPerSecond / m_outRate);
        REFERENCE_TIME stop = m_timeBase + REFERENCE_TIME((m_framesDelivered + frames) * kUnitsPerSecond / m_outRate);
        sample->SetTime(&start, &stop);
        sample->SetSyncPoint(TRUE);
        sample->SetDiscontinuity(m_discontinuity ? TRUE : FALSE);
        hr = m_output.Deliver(sample.get());
        if (hr != S_OK) break;
        m_discontinuity = false;
        m_framesDelivered += frames;
        done += values;
    }
    // Whatever downstream refused (flushing, stopped) is dropped.
    m_pending.clear();
    return hr;
}

HRESULT CWaveFitterFilter::Receive(IMediaSample* in) {
    if (!m_resampler) return E_UNEXPECTED;
    BYTE* data = nullptr;
    HRESULT hr = in->GetPointer(&data);
    if (FAILED(hr)) return hr;
    const long length = in->GetActualDataLength();
    const size_t frames = length > 0 ? size_t(length) / (2 * m_inChannels) : 0;
    if (!m_haveTimeBase) {
        REFERENCE_TIME start = 0, stop = 0;
        const HRESULT timed = in->GetTime(&start, &stop);
        m_timeBase = (timed == S_OK || timed == VFW_S_NO_STOP_TIME) ? start : 0;
        m_haveTimeBase = true;
    }
    try {
        m_converted.clear();
        m_resampler->Process(reinterpret_cast<const int16_t*>(data), frames, m_converted);
        QueueConverted();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return DeliverPending();
}

HRESULT CWaveFitterFilter::EndOfStream() {
    if (m_resampler) {
        try {
            m_converted.clear();
            m_resampler->Flush(m_converted);
            QueueConverted();
        } catch (const std::bad_alloc&) {
            m_pending.clear();
        }
        DeliverPending();
        ResetStream();
    }
    return CTransformFilter::EndOfStream();
}

HRESULT CWaveFitterFilter::EndFlush() {
    {
        CriticalSectionGuard receive(m_csReceive.Get());
        ResetStream();
    }
    return CTransformFilter::EndFlush();
}

HRESULT CWaveFitterFilter::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
    {
        CriticalSectionGuard receive(m_csReceive.Get());
        ResetStream();
    }
    return CTransformFilter::NewSegment(start, stop, rate);
}
