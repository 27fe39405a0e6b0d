// The filter base's state machine, driven directly on a filter that records
// its hooks and its pins' calls together with the locks held at each: the
// order the header promises, the unwinding of a failed start, and events
// held back until the filter lock is free. Also the seeking objects' owner.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "base/ComPtr.h"
#include "standins/filterbase/BasePin.h"
#include "standins/filterbase/SeekingPassThru.h"

namespace {

// {9B0F3C6E-2A71-4D5C-8E14-7A3B5C9D1E02}: test only, never registered.
const CLSID kClsidHookFilter = {0x9B0F3C6E, 0x2A71, 0x4D5C, {0x8E, 0x14, 0x7A, 0x3B, 0x5C, 0x9D, 0x1E, 0x02}};

bool OwnedHere(CRITICAL_SECTION& cs) {
    return cs.RecursionCount > 0 &&
           cs.OwningThread == reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(::GetCurrentThreadId()));
}

class CHookFilter;

class CHookPin : public CBasePin {
public:
    CHookPin(CHookFilter* filter, const char* tag, PIN_DIRECTION direction);

    HRESULT Active() override;
    HRESULT Inactive() override;
    HRESULT Run(REFERENCE_TIME start) override;

    HRESULT m_hrActive = S_OK;

protected:
    HRESULT CheckMediaType(const CMediaType&) override { return S_OK; }

private:
    CHookFilter* const m_hook;
    const std::string m_tag;
};

class CHookFilter : public CBaseFilter {
public:
    CHookFilter() : CBaseFilter(kClsidHookFilter), m_in(this, "in", PINDIR_INPUT), m_out(this, "out", PINDIR_OUTPUT) {}

    int PinCount() override { return 2; }
    CBasePin* PinAt(int index) override { return index == 0 ? &m_in : index == 1 ? &m_out : nullptr; }

    // "what:locks", F for the filter lock and R for the receive lock held by
    // the calling thread.
    void Record(const std::string& what) {
        std::string entry = what + ':';
        if (OwnedHere(FilterLock())) entry += 'F';
        if (OwnedHere(ReceiveLock())) entry += 'R';
        m_log.push_back(entry);
    }
    std::vector<std::string> TakeLog() { return std::exchange(m_log, {}); }

    CHookPin m_in;
    CHookPin m_out;
    HRESULT m_hrStart = S_OK;
    bool m_fPath = true;
    long m_deferOnRun = 0;  // an event code, or none

protected:
    void UnblockStreaming() override { Record("Unblock"); }
    HRESULT StartStreaming() override {
        Record("StartStreaming");
        return m_hrStart;
    }
    HRESULT StopStreaming() override {
        Record("StopStreaming");
        return S_OK;
    }
    HRESULT OnRun(REFERENCE_TIME) override {
        Record("OnRun");
        if (m_deferOnRun) DeferEvent(m_deferOnRun, S_OK, 0);
        return S_OK;
    }
    bool HasStreamingPath() override { return m_fPath; }

private:
    std::vector<std::string> m_log;
};

CHookPin::CHookPin(CHookFilter* filter, const char* tag, PIN_DIRECTION direction)
    : CBasePin(filter, filter->FilterLock(), tag[0] == 'i' ? L"In" : L"Out", direction), m_hook(filter), m_tag(tag) {}

HRESULT CHookPin::Active() {
    m_hook->Record(m_tag + ".Active");
    return m_hrActive;
}

HRESULT CHookPin::Inactive() {
    m_hook->Record(m_tag + ".Inactive");
    return S_OK;
}

HRESULT CHookPin::Run(REFERENCE_TIME) {
    m_hook->Record(m_tag + ".Run");
    return S_OK;
}

CMediaType PcmType() {
    WAVEFORMATEX wf = {WAVE_FORMAT_PCM, 2, 44100, 44100 * 4, 4, 16, 0};
    CMediaType mt;
    mt.Get().majortype = MEDIATYPE_Audio;
    mt.Get().subtype = MEDIASUBTYPE_PCM;
    EXPECT_EQ(S_OK, mt.SetFormat(FORMAT_WaveFormatEx, &wf, sizeof wf));
    return mt;
}

FILTER_STATE StateOf(IBaseFilter* filter) {
    FILTER_STATE state = State_Running;
    EXPECT_EQ(S_OK, filter->GetState(0, &state));
    return state;
}

using Log = std::vector<std::string>;

