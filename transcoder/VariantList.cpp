#include "transcoder/VariantList.h"

namespace trn {

CVariantList::CVariantList() {
    // Not a vector: Wine frees a vector's data with its descriptor only, so
    // the block a SafeArrayRedim grew it into would leak.
    SAFEARRAYBOUND bound = {0, 0};
    m_psa = ::SafeArrayCreate(VT_VARIANT, 1, &bound);
    if (m_psa == nullptr) throw CAtlException(E_OUTOFMEMORY);
    try {
        Lock();
    } catch (...) {
        ::SafeArrayDestroy(m_psa);
        throw;
    }
}

CVariantList::~CVariantList() {
    if (m_psa == nullptr) return;
    Unlock();
    ::SafeArrayDestroy(m_psa);
}

void CVariantList::Lock() {
    CheckArray(::SafeArrayLock(m_psa));
    m_bLocked = true;
}

void CVariantList::Unlock() noexcept {
    if (m_bLocked) ::SafeArrayUnlock(m_psa);
    m_bLocked = false;
}

const VARIANT& CVariantList::At(ULONG index) const {
    if (index >= m_ulCount || !m_bLocked) throw CAtlException(DISP_E_BADINDEX);
    return static_cast<const VARIANT*>(m_psa->pvData)[index];
}

void CVariantList::Append(const VARIANT& value) {
    // A locked array cannot change its size.
    Unlock();
    SAFEARRAYBOUND bound = {m_ulCount + 1, 0};
    const HRESULT hr = ::SafeArrayRedim(m_psa, &bound);
    Lock();
    CheckArray(hr);
    ++m_ulCount;
    VARIANT& slot = static_cast<VARIANT*>(m_psa->pvData)[m_ulCount - 1];
    CheckArray(::VariantCopy(&slot, const_cast<VARIANT*>(&value)));
}

void CVariantList::AppendUnknown(IUnknown* object) {
    VARIANT value;
    value.vt = VT_UNKNOWN;
    value.punkVal = object;  // VariantCopy adds the element's own reference
    Append(value);
}

SAFEARRAY* CVariantList::Detach() {
    Unlock();
    SAFEARRAY* array = m_psa;
    m_psa = nullptr;
    m_ulCount = 0;
    return array;
}

}  // namespace trn
