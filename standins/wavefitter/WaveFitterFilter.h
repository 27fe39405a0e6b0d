// Stand-in wave fitter: converts 16-bit PCM of 8 to 96 kHz, mono or stereo,
// to the 16-bit stereo format set through IWaveFitterFormat, with the
// band-limited resampler. Output times count from the input segment's first
// sample; flushing and a new segment start the resampler afresh. Seeking
// passes upstream, from the filter and from the output pin.
#pragma once

#include <memory>
#include <vector>

#include "standins/filterbase/TransformFilter.h"
#include "standins/wavefitter/Resampler.h"
#include "standins/wavefitter/WaveFitterInterfaces.h"

class CWaveFitterFilter : public CTransformFilter, public IWaveFitterFormat, public IWaveFitterOption {
public:
    static const DWORD kMinRate = 8000;
    static const DWORD kMaxRate = 96000;

    CWaveFitterFilter();

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override { return CBaseFilter::QueryInterface(iid, out); }
    STDMETHODIMP_(ULONG) AddRef() override { return CBaseFilter::AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return CBaseFilter::Release(); }

    // IWaveFitterFormat: 16 bits, kMinRate..kMaxRate, 2 channels.
    STDMETHODIMP SetFormat(DWORD bitsPerSample, DWORD sampleRate, DWORD channels) override;
    // IWaveFitterOption: any value is stored; the stand-in has no options,
    // so it changes nothing.
    STDMETHODIMP SetOption(DWORD option) override;
    // Test query: the option last given to SetOption by any fitter of the
    // process, accepted or not (0xFFFFFFFF before the first call).
    static DWORD LastOptionGiven();

    HRESULT CheckInputType(const CMediaType& in) override;
    HRESULT CheckTransform(const CMediaType& in, const CMediaType& out) override;
    HRESULT GetOutputType(int index, CMediaType* out) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

    HRESULT Receive(IMediaSample* in) override;
    HRESULT EndOfStream() override;
    HRESULT EndFlush() override;
    HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

protected:
    HRESULT QueryFilterInterface(REFIID iid, void** out) override;
    // The resampler lives from Pause to Stop.
    HRESULT StartStreaming() override;
    HRESULT StopStreaming() override;

private:
    WAVEFORMATEX OutputFormat() const;
    // Under the receive lock: forget buffered input and the time base.
    void ResetStream();
    // Moves m_converted to m_pending as stereo.
    void QueueConverted();
    // Sends m_pending downstream in buffer-sized samples.
    HRESULT DeliverPending();

    DWORD m_outRate = 44100;
    DWORD m_option = 0;
    CSeekingPassThru m_seeking;  // the filter's own, with the filter's identity

    // Streaming state, under the receive lock.
    std::unique_ptr<CResampler> m_resampler;
    unsigned m_inChannels = 0;
    std::vector<int16_t> m_converted;  // resampler output, input channel count
    std::vector<int16_t> m_pending;    // stereo, not yet delivered
    bool m_haveTimeBase = false;
    REFERENCE_TIME m_timeBase = 0;   // stream time of output frame 0
    uint64_t m_framesDelivered = 0;  // since the time base
    bool m_discontinuity = true;
};
