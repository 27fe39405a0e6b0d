#include "standins/filterbase/Enumerators.h"

#include <new>

namespace {

template <class Enum>
HRESULT QueryEnum(Enum* self, REFIID ownIid, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, ownIid)) {
        *out = self;
        self->AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

}  // namespace

HRESULT CEnumPins::Create(std::vector<ComPtr<IPin>> pins, IEnumPins** out) {
    if (!out) return E_POINTER;
    *out = new (std::nothrow) CEnumPins(std::move(pins));
    return *out ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CEnumPins::QueryInterface(REFIID iid, void** out) { return QueryEnum(this, IID_IEnumPins, iid, out); }
STDMETHODIMP_(ULONG) CEnumPins::AddRef() { return ::InterlockedIncrement(&m_refs); }
STDMETHODIMP_(ULONG) CEnumPins::Release() {
    const LONG refs = ::InterlockedDecrement(&m_refs);
    if (refs == 0) delete this;
    return refs;
}

STDMETHODIMP CEnumPins::Next(ULONG count, IPin** pins, ULONG* fetched) {
    if (!pins || (count != 1 && !fetched)) return E_POINTER;
    ULONG n = 0;
    while (n < count && m_position < m_pins.size()) {
        pins[n] = m_pins[m_position++].get();
        pins[n]->AddRef();
        ++n;
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumPins::Skip(ULONG count) {
    const size_t left = m_pins.size() - m_position;
    if (count > left) {
        m_position = m_pins.size();
        return S_FALSE;
    }
    m_position += count;
    return S_OK;
}

STDMETHODIMP CEnumPins::Reset() {
    m_position = 0;
    return S_OK;
}

STDMETHODIMP CEnumPins::Clone(IEnumPins** out) {
    if (!out) return E_POINTER;
    const HRESULT hr = Create(m_pins, out);
    if (SUCCEEDED(hr)) static_cast<CEnumPins*>(*out)->m_position = m_position;
    return hr;
}

HRESULT CEnumMediaTypes::Create(std::vector<CMediaType> types, IEnumMediaTypes** out) {
    if (!out) return E_POINTER;
    *out = new (std::nothrow) CEnumMediaTypes(std::move(types));
    return *out ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CEnumMediaTypes::QueryInterface(REFIID iid, void** out) {
    return QueryEnum(this, IID_IEnumMediaTypes, iid, out);
}
STDMETHODIMP_(ULONG) CEnumMediaTypes::AddRef() { return ::InterlockedIncrement(&m_refs); }
STDMETHODIMP_(ULONG) CEnumMediaTypes::Release() {
    const LONG refs = ::InterlockedDecrement(&m_refs);
    if (refs == 0) delete this;
    return refs;
}

STDMETHODIMP CEnumMediaTypes::Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) {
    if (!types || (count != 1 && !fetched)) return E_POINTER;
    ULONG n = 0;
    while (n < count && m_position < m_types.size()) {
        types[n] = m_types[m_position].CreateTaskMemCopy();
        if (!types[n]) {
            m_position -= n;
            while (n > 0) DeleteTaskMemMediaType(types[--n]);
            if (fetched) *fetched = 0;
            return E_OUTOFMEMORY;
        }
        ++m_position;
        ++n;
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumMediaTypes::Skip(ULONG count) {
    const size_t left = m_types.size() - m_position;
    if (count > left) {
        m_position = m_types.size();
        return S_FALSE;
    }
    m_position += count;
    return S_OK;
}

STDMETHODIMP CEnumMediaTypes::Reset() {
    m_position = 0;
    return S_OK;
}

STDMETHODIMP CEnumMediaTypes::Clone(IEnumMediaTypes** out) {
    if (!out) return E_POINTER;
    const HRESULT hr = Create(m_types, out);
    if (SUCCEEDED(hr)) static_cast<CEnumMediaTypes*>(*out)->m_position = m_position;
    return hr;
}
