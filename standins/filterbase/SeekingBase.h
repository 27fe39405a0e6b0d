// Base of the IMediaSeeking objects that a filter or one of its pins hands
// out beside its own interfaces. Such an object has no identity of its own:
// IUnknown goes to the owner, and the owner's references keep it alive.
#pragma once

#include "standins/filterbase/DShow.h"

class CSeekingBase : public IMediaSeeking {
public:
    explicit CSeekingBase(IUnknown* owner) noexcept : m_owner(owner) {}
    CSeekingBase(const CSeekingBase&) = delete;
    CSeekingBase& operator=(const CSeekingBase&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override { return m_owner->QueryInterface(iid, out); }
    STDMETHODIMP_(ULONG) AddRef() override { return m_owner->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return m_owner->Release(); }

protected:
    ~CSeekingBase() = default;

private:
    IUnknown* const m_owner;  // not counted: it owns this object
};
