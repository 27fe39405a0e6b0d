#include "standins/filterbase/BasePin.h"

#include <cstring>
#include <utility>
#include <vector>

#include "standins/filterbase/Enumerators.h"

CBasePin::CBasePin(CBaseFilter* filter, CRITICAL_SECTION& lock, const wchar_t* name, PIN_DIRECTION direction)
    : m_filter(filter), m_csFilter(lock), m_name(name), m_direction(direction) {}

CBasePin::~CBasePin() = default;

STDMETHODIMP CBasePin::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IPin)) {
        *out = static_cast<IPin*>(this);
        AddRef();
        return S_OK;
    }
    return QueryPinInterface(iid, out);
}

HRESULT CBasePin::QueryPinInterface(REFIID, void** out) {
    *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CBasePin::AddRef() { return m_filter->AddRef(); }
STDMETHODIMP_(ULONG) CBasePin::Release() { return m_filter->Release(); }

bool CBasePin::IsConnected() noexcept {
    CriticalSectionGuard lock(m_csPeer.Get());
    return static_cast<bool>(m_connected);
}

ComPtr<IPin> CBasePin::Peer() {
    CriticalSectionGuard lock(m_csPeer.Get());
    return m_connected;
}

void CBasePin::SetPeer(IPin* peer) {
    ComPtr<IPin> old(peer);
    CriticalSectionGuard lock(m_csPeer.Get());
    std::swap(old, m_connected);
}

HRESULT CBasePin::GetMediaType(int, CMediaType*) { return VFW_S_NO_MORE_ITEMS; }

HRESULT CBasePin::SetMediaType(const CMediaType& mt) { return m_mt.Set(mt.Get()); }

HRESULT CBasePin::CheckConnect(IPin* peer) {
    PIN_DIRECTION direction;
    const HRESULT hr = peer->QueryDirection(&direction);
    if (FAILED(hr)) return hr;
    return direction == m_direction ? VFW_E_INVALID_DIRECTION : S_OK;
}

HRESULT CBasePin::CompleteConnect(IPin*) { return S_OK; }
HRESULT CBasePin::BreakConnect() { return S_OK; }

void CBasePin::ClearConnection() {
    SetPeer(nullptr);
    m_mt.Clear();
}

STDMETHODIMP CBasePin::Connect(IPin* receiver, const AM_MEDIA_TYPE* mt) {
    if (!receiver) return E_POINTER;
    CriticalSectionGuard lock(m_csFilter);
    if (m_connected) return VFW_E_ALREADY_CONNECTED;
    if (m_filter->State() != State_Stopped) return VFW_E_NOT_STOPPED;
    HRESULT hr = CheckConnect(receiver);
    if (FAILED(hr)) return hr;

    if (mt) {
        CMediaType given(*mt);
        if (given.IsFullySpecified()) {
            hr = AttemptConnection(receiver, given);
            return FAILED(hr) ? hr : S_OK;
        }
    }
    // Partial or no type: our own offers first, then the receiver's.
    if (SUCCEEDED(TryOwnTypes(receiver, mt))) return S_OK;
    ComPtr<IEnumMediaTypes> theirs;
    if (SUCCEEDED(receiver->EnumMediaTypes(theirs.put())) && theirs &&
        SUCCEEDED(TryTypesFrom(receiver, mt, theirs.get())))
        return S_OK;
    return VFW_E_NO_ACCEPTABLE_TYPES;
}

HRESULT CBasePin::TryOwnTypes(IPin* receiver, const AM_MEDIA_TYPE* pattern) {
    for (int i = 0;; ++i) {
        CMediaType candidate;
        if (GetMediaType(i, &candidate) != S_OK) return VFW_E_NO_ACCEPTABLE_TYPES;
        if (pattern && !candidate.MatchesPartial(*pattern)) continue;
        if (SUCCEEDED(AttemptConnection(receiver, candidate))) return S_OK;
    }
}

HRESULT CBasePin::TryTypesFrom(IPin* receiver, const AM_MEDIA_TYPE* pattern, IEnumMediaTypes* types) {
    for (;;) {
        AM_MEDIA_TYPE* next = nullptr;
        ULONG fetched = 0;
        if (types->Next(1, &next, &fetched) != S_OK || fetched != 1 || !next) return VFW_E_NO_ACCEPTABLE_TYPES;
        CMediaType candidate(*next);
        DeleteTaskMemMediaType(next);
        if (pattern && !candidate.MatchesPartial(*pattern)) continue;
        if (SUCCEEDED(AttemptConnection(receiver, candidate))) return S_OK;
    }
}

HRESULT CBasePin::AttemptConnection(IPin* receiver, const CMediaType& mt) {
    HRESULT hr = CheckMediaType(mt);
    if (hr != S_OK) return FAILED(hr) ? hr : VFW_E_TYPE_NOT_ACCEPTED;
    SetPeer(receiver);
    hr = SetMediaType(mt);
    if (SUCCEEDED(hr)) hr = receiver->ReceiveConnection(this, &mt.Get());
    if (SUCCEEDED(hr)) {
        hr = CompleteConnect(receiver);
        if (SUCCEEDED(hr)) return S_OK;
        receiver->Disconnect();
    }
    BreakConnect();
    ClearConnection();
    return hr;
}

STDMETHODIMP CBasePin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mt) {
    if (!connector || !mt) return E_POINTER;
    CriticalSectionGuard lock(m_csFilter);
    if (m_connected) return VFW_E_ALREADY_CONNECTED;
    if (m_filter->State() != State_Stopped) return VFW_E_NOT_STOPPED;
    HRESULT hr = CheckConnect(connector);
    if (FAILED(hr)) return hr;
    CMediaType offered(*mt);
    hr = CheckMediaType(offered);
    if (hr != S_OK) return VFW_E_TYPE_NOT_ACCEPTED;
    SetPeer(connector);
    hr = SetMediaType(offered);
    if (SUCCEEDED(hr)) hr = CompleteConnect(connector);
    if (FAILED(hr)) {
        BreakConnect();
        ClearConnection();
        return hr;
    }
    return S_OK;
}

