// The decoder's streaming thread: reads one frame at a time through the file
// source, turns it into PCM and delivers one media sample per frame. It is
// driven by commands (CMD_RUN starts the current segment, CMD_SEEK brings it
// back to idle, CMD_EXIT ends it) and touches no filter lock: what it
// delivers to is captured when streaming starts.
#pragma once

#include "AsyncReaderStream.h"

#include "AacTrack.h"
#include "StreamSegment.h"
#include "base/ComPtr.h"
#include "standins/filterbase/CommandThread.h"
#include "standins/filterbase/DShow.h"

#include <memory>
#include <vector>

// The output pin's connection as streaming starts, and where errors go.
struct StreamTargets {
    ComPtr<IPin> peer;
    ComPtr<IMemInputPin> input;
    ComPtr<IMemAllocator> allocator;
    // Not counted, like the filter's own: the graph outlives streaming.
    IMediaEventSink* events = nullptr;
};

class CDecoderStreamer {
public:
    enum Command : DWORD { CMD_RUN = 1, CMD_SEEK = 2, CMD_EXIT = 3 };

    // Frames are read up to this size; longer ones cannot be AAC and are
    // handed to the PCM step cut short.
    static constexpr uint32_t kMaxFrameBytes = 65536;
    // Decoded frames handed downstream in one media sample: each sample
    // costs a pass through every filter and a wake-up of the host's reader.
    static constexpr uint32_t kFramesPerSample = 16;

    CDecoderStreamer() = default;
    ~CDecoderStreamer() { Stop(); }
    CDecoderStreamer(const CDecoderStreamer&) = delete;
    CDecoderStreamer& operator=(const CDecoderStreamer&) = delete;

    // Starts the thread on `segment`. The track and reader must stay
    // unchanged until Stop.
    HRESULT Start(const CAacTrack* track, IAsyncReader* reader, StreamTargets targets, const StreamSegment& segment);
    // Flushes downstream and streams `segment` instead.
    void Restart(const StreamSegment& segment);
    // Wakes the thread wherever it blocks, ends it and waits for it.
    void Stop();
    bool IsRunning() const noexcept { return m_thread.IsRunning(); }

private:
    enum class FrameResult { Delivered, Refused, Unreadable, Failed };

    static DWORD WINAPI ThreadProc(void* param);
    DWORD CommandLoop();
    void DeliverSegment();
    FrameResult DeliverFrame(uint32_t index, HRESULT* failure);
    // Sends the sample being filled downstream, if any.
    FrameResult SendPending(HRESULT* failure);
    // Reads and decodes frame `index` into m_pcm; false when it cannot be read.
    bool DecodeOnly(uint32_t index);
    bool Interrupted() const noexcept { return ::InterlockedCompareExchange(&m_interrupt, 0, 0) != 0; }

    CCommandThread m_thread;
    const CAacTrack* m_track = nullptr;
    CReadAheadWindow m_reader;
    StreamTargets m_targets;
    std::unique_ptr<IAacFrameDecoder> m_decoder;
    StreamSegment m_segment;  // written only while the thread is idle
    std::vector<uint8_t> m_frameData;
    std::vector<int16_t> m_pcm;
    // The media sample being filled: its data, bytes used, and its first
    // sample's time from the segment start with the samples in it.
    struct Pending {
        ComPtr<IMediaSample> sample;
        BYTE* data = nullptr;
        long room = 0;
        long used = 0;
        uint64_t firstSample = 0;
        uint64_t samples = 0;
    } m_pending;
    mutable LONG m_interrupt = 0;  // set while a stop or seek unblocks the thread
};
