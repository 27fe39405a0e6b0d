// Base of the stand-in filters: IBaseFilter with its state machine, clock,
// graph membership and pin list. Derived filters own their pins and fill the
// hooks; a pin's references count on its filter.
//
// Locks, in this order: m_csFilter, then m_csReceive, then a pin's m_csPeer.
// m_csFilter guards the state, the clock, the graph membership and every
// connection change. m_csReceive is held by a streaming side that works on
// its caller's thread while it takes one sample or the end of the stream (a
// transform filter's input pin); where the streaming side holds no lock,
// only the state machine takes it. The streaming side never waits for
// anything while it holds m_csFilter; the state and the event sink can be
// read without it.
//
// The state machine. Derived filters do not override Stop, Pause and Run;
// they fill the hooks, which run where these steps say. Pins are called in
// pin order, the connected ones only.
//
//   Stop   1. UnblockStreaming(), with no lock held (also when stopped)
//          2. takes m_csFilter
//          from Paused or Running, with a streaming path:
//          3. Inactive() on each pin: the allocators decommit, so a streaming
//             thread waiting in GetBuffer wakes and lets go of m_csReceive
//          4. takes m_csReceive, StopStreaming()
//          5. Stopped, whatever failed; the first failure is returned
//   Pause  1. takes m_csFilter
//          from Stopped, with a streaming path:
//          2. Active() on each pin, up to the first failure: the allocators
//             commit, so a thread that StartStreaming starts can deliver
//          3. takes m_csReceive, StartStreaming(); when this or step 2 has
//             failed, Inactive() on each pin (m_csReceive let go) and the
//             filter stays Stopped
//          4. Paused
//   Run    1. takes m_csFilter; from Stopped, Pause's steps 2 to 4 (a
//             failure there leaves the filter Stopped); stores the start
//          with a streaming path:
//          2. from Paused, Run(start) on each pin, up to the first failure
//          3. OnRun(start), on every Run; when this or step 2 has failed,
//             the state stays where step 1 left it
//          4. Running
//
// After each of the three has let go of m_csFilter, it sends the event that a
// hook deferred (DeferEvent): the graph manager's event queue has locks of
// its own, which it may hold while it calls into the filter.
#pragma once

#include <atomic>
#include <string>

#include "base/ComPtr.h"
#include "base/UniqueResource.h"
#include "standins/filterbase/FilterModule.h"

class CBasePin;

class CBaseFilter : public IBaseFilter {
public:
    explicit CBaseFilter(const CLSID& clsid);
    virtual ~CBaseFilter();
    CBaseFilter(const CBaseFilter&) = delete;
    CBaseFilter& operator=(const CBaseFilter&) = delete;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // IPersist
    STDMETHODIMP GetClassID(CLSID* clsid) override;
    // IMediaFilter: the state machine above.
    STDMETHODIMP Stop() override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Run(REFERENCE_TIME start) override;
    STDMETHODIMP GetState(DWORD timeoutMs, FILTER_STATE* state) override;
    STDMETHODIMP SetSyncSource(IReferenceClock* clock) override;
    STDMETHODIMP GetSyncSource(IReferenceClock** clock) override;
    // IBaseFilter
    STDMETHODIMP EnumPins(IEnumPins** pins) override;
    STDMETHODIMP FindPin(LPCWSTR id, IPin** pin) override;
    STDMETHODIMP QueryFilterInfo(FILTER_INFO* info) override;
    STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
    STDMETHODIMP QueryVendorInfo(LPWSTR* info) override;

    virtual int PinCount() = 0;
    virtual CBasePin* PinAt(int index) = 0;

    CRITICAL_SECTION& FilterLock() noexcept { return m_csFilter.Get(); }
    CRITICAL_SECTION& ReceiveLock() noexcept { return m_csReceive.Get(); }
    // A snapshot; exact only while the caller holds the filter lock. Takes
    // no lock, so the streaming side may ask.
    FILTER_STATE State() noexcept;
    bool IsStopped() noexcept { return State() == State_Stopped; }
    REFERENCE_TIME StreamStart() noexcept;

    // Sends an event to the graph manager when the filter is in a graph.
    HRESULT NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2);

protected:
    // Interfaces beyond IUnknown, IPersist, IMediaFilter and IBaseFilter.
    virtual HRESULT QueryFilterInterface(REFIID iid, void** out);

    // State hooks; see the state machine above for where each runs.
    // Wakes the streaming side wherever it waits on the filter's own objects
    // (a full buffer); the pins' allocators are decommitted later, by Stop.
    virtual void UnblockStreaming() {}
    virtual HRESULT StartStreaming() { return S_OK; }
    virtual HRESULT StopStreaming() { return S_OK; }
    virtual HRESULT OnRun(REFERENCE_TIME) { return S_OK; }
    // False while the filter cannot stream with the connections it has (a
    // transform filter with a pin unconnected): the state then changes
    // alone. Connections change only while stopped, so Pause, Run and Stop
    // see the same answer.
    virtual bool HasStreamingPath() { return true; }

    // From a state hook: the event goes out once the step has released
    // m_csFilter. One per step; a later one replaces it.
    void DeferEvent(long code, LONG_PTR param1, LONG_PTR param2) noexcept;

    CriticalSection m_csFilter;
    CriticalSection m_csReceive;
    std::atomic<FILTER_STATE> m_state{State_Stopped};  // written under m_csFilter
    REFERENCE_TIME m_tStart = 0;
    ComPtr<IReferenceClock> m_clock;
    // Not counted: the graph holds the filter, a reference back would be a
    // cycle. Valid between JoinFilterGraph(graph) and JoinFilterGraph(null).
    IFilterGraph* m_graph = nullptr;
    std::atomic<IMediaEventSink*> m_eventSink{nullptr};
    std::wstring m_name;

private:
    struct DeferredEvent {
        bool pending = false;
        long code = 0;
        LONG_PTR param1 = 0;
        LONG_PTR param2 = 0;
    };

    // One state change under m_csFilter, then the deferred event.
    template <class Step>
    HRESULT ChangeState(Step step);
    // The steps, under m_csFilter.
    HRESULT StopLocked();
    HRESULT PauseLocked();
    HRESULT RunLocked(REFERENCE_TIME start);
    // Over the connected pins, in pin order.
    HRESULT ActivatePins();    // stops at the first failure
    HRESULT DeactivatePins();  // all of them; the first failure
    HRESULT RunPins(REFERENCE_TIME start);

    DeferredEvent m_deferred;  // under m_csFilter
    CLSID m_clsid;
    LONG m_refs = 1;
    CModuleRef m_module;
};