STDMETHODIMP CBasePin::Disconnect() {
    CriticalSectionGuard lock(m_csFilter);
    if (m_filter->State() != State_Stopped) return VFW_E_NOT_STOPPED;
    if (!m_connected) return S_FALSE;
    BreakConnect();
    ClearConnection();
    return S_OK;
}

STDMETHODIMP CBasePin::ConnectedTo(IPin** pin) {
    if (!pin) return E_POINTER;
    *pin = Peer().detach();
    return *pin ? S_OK : VFW_E_NOT_CONNECTED;
}

STDMETHODIMP CBasePin::ConnectionMediaType(AM_MEDIA_TYPE* mt) {
    if (!mt) return E_POINTER;
    CriticalSectionGuard lock(m_csFilter);
    if (!m_connected) {
        std::memset(mt, 0, sizeof *mt);
        return VFW_E_NOT_CONNECTED;
    }
    return m_mt.CopyTo(mt);
}

STDMETHODIMP CBasePin::QueryPinInfo(PIN_INFO* info) {
    if (!info) return E_POINTER;
    info->pFilter = m_filter;
    m_filter->AddRef();
    const size_t capacity = sizeof info->achName / sizeof info->achName[0];
    const size_t length = m_name.size() < capacity ? m_name.size() : capacity - 1;
    m_name.copy(info->achName, length);
    info->achName[length] = L'\0';
    info->dir = m_direction;
    return S_OK;
}

STDMETHODIMP CBasePin::QueryDirection(PIN_DIRECTION* direction) {
    if (!direction) return E_POINTER;
    *direction = m_direction;
    return S_OK;
}

STDMETHODIMP CBasePin::QueryId(LPWSTR* id) {
    if (!id) return E_POINTER;
    const size_t bytes = (m_name.size() + 1) * sizeof(wchar_t);
    *id = static_cast<LPWSTR>(::CoTaskMemAlloc(bytes));
    if (!*id) return E_OUTOFMEMORY;
    std::memcpy(*id, m_name.c_str(), bytes);
    return S_OK;
}

STDMETHODIMP CBasePin::QueryAccept(const AM_MEDIA_TYPE* mt) {
    if (!mt) return E_POINTER;
    return CheckMediaType(CMediaType(*mt)) == S_OK ? S_OK : S_FALSE;
}

STDMETHODIMP CBasePin::EnumMediaTypes(IEnumMediaTypes** types) {
    if (!types) return E_POINTER;
    std::vector<CMediaType> offers;
    {
        CriticalSectionGuard lock(m_csFilter);
        for (int i = 0;; ++i) {
            CMediaType mt;
            if (GetMediaType(i, &mt) != S_OK) break;
            offers.push_back(std::move(mt));
        }
    }
    return CEnumMediaTypes::Create(std::move(offers), types);
}

STDMETHODIMP CBasePin::QueryInternalConnections(IPin**, ULONG*) { return E_NOTIMPL; }

STDMETHODIMP CBasePin::EndOfStream() { return E_UNEXPECTED; }
STDMETHODIMP CBasePin::BeginFlush() { return E_UNEXPECTED; }
STDMETHODIMP CBasePin::EndFlush() { return E_UNEXPECTED; }

STDMETHODIMP CBasePin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
    m_tSegmentStart = start;
    m_tSegmentStop = stop;
    m_dSegmentRate = rate;
    return S_OK;
}
