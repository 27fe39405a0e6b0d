// A one-dimensional SAFEARRAY of VARIANTs (lower bound 0) that grows one
// element at a time and stays locked while this object works on it. Failed
// array calls are raised as CAtlException.
#pragma once

#include <objbase.h>
#include <oaidl.h>

#include "base/StatusException.h"

namespace trn {

class CVariantList {
public:
    // A new, empty, locked list; E_OUTOFMEMORY when it cannot be created.
    CVariantList();
    ~CVariantList();
    CVariantList(const CVariantList&) = delete;
    CVariantList& operator=(const CVariantList&) = delete;

    ULONG Count() const noexcept { return m_ulCount; }
    // The element at index; the list keeps it.
    const VARIANT& At(ULONG index) const;
    // Grows the list by one and stores a copy of value in the new element.
    void Append(const VARIANT& value);
    // Appends a VT_UNKNOWN element holding its own reference on object.
    void AppendUnknown(IUnknown* object);

    // The list itself, still owned (and locked) by this object.
    SAFEARRAY* get() const noexcept { return m_psa; }
    // Unlocks the list and hands it over; the caller destroys it.
    [[nodiscard]] SAFEARRAY* Detach();

private:
    void Lock();
    void Unlock() noexcept;

    SAFEARRAY* m_psa = nullptr;
    ULONG m_ulCount = 0;
    bool m_bLocked = false;
};

// Throws a failed array status as CAtlException.
inline void CheckArray(HRESULT hr) {
    if (FAILED(hr)) throw CAtlException(hr);
}

}  // namespace trn
