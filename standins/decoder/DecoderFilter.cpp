#include "DecoderFilter.h"

#include "AsyncReaderStream.h"

#include <algorithm>
#include <cstring>

namespace {

PcmSource SourceFromEnvironment() {
    char value[8] = {};
    const DWORD length = ::GetEnvironmentVariableA("TRN_DECODER_TONE", value, sizeof value);
    return length > 0 && length < sizeof value && std::strcmp(value, "1") == 0 ? PcmSource::Tone : PcmSource::Decoder;
}

}  // namespace

const CLSID CLSID_KisoMp4AacDecoder = {0x6C350194, 0xF0BF, 0x49CB, {0x98, 0x49, 0xE9, 0x5E, 0x96, 0x2F, 0x7D, 0xEB}};

CAacDecoderFilter::CAacDecoderFilter()
    : CBaseFilter(CLSID_KisoMp4AacDecoder),
      m_input(this, m_csFilter.Get()),
      m_output(this, m_csFilter.Get(), this),
      m_seeking(static_cast<IBaseFilter*>(this), this),
      m_source(SourceFromEnvironment()) {}

CAacDecoderFilter::~CAacDecoderFilter() { m_streamer.Stop(); }

CBasePin* CAacDecoderFilter::PinAt(int index) {
    if (index == 0) return &m_input;
    return index == 1 ? &m_output : nullptr;
}

HRESULT CAacDecoderFilter::QueryFilterInterface(REFIID iid, void** out) {
    if (IsEqualIID(iid, IID_IMediaSeeking)) {
        *out = static_cast<IMediaSeeking*>(&m_seeking);
        AddRef();
        return S_OK;
    }
    return CBaseFilter::QueryFilterInterface(iid, out);
}

HRESULT CAacDecoderFilter::StartStreaming() {
    if (!Track() || !m_output.IsConnected()) return S_OK;
    StreamTargets targets = m_output.Targets();
    targets.events = m_eventSink;
    return m_streamer.Start(&m_track, m_reader.get(), std::move(targets), CurrentSegment());
}

HRESULT CAacDecoderFilter::StopStreaming() {
    m_streamer.Stop();
    return S_OK;
}

HRESULT CAacDecoderFilter::OpenSource(IPin* peer) {
    ComPtr<IAsyncReader> reader;
    if (FAILED(ComPtr<IPin>(peer).query_to(IID_IAsyncReader, reader)) || !reader) return VFW_E_NO_TRANSPORT;
    LONGLONG length = 0;
    ComPtr<ISmfAbsStream> stream = CAsyncReaderStream::Create(reader.get(), &length);
    if (!stream) return E_FAIL;
    const HRESULT hr = m_track.Open(stream.get(), uint64_t(length), m_source);
    if (FAILED(hr)) return VFW_E_TYPE_NOT_ACCEPTED;
    m_reader = reader;
    CriticalSectionGuard position(m_csPosition.Get());
    m_rtCurrent = 0;
    m_rtStop = MAXLONGLONG;
    return S_OK;
}

void CAacDecoderFilter::CloseSource() {
    m_streamer.Stop();
    m_track = CAacTrack();
    m_reader.reset();
}

HRESULT CAacDecoderFilter::Duration(LONGLONG* duration) {
    CriticalSectionGuard lock(m_csFilter.Get());
    if (!Track()) return E_UNEXPECTED;
    *duration = m_track.Trimmed() ? m_track.Trim().Duration() : m_track.Frames().Duration();
    return S_OK;
}

void CAacDecoderFilter::Positions(LONGLONG* current, LONGLONG* stop) {
    CriticalSectionGuard lock(m_csFilter.Get());
    LONGLONG duration = 0;
    if (Track()) duration = m_track.Trimmed() ? m_track.Trim().Duration() : m_track.Frames().Duration();
    CriticalSectionGuard position(m_csPosition.Get());
    if (current) *current = m_rtCurrent;
    if (stop) *stop = std::min(m_rtStop, duration);
}

HRESULT CAacDecoderFilter::Reposition(LONGLONG current, bool setCurrent, LONGLONG stop, bool setStop) {
    CriticalSectionGuard lock(m_csFilter.Get());
    {
        CriticalSectionGuard position(m_csPosition.Get());
        if (setCurrent) m_rtCurrent = std::max<LONGLONG>(current, 0);
        if (setStop) m_rtStop = std::max<LONGLONG>(stop, 0);
    }
    // Stopped, the new positions wait for the next Pause (the graph manager
    // repeats its last seek on every Stop, which is fine).
    if (m_streamer.IsRunning()) m_streamer.Restart(CurrentSegment());
    return S_OK;
}

StreamSegment CAacDecoderFilter::CurrentSegment() {
    CriticalSectionGuard position(m_csPosition.Get());
    if (m_track.Trimmed()) return SegmentFor(m_track.Trim(), m_rtCurrent, m_rtStop);
    return SegmentFor(m_track.Frames(), m_rtCurrent, m_rtStop);
}
