#include "DecoderStreamer.h"

#include "AsyncReaderStream.h"
#include "FrameDecoderFactory.h"
#include "MediaTime.h"

#include <algorithm>
#include <cstring>

HRESULT CDecoderStreamer::Start(const CAacTrack* track, IAsyncReader* reader, StreamTargets targets,
                                const StreamSegment& segment) {
    if (m_thread.IsRunning()) return E_UNEXPECTED;
    if (!track || !reader || !targets.peer || !targets.input || !targets.allocator) return VFW_E_NOT_CONNECTED;
    m_decoder = CreateFrameDecoder(*track);
    if (!m_decoder) return E_OUTOFMEMORY;
    m_track = track;
    m_reader.Reset(reader);
    m_targets = std::move(targets);
    m_segment = segment;
    ::InterlockedExchange(&m_interrupt, 0);
    const HRESULT hr = m_thread.Start(&CDecoderStreamer::ThreadProc, this);
    if (FAILED(hr)) {
        m_targets = StreamTargets();
        return hr;
    }
    m_thread.Call(CMD_RUN);
    return S_OK;
}

void CDecoderStreamer::Restart(const StreamSegment& segment) {
    if (!m_thread.IsRunning()) return;
    ::InterlockedExchange(&m_interrupt, 1);
    m_targets.peer->BeginFlush();  // a Receive blocked on a full sink returns
    m_thread.Call(CMD_SEEK);
    m_targets.peer->EndFlush();
    ::InterlockedExchange(&m_interrupt, 0);
    m_segment = segment;
    m_thread.Call(CMD_RUN);
}

void CDecoderStreamer::Stop() {
    if (!m_thread.IsRunning()) return;
    ::InterlockedExchange(&m_interrupt, 1);
    // Wake both places the thread can block: a Receive downstream and a
    // GetBuffer waiting for a sample that downstream still holds.
    m_targets.peer->BeginFlush();
    m_targets.allocator->Decommit();
    m_thread.Call(CMD_EXIT);
    m_thread.Join();
    m_targets.peer->EndFlush();
    m_targets = StreamTargets();
    m_reader.Reset(nullptr);
    m_decoder.reset();
    m_track = nullptr;
}

DWORD WINAPI CDecoderStreamer::ThreadProc(void* param) { return static_cast<CDecoderStreamer*>(param)->CommandLoop(); }

DWORD CDecoderStreamer::CommandLoop() {
    for (;;) {
        const DWORD command = m_thread.GetRequest();
        m_thread.Reply(S_OK);
        switch (command) {
            case CMD_EXIT:
                return 0;
            case CMD_RUN:
                DeliverSegment();
                break;
            default:  // CMD_SEEK: already idle
                break;
        }
    }
}

void CDecoderStreamer::DeliverSegment() {
    m_decoder->Reset();
    m_targets.peer->NewSegment(m_segment.start, m_segment.stop, 1.0);
    // A decoded frame needs its predecessor's overlap: decode it unheard.
    if (m_segment.trimmed && m_segment.firstFrame > 0 && m_segment.firstFrame < m_segment.endFrame)
        DecodeOnly(m_segment.firstFrame - 1);
    m_pending = Pending();
    FrameResult result = FrameResult::Delivered;
    HRESULT failure = S_OK;
    for (uint32_t index = m_segment.firstFrame; index < m_segment.endFrame; ++index) {
        if (m_thread.CheckRequest(nullptr)) {
            m_pending = Pending();
            return;
        }
        result = DeliverFrame(index, &failure);
        if (result != FrameResult::Delivered) break;
    }
    // A frame that cannot be read ends the stream after what came before it.
    if (result == FrameResult::Delivered || result == FrameResult::Unreadable) result = SendPending(&failure);
    m_pending = Pending();
    // Flushing for a stop or seek makes every step fail: that is no error.
    if (Interrupted() || result == FrameResult::Refused) return;
    m_targets.peer->EndOfStream();
    if (result == FrameResult::Failed && m_targets.events) m_targets.events->Notify(EC_ERRORABORT, failure, 0);
}

