// The decoder's two pins. The input pin pulls: it takes the file source's
// byte stream and hands its IAsyncReader to the filter, which reads the file
// through it. The output pin offers one 16-bit PCM type, that of the track.
#pragma once

#include "DecoderSeeking.h"
#include "DecoderStreamer.h"
#include "standins/filterbase/BasePin.h"
#include "standins/filterbase/OutputPin.h"

class CAacDecoderFilter;

// The PCM type of `layout`: WAVEFORMATEX, 16 bits, interleaved.
HRESULT MakePcmMediaType(const PcmLayout& layout, CMediaType* mt);

class CDecoderInputPin : public CBasePin {
public:
    CDecoderInputPin(CAacDecoderFilter* filter, CRITICAL_SECTION& lock);

protected:
    HRESULT CheckMediaType(const CMediaType& mt) override;
    HRESULT CompleteConnect(IPin* peer) override;
    HRESULT BreakConnect() override;

private:
    CAacDecoderFilter* const m_decoder;
};

class CDecoderOutputPin : public CBaseOutputPin {
public:
    CDecoderOutputPin(CAacDecoderFilter* filter, CRITICAL_SECTION& lock, IDecoderPosition* position);

    // What the streaming thread delivers to; empty when not connected.
    StreamTargets Targets();

protected:
    HRESULT CheckMediaType(const CMediaType& mt) override;
    HRESULT GetMediaType(int index, CMediaType* mt) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT QueryPinInterface(REFIID iid, void** out) override;

private:
    CAacDecoderFilter* const m_decoder;
    CDecoderSeeking m_seeking;  // downstream filters pass seeking up to this pin
};
