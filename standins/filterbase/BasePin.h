// Base of every pin: connection, media type negotiation and the pin's
// identity. References count on the owning filter. Connection changes run
// under the filter's lock (m_csFilter, given to the pin); the streaming side
// reads the connection through m_csPeer only, the innermost lock, never held
// while calling out.
#pragma once

#include <string>

#include "base/ComPtr.h"
#include "standins/filterbase/BaseFilter.h"
#include "standins/filterbase/MediaType.h"

class CBasePin : public IPin {
public:
    CBasePin(CBaseFilter* filter, CRITICAL_SECTION& lock, const wchar_t* name, PIN_DIRECTION direction);
    virtual ~CBasePin();
    CBasePin(const CBasePin&) = delete;
    CBasePin& operator=(const CBasePin&) = delete;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // IPin
    STDMETHODIMP Connect(IPin* receiver, const AM_MEDIA_TYPE* mt) override;
    STDMETHODIMP ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mt) override;
    STDMETHODIMP Disconnect() override;
    STDMETHODIMP ConnectedTo(IPin** pin) override;
    STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* mt) override;
    STDMETHODIMP QueryPinInfo(PIN_INFO* info) override;
    STDMETHODIMP QueryDirection(PIN_DIRECTION* direction) override;
    STDMETHODIMP QueryId(LPWSTR* id) override;
    STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* mt) override;
    STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** types) override;
    STDMETHODIMP QueryInternalConnections(IPin** pins, ULONG* count) override;
    // Stream control: output pins refuse them; input pins override.
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;
    // Records the segment; derived pins pass it on.
    STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

    const wchar_t* Name() const noexcept { return m_name.c_str(); }
    PIN_DIRECTION Direction() const noexcept { return m_direction; }
    bool IsConnected() noexcept;
    // The connected pin with a reference, or null. Safe on the streaming side.
    ComPtr<IPin> Peer();
    // The connection's type; meaningful only while connected.
    const CMediaType& CurrentMediaType() const noexcept { return m_mt; }
    CBaseFilter* Filter() const noexcept { return m_filter; }

    REFERENCE_TIME SegmentStart() const noexcept { return m_tSegmentStart; }
    REFERENCE_TIME SegmentStop() const noexcept { return m_tSegmentStop; }
    double SegmentRate() const noexcept { return m_dSegmentRate; }

    // Called by the filter's state machine (see CBaseFilter) for connected
    // pins, under the filter lock and never under the receive lock.
    virtual HRESULT Active() { return S_OK; }
    virtual HRESULT Inactive() { return S_OK; }
    virtual HRESULT Run(REFERENCE_TIME) { return S_OK; }

protected:
    // S_OK when the pin can carry mt.
    virtual HRESULT CheckMediaType(const CMediaType& mt) = 0;
    // The pin's own offers, index 0 first; VFW_S_NO_MORE_ITEMS past the end.
    virtual HRESULT GetMediaType(int index, CMediaType* mt);
    // The connection's type has been chosen.
    virtual HRESULT SetMediaType(const CMediaType& mt);
    // Checks the peer before any type is tried: the opposite direction.
    virtual HRESULT CheckConnect(IPin* peer);
    // Both sides agreed; a failure undoes the connection.
    virtual HRESULT CompleteConnect(IPin* peer);
    // The connection goes away: release what CompleteConnect took.
    virtual HRESULT BreakConnect();
    // Interfaces beyond IUnknown and IPin.
    virtual HRESULT QueryPinInterface(REFIID iid, void** out);

    CBaseFilter* const m_filter;   // owns the pin
    CRITICAL_SECTION& m_csFilter;  // the filter's lock
    CriticalSection m_csPeer;      // innermost: m_connected is written under both locks
    ComPtr<IPin> m_connected;
    CMediaType m_mt;
    REFERENCE_TIME m_tSegmentStart = 0;
    REFERENCE_TIME m_tSegmentStop = MAXLONGLONG;
    double m_dSegmentRate = 1.0;

private:
    HRESULT AttemptConnection(IPin* receiver, const CMediaType& mt);
    HRESULT TryTypesFrom(IPin* receiver, const AM_MEDIA_TYPE* pattern, IEnumMediaTypes* types);
    HRESULT TryOwnTypes(IPin* receiver, const AM_MEDIA_TYPE* pattern);
    void ClearConnection();
    void SetPeer(IPin* peer);

    const std::wstring m_name;
    const PIN_DIRECTION m_direction;
};
