// The AAC decoder filter: file source byte stream in, 16-bit PCM out. The
// file is read on connection (movie, first audio track, frame table) and
// streamed from Pause on by a thread of its own; seeking in media time moves
// the start to the frame that holds the position.
//
// Locks, in this order: the filter lock (m_csFilter), the receive lock
// (m_csReceive, taken only by the base's state machine), the position lock
// (m_csPosition). The streaming thread takes none of them (it even reports
// errors to the graph without the filter's help), so Stop and a seek may
// hold them while they wait for it.
#pragma once

#include "AacTrack.h"
#include "DecoderPins.h"
#include "DecoderSeeking.h"
#include "DecoderStreamer.h"
#include "standins/filterbase/BaseFilter.h"

// {6C350194-F0BF-49CB-9849-E95E962F7DEB}
extern const CLSID CLSID_KisoMp4AacDecoder;

class CAacDecoderFilter : public CBaseFilter, public IDecoderPosition {
public:
    CAacDecoderFilter();
    ~CAacDecoderFilter() override;

    int PinCount() override { return 2; }
    CBasePin* PinAt(int index) override;

    // IDecoderPosition
    HRESULT Duration(LONGLONG* duration) override;
    void Positions(LONGLONG* current, LONGLONG* stop) override;
    HRESULT Reposition(LONGLONG current, bool setCurrent, LONGLONG stop, bool setStop) override;

    // Input pin hooks, under the filter lock: the source pin's IAsyncReader
    // is taken and the file read; a file without a usable AAC track refuses
    // the connection.
    HRESULT OpenSource(IPin* peer);
    void CloseSource();
    // The open track, or null.
    const CAacTrack* Track() const noexcept { return m_track.IsOpen() ? &m_track : nullptr; }

protected:
    HRESULT QueryFilterInterface(REFIID iid, void** out) override;
    // The streaming thread runs from the moment the filter leaves Stopped,
    // with the output allocator committed, until it returns there.
    HRESULT StartStreaming() override;
    HRESULT StopStreaming() override;

private:
    // The frames to stream for the current positions.
    StreamSegment CurrentSegment();

    CDecoderInputPin m_input;
    CDecoderOutputPin m_output;
    CDecoderSeeking m_seeking;
    // Read once, as the filter is created: TRN_DECODER_TONE=1 asks for the test tone.
    const PcmSource m_source;
    CAacTrack m_track;
    ComPtr<IAsyncReader> m_reader;
    CriticalSection m_csPosition;
    LONGLONG m_rtCurrent = 0;
    LONGLONG m_rtStop = MAXLONGLONG;  // the end of the track
    CDecoderStreamer m_streamer;
};