bool CDecoderStreamer::DecodeOnly(uint32_t index) {
    const AacFrame& frame = m_track->Frames().Frame(index);
    const uint32_t size = std::min(frame.size, kMaxFrameBytes);
    m_frameData.resize(size);
    if (size > 0 && !m_reader.Read(frame.offset, m_frameData.data(), size)) return false;
    const PcmLayout& layout = m_track->Layout();
    m_pcm.resize(size_t(layout.samplesPerFrame) * layout.channels);
    m_decoder->DecodeFrame(m_frameData.data(), size, m_track->FirstSampleOf(index), m_pcm.data());
    return true;
}

CDecoderStreamer::FrameResult CDecoderStreamer::DeliverFrame(uint32_t index, HRESULT* failure) {
    if (!DecodeOnly(index)) return FrameResult::Unreadable;
    const PcmLayout& layout = m_track->Layout();
    const uint64_t firstSample = m_track->FirstSampleOf(index);

    // The part of the frame to deliver, and its time from the segment start.
    uint32_t from = 0, to = layout.samplesPerFrame;
    uint64_t sampleTime = firstSample - m_track->FirstSampleOf(m_segment.firstFrame);
    if (m_segment.trimmed) {
        const uint64_t skip = m_track->SkipSamples();
        const uint64_t begin = skip + m_segment.fromSample, end = skip + m_segment.toSample;
        const uint64_t lo = std::max(begin, firstSample), hi = std::min(end, firstSample + layout.samplesPerFrame);
        if (lo >= hi) return FrameResult::Delivered;  // all priming or past the end: nothing to hear
        from = uint32_t(lo - firstSample);
        to = uint32_t(hi - firstSample);
        sampleTime = lo - begin;
    }

    const long bytes = long(size_t(to - from) * layout.channels * 2);
    // A sample runs on without gaps: one that would not is sent first.
    if (m_pending.sample &&
        (m_pending.used + bytes > m_pending.room || sampleTime != m_pending.firstSample + m_pending.samples)) {
        const FrameResult sent = SendPending(failure);
        if (sent != FrameResult::Delivered) return sent;
    }
    if (!m_pending.sample) {
        HRESULT hr = m_targets.allocator->GetBuffer(m_pending.sample.put(), nullptr, nullptr, 0);
        if (SUCCEEDED(hr)) hr = m_pending.sample->GetPointer(&m_pending.data);
        if (SUCCEEDED(hr) && m_pending.sample->GetSize() < bytes) hr = VFW_E_BUFFER_OVERFLOW;
        if (FAILED(hr)) {
            m_pending = Pending();
            *failure = hr;
            // Decommitted: the filter is stopping.
            return hr == VFW_E_NOT_COMMITTED ? FrameResult::Refused : FrameResult::Failed;
        }
        m_pending.room = m_pending.sample->GetSize();
        m_pending.firstSample = sampleTime;
    }
    std::memcpy(m_pending.data + m_pending.used, m_pcm.data() + size_t(from) * layout.channels, size_t(bytes));
    m_pending.used += bytes;
    m_pending.samples += to - from;
    // Full once another whole frame would not fit.
    if (m_pending.used + long(layout.FrameBytes()) > m_pending.room) return SendPending(failure);
    return FrameResult::Delivered;
}

CDecoderStreamer::FrameResult CDecoderStreamer::SendPending(HRESULT* failure) {
    if (!m_pending.sample) return FrameResult::Delivered;
    const ComPtr<IMediaSample> sample = std::move(m_pending.sample);
    const uint64_t first = m_pending.firstSample, count = m_pending.samples;
    const long used = m_pending.used;
    m_pending = Pending();
    const uint32_t rate = m_track->Layout().rate;
    sample->SetActualDataLength(used);
    // Times count from the segment's first frame in output samples, so they
    // run on without gaps whatever the track's clock.
    REFERENCE_TIME start = ScaleToReferenceTime(first, rate);
    REFERENCE_TIME stop = ScaleToReferenceTime(first + count, rate);
    sample->SetTime(&start, &stop);
    sample->SetSyncPoint(TRUE);
    sample->SetDiscontinuity(first == 0 ? TRUE : FALSE);
    sample->SetPreroll(FALSE);
    const HRESULT hr = m_targets.input->Receive(sample.get());
    if (hr == S_OK) return FrameResult::Delivered;
    *failure = hr;
    // A stopped or flushing filter downstream wants no more; that is no error.
    return FAILED(hr) && hr != VFW_E_WRONG_STATE ? FrameResult::Failed : FrameResult::Refused;
}