// Two recording filters, each pin of the first connected to the second, so
// that the first has both pins connected.
class StateMachine : public ::testing::Test {
protected:
    void SetUp() override {
        const CMediaType mt = PcmType();
        ASSERT_EQ(S_OK, m_filter->m_out.Connect(&m_peer->m_in, &mt.Get()));
        ASSERT_EQ(S_OK, m_peer->m_out.Connect(&m_filter->m_in, &mt.Get()));
    }
    void TearDown() override {
        // The connections hold references both ways.
        m_filter->Stop();
        m_peer->Stop();
        for (CHookFilter* f : {m_filter.get(), m_peer.get()}) {
            f->m_in.Disconnect();
            f->m_out.Disconnect();
        }
    }

    ComPtr<CHookFilter> m_filter = AdoptComPtr(new CHookFilter());
    ComPtr<CHookFilter> m_peer = AdoptComPtr(new CHookFilter());
};

TEST_F(StateMachine, StopPauseRunPauseStopCallTheHooksInOrderUnderTheirLocks) {
    CHookFilter& f = *m_filter.get();

    EXPECT_EQ(S_OK, f.Stop());
    EXPECT_EQ((Log{"Unblock:"}), f.TakeLog());
    EXPECT_EQ(State_Stopped, StateOf(&f));

    EXPECT_EQ(S_OK, f.Pause());
    EXPECT_EQ((Log{"in.Active:F", "out.Active:F", "StartStreaming:FR"}), f.TakeLog());
    EXPECT_EQ(State_Paused, StateOf(&f));

    EXPECT_EQ(S_OK, f.Run(1234));
    EXPECT_EQ((Log{"in.Run:F", "out.Run:F", "OnRun:F"}), f.TakeLog());
    EXPECT_EQ(State_Running, StateOf(&f));
    EXPECT_EQ(1234, f.StreamStart());

    EXPECT_EQ(S_OK, f.Pause());
    EXPECT_EQ(Log{}, f.TakeLog());
    EXPECT_EQ(State_Paused, StateOf(&f));

    // The streaming side is woken with no lock held, the pins decommit
    // before the receive lock is taken.
    EXPECT_EQ(S_OK, f.Stop());
    EXPECT_EQ((Log{"Unblock:", "in.Inactive:F", "out.Inactive:F", "StopStreaming:FR"}), f.TakeLog());
    EXPECT_EQ(State_Stopped, StateOf(&f));

    // Run straight from Stopped goes through Pause's steps; a second Run
    // reaches OnRun only.
    EXPECT_EQ(S_OK, f.Run(0));
    EXPECT_EQ(S_OK, f.Run(10));
    EXPECT_EQ((Log{"in.Active:F", "out.Active:F", "StartStreaming:FR", "in.Run:F", "out.Run:F", "OnRun:F", "OnRun:F"}),
              f.TakeLog());
    EXPECT_EQ(10, f.StreamStart());
}

TEST_F(StateMachine, AFailedStartLeavesThePinsInactiveAndTheFilterStopped) {
    CHookFilter& f = *m_filter.get();
    f.m_hrStart = E_FAIL;
    EXPECT_EQ(E_FAIL, f.Pause());
    EXPECT_EQ((Log{"in.Active:F", "out.Active:F", "StartStreaming:FR", "in.Inactive:F", "out.Inactive:F"}),
              f.TakeLog());
    EXPECT_EQ(State_Stopped, StateOf(&f));
    EXPECT_EQ(E_FAIL, f.Run(0));
    EXPECT_EQ(State_Stopped, StateOf(&f));
    f.TakeLog();

    // A pin that cannot become active: the streaming hook is not reached.
    f.m_hrStart = S_OK;
    f.m_out.m_hrActive = VFW_E_NO_ALLOCATOR;
    EXPECT_EQ(VFW_E_NO_ALLOCATOR, f.Pause());
    EXPECT_EQ((Log{"in.Active:F", "out.Active:F", "in.Inactive:F", "out.Inactive:F"}), f.TakeLog());
    EXPECT_EQ(State_Stopped, StateOf(&f));

    // Stopping a filter that never started calls no streaming hook.
    EXPECT_EQ(S_OK, f.Stop());
    EXPECT_EQ((Log{"Unblock:"}), f.TakeLog());
}

TEST_F(StateMachine, WithoutAStreamingPathOnlyTheStateChanges) {
    CHookFilter& f = *m_filter.get();
    f.m_fPath = false;
    EXPECT_EQ(S_OK, f.Pause());
    EXPECT_EQ(State_Paused, StateOf(&f));
    EXPECT_EQ(S_OK, f.Run(0));
    EXPECT_EQ(State_Running, StateOf(&f));
    EXPECT_EQ(S_OK, f.Stop());
    EXPECT_EQ(State_Stopped, StateOf(&f));
    EXPECT_EQ((Log{"Unblock:"}), f.TakeLog());
}

