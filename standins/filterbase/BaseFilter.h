// Base of the stand-in filters: IBaseFilter with its state machine, clock,
// graph membership and pin list. Derived filters own their pins and fill the
// hooks; a pin's references count on its filter.
//
// Locking: m_csFilter guards state changes, the clock, the graph membership
// and every connection change. Filters with a streaming path add their own
// locks and take m_csFilter first; the streaming side itself never takes it
// (it reads the state and the event sink without a lock).
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
    // IMediaFilter. Stop and Pause call Inactive/Active on the connected
    // pins, Run calls Run on them; derived filters that override them call
    // these after their own work.
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

    CriticalSection m_csFilter;
    std::atomic<FILTER_STATE> m_state{State_Stopped};  // written under m_csFilter
    REFERENCE_TIME m_tStart = 0;
    ComPtr<IReferenceClock> m_clock;
    // Not counted: the graph holds the filter, a reference back would be a
    // cycle. Valid between JoinFilterGraph(graph) and JoinFilterGraph(null).
    IFilterGraph* m_graph = nullptr;
    std::atomic<IMediaEventSink*> m_eventSink{nullptr};
    std::wstring m_name;

private:
    CLSID m_clsid;
    LONG m_refs = 1;
    CModuleRef m_module;
};
