// IEnumPins and IEnumMediaTypes over a snapshot taken when they are made:
// a filter's pins and a pin's types do not change while it is in a graph.
#pragma once

#include <vector>

#include "base/ComPtr.h"
#include "standins/filterbase/FilterModule.h"
#include "standins/filterbase/MediaType.h"

class CEnumPins : public IEnumPins {
public:
    // Hands out a new enumerator over pins with one reference.
    static HRESULT Create(std::vector<ComPtr<IPin>> pins, IEnumPins** out);

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP Next(ULONG count, IPin** pins, ULONG* fetched) override;
    STDMETHODIMP Skip(ULONG count) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumPins** out) override;

private:
    explicit CEnumPins(std::vector<ComPtr<IPin>> pins) : m_pins(std::move(pins)) {}
    virtual ~CEnumPins() = default;

    std::vector<ComPtr<IPin>> m_pins;
    size_t m_position = 0;
    LONG m_refs = 1;
    CModuleRef m_module;
};

// Usually holds one type (an output pin's offer) or none (an input pin that
// offers nothing).
class CEnumMediaTypes : public IEnumMediaTypes {
public:
    static HRESULT Create(std::vector<CMediaType> types, IEnumMediaTypes** out);

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override;
    STDMETHODIMP Skip(ULONG count) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumMediaTypes** out) override;

private:
    explicit CEnumMediaTypes(std::vector<CMediaType> types) : m_types(std::move(types)) {}
    virtual ~CEnumMediaTypes() = default;

    std::vector<CMediaType> m_types;
    size_t m_position = 0;
    LONG m_refs = 1;
    CModuleRef m_module;
};