TEST(StateMachineUnconnected, PinsWithoutAConnectionAreLeftAlone) {
    ComPtr<CHookFilter> f = AdoptComPtr(new CHookFilter());
    EXPECT_EQ(S_OK, f->Run(0));
    EXPECT_EQ(S_OK, f->Stop());
    EXPECT_EQ((Log{"StartStreaming:FR", "OnRun:F", "Unblock:", "StopStreaming:FR"}), f->TakeLog());
}

// A graph manager that only takes events, and notes whether the filter's
// lock was held when one came.
class CEventGraph : public IFilterGraph, public IMediaEventSink {
public:
    explicit CEventGraph(CBaseFilter* filter) : m_filter(filter) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IFilterGraph)) {
            *out = static_cast<IFilterGraph*>(this);
        } else if (IsEqualIID(iid, IID_IMediaEventSink)) {
            *out = static_cast<IMediaEventSink*>(this);
        } else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    STDMETHODIMP AddFilter(IBaseFilter*, LPCWSTR) override { return E_NOTIMPL; }
    STDMETHODIMP RemoveFilter(IBaseFilter*) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFilters(IEnumFilters**) override { return E_NOTIMPL; }
    STDMETHODIMP FindFilterByName(LPCWSTR, IBaseFilter**) override { return E_NOTIMPL; }
    STDMETHODIMP ConnectDirect(IPin*, IPin*, const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    STDMETHODIMP Reconnect(IPin*) override { return E_NOTIMPL; }
    STDMETHODIMP Disconnect(IPin*) override { return E_NOTIMPL; }
    STDMETHODIMP SetDefaultSyncSource() override { return E_NOTIMPL; }

    STDMETHODIMP Notify(long code, LONG_PTR, LONG_PTR param2) override {
        m_codes.push_back(code);
        m_lockedWhenNotified = m_lockedWhenNotified || OwnedHere(m_filter->FilterLock());
        m_sender = param2;
        return S_OK;
    }

    CBaseFilter* const m_filter;
    std::vector<long> m_codes;
    bool m_lockedWhenNotified = false;
    LONG_PTR m_sender = 0;
};

TEST(StateMachineEvents, AHookDefersItsEventUntilTheFilterLockIsFree) {
    ComPtr<CHookFilter> f = AdoptComPtr(new CHookFilter());
    CEventGraph graph(f.get());
    ASSERT_EQ(S_OK, f->JoinFilterGraph(&graph, L"hooks"));
    f->m_deferOnRun = EC_COMPLETE;
    EXPECT_EQ(S_OK, f->Run(0));
    EXPECT_EQ(std::vector<long>{EC_COMPLETE}, graph.m_codes);
    EXPECT_FALSE(graph.m_lockedWhenNotified);
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(f.get())), graph.m_sender);

    // Sent once: the next step has nothing to send.
    f->m_deferOnRun = 0;
    EXPECT_EQ(S_OK, f->Stop());
    EXPECT_EQ(1u, graph.m_codes.size());
    f->JoinFilterGraph(nullptr, nullptr);
}

// Counts its references and names itself as its only interface.
class COwner : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        m_asked.push_back(iid);
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() override { return --m_refs; }

    ULONG m_refs = 1;
    std::vector<IID> m_asked;
};

TEST(SeekingBase, IdentityAndReferencesAreTheOwners) {
    COwner owner;
    ComPtr<CHookFilter> f = AdoptComPtr(new CHookFilter());
    CSeekingPassThru seeking(&owner, &f->m_in);
    IMediaSeeking* s = &seeking;
    EXPECT_EQ(2u, s->AddRef());
    EXPECT_EQ(1u, s->Release());
    void* out = nullptr;
    EXPECT_EQ(E_NOINTERFACE, s->QueryInterface(IID_IBaseFilter, &out));
    ASSERT_EQ(1u, owner.m_asked.size());
    EXPECT_TRUE(IsEqualIID(IID_IBaseFilter, owner.m_asked[0]));

    // Nothing upstream to pass seeking to: the graph manager skips this one.
    LONGLONG duration = 0;
    EXPECT_EQ(E_NOTIMPL, s->GetDuration(&duration));
    EXPECT_EQ(1u, owner.m_refs);
}

}  // namespace
