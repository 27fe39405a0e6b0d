// A test-only renderer: takes 16-bit PCM, keeps every byte and time it gets,
// and can be told to block in Receive after a number of samples, as a full
// sink does. Stop, BeginFlush and Unblock wake a blocked Receive. Seeking is
// passed upstream, as the real sink does.
#pragma once

#include "standins/filterbase/BaseFilter.h"
#include "standins/filterbase/InputPin.h"
#include "standins/filterbase/SeekingPassThru.h"

#include <vector>

class CTestSink;

class CTestSinkPin : public CBaseInputPin {
public:
    explicit CTestSinkPin(CTestSink* sink);

    STDMETHODIMP Receive(IMediaSample* sample) override;
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;
    STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

protected:
    HRESULT CheckMediaType(const CMediaType& mt) override;

private:
    CTestSink* const m_sink;
};

class CTestSink : public CBaseFilter {
public:
    static constexpr long kNoLimit = -1;

    CTestSink();
    ~CTestSink() override;

    int PinCount() override { return 1; }
    CBasePin* PinAt(int index) override { return index == 0 ? &m_pin : nullptr; }
    STDMETHODIMP Stop() override;

    IPin* Pin() noexcept { return &m_pin; }

    // Test side.
    void Clear();                   // forgets what arrived
    void BlockAfter(long samples);  // kNoLimit: never block
    void Unblock();                 // lets a blocked Receive go on
    bool WaitUntilBlocked(DWORD timeoutMs);
    bool WaitForEndOfStream(DWORD timeoutMs);
    std::vector<BYTE> Bytes();
    std::vector<REFERENCE_TIME> StartTimes();
    std::vector<REFERENCE_TIME> SegmentStarts();
    // Bytes that arrived after the last EndFlush.
    std::vector<BYTE> BytesSinceFlush();
    long Flushes();
    long EndsOfStream();

    // Pin side.
    HRESULT OnReceive(IMediaSample* sample);
    void OnEndOfStream();
    void OnBeginFlush();
    void OnEndFlush();
    void OnNewSegment(REFERENCE_TIME start);

protected:
    HRESULT QueryFilterInterface(REFIID iid, void** out) override;

private:
    CTestSinkPin m_pin;
    CSeekingPassThru m_seeking;
    CriticalSection m_csData;
    std::vector<BYTE> m_bytes;
    std::vector<REFERENCE_TIME> m_starts;
    std::vector<REFERENCE_TIME> m_segments;
    size_t m_flushMark = 0;
    long m_received = 0;
    long m_blockAfter = kNoLimit;
    long m_flushes = 0;
    long m_ends = 0;
    UniqueHandle m_blocked;  // manual: a Receive is blocked
    UniqueHandle m_wake;     // manual: blocked Receives return
    UniqueHandle m_ended;    // manual: end of stream arrived
};
