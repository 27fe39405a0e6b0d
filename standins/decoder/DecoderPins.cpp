#include "DecoderPins.h"

#include "DecoderFilter.h"

namespace {

// Buffers between the decoder and downstream, one frame each.
constexpr long kMinBuffers = 4;

}  // namespace

HRESULT MakePcmMediaType(const PcmLayout& layout, CMediaType* mt) {
    WAVEFORMATEX wfx = {};
    wfx.wFormatTag = WAVE_FORMAT_PCM;
    wfx.nChannels = WORD(layout.channels);
    wfx.nSamplesPerSec = layout.rate;
    wfx.wBitsPerSample = 16;
    wfx.nBlockAlign = WORD(layout.channels * 2);
    wfx.nAvgBytesPerSec = layout.rate * wfx.nBlockAlign;
    wfx.cbSize = 0;
    mt->Clear();
    AM_MEDIA_TYPE& t = mt->Get();
    t.majortype = MEDIATYPE_Audio;
    t.subtype = MEDIASUBTYPE_PCM;
    t.bFixedSizeSamples = TRUE;
    t.bTemporalCompression = FALSE;
    t.lSampleSize = wfx.nBlockAlign;
    return mt->SetFormat(FORMAT_WaveFormatEx, &wfx, sizeof wfx);
}

// ---- input ----

CDecoderInputPin::CDecoderInputPin(CAacDecoderFilter* filter, CRITICAL_SECTION& lock)
    : CBasePin(filter, lock, L"Input", PINDIR_INPUT), m_decoder(filter) {}

HRESULT CDecoderInputPin::CheckMediaType(const CMediaType& mt) {
    // The file source offers the file as a byte stream of any (or no) subtype.
    return IsEqualGUID(mt.Get().majortype, MEDIATYPE_Stream) ? S_OK : S_FALSE;
}

HRESULT CDecoderInputPin::CompleteConnect(IPin* peer) { return m_decoder->OpenSource(peer); }

HRESULT CDecoderInputPin::BreakConnect() {
    m_decoder->CloseSource();
    return S_OK;
}

// ---- output ----

CDecoderOutputPin::CDecoderOutputPin(CAacDecoderFilter* filter, CRITICAL_SECTION& lock, IDecoderPosition* position)
    : CBaseOutputPin(filter, lock, L"Output"), m_decoder(filter), m_seeking(static_cast<IPin*>(this), position) {}

StreamTargets CDecoderOutputPin::Targets() {
    CriticalSectionGuard lock(m_csFilter);
    StreamTargets targets;
    if (m_connected && m_input && m_allocator) {
        targets.peer = m_connected;
        targets.input = m_input;
        targets.allocator = m_allocator;
    }
    return targets;
}

HRESULT CDecoderOutputPin::CheckMediaType(const CMediaType& mt) {
    const CAacTrack* track = m_decoder->Track();
    if (!track) return VFW_E_NOT_CONNECTED;
    CMediaType ours;
    HRESULT hr = MakePcmMediaType(track->Layout(), &ours);
    if (FAILED(hr)) return hr;
    const AM_MEDIA_TYPE& t = mt.Get();
    const WAVEFORMATEX* theirs = mt.WaveFormat();
    const WAVEFORMATEX* wanted = ours.WaveFormat();
    if (!IsEqualGUID(t.majortype, MEDIATYPE_Audio) || !IsEqualGUID(t.subtype, MEDIASUBTYPE_PCM) || !theirs)
        return S_FALSE;
    const bool same = theirs->wFormatTag == wanted->wFormatTag && theirs->nChannels == wanted->nChannels &&
                      theirs->nSamplesPerSec == wanted->nSamplesPerSec &&
                      theirs->wBitsPerSample == wanted->wBitsPerSample && theirs->nBlockAlign == wanted->nBlockAlign &&
                      theirs->nAvgBytesPerSec == wanted->nAvgBytesPerSec;
    return same ? S_OK : S_FALSE;
}

HRESULT CDecoderOutputPin::GetMediaType(int index, CMediaType* mt) {
    const CAacTrack* track = m_decoder->Track();
    if (index != 0 || !track) return VFW_S_NO_MORE_ITEMS;
    return MakePcmMediaType(track->Layout(), mt);
}

HRESULT CDecoderOutputPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
    const CAacTrack* track = m_decoder->Track();
    if (!track) return VFW_E_NOT_CONNECTED;
    const long frameBytes = long(track->Layout().FrameBytes());
    const long sampleBytes = frameBytes * long(CDecoderStreamer::kFramesPerSample);
    if (request->cBuffers < kMinBuffers) request->cBuffers = kMinBuffers;
    if (request->cbBuffer < sampleBytes) request->cbBuffer = sampleBytes;
    if (request->cbAlign < 1) request->cbAlign = 1;
    ALLOCATOR_PROPERTIES actual = {};
    const HRESULT hr = allocator->SetProperties(request, &actual);
    if (FAILED(hr)) return hr;
    return actual.cbBuffer < frameBytes || actual.cBuffers < 1 ? E_FAIL : S_OK;
}

HRESULT CDecoderOutputPin::QueryPinInterface(REFIID iid, void** out) {
    if (IsEqualIID(iid, IID_IMediaSeeking)) {
        *out = static_cast<IMediaSeeking*>(&m_seeking);
        AddRef();
        return S_OK;
    }
    return CBaseOutputPin::QueryPinInterface(iid, out);
}
