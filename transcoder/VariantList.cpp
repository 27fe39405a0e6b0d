#include "transcoder/VariantList.h"

namespace trn {

CVariantList::CVariantList() {
    // Not a vector: Wine frees a vector's data with its descriptor only, so
    // the block a SafeArrayRedim grew it into would leak.
    SAFEARRAYBOUND bound = {0, 0};
    m_array = ::SafeArrayCreate(VT_VARIANT, 1, &bound);
    if (m_array == nullptr) throw CAtlException(E_OUTOFMEMORY);
    try {
        Lock();
    } catch (...) {
        ::SafeArrayDestroy(m_array);
        throw;
    }
}

CVariantList::~CVariantList() {
    if (m_array == nullptr) return;
    Unlock();
    ::SafeArrayDestroy(m_array);
}

void CVariantList::Lock() {
    CheckArray(::SafeArrayLock(m_array));
    m_locked = true;
}

void CVariantList::Unlock() noexcept {
    if (m_locked) ::SafeArrayUnlock(m_array);
    m_locked = false;
}

const VARIANT& CVariantList::At(ULONG index) const {
    if (index >= m_count || !m_locked) throw CAtlException(DISP_E_BADINDEX);
    return static_cast<const VARIANT*>(m_array->pvData)[index];
}

void CVariantList::Append(const VARIANT& value) {
    // A locked array cannot change its size.
    Unlock();
    SAFEARRAYBOUND bound = {m_count + 1, 0};
    const HRESULT hr = ::SafeArrayRedim(m_array, &bound);
    Lock();
    CheckArray(hr);
    ++m_count;
    VARIANT& slot = static_cast<VARIANT*>(m_array->pvData)[m_count - 1];
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
    SAFEARRAY* array = m_array;
    m_array = nullptr;
    m_count = 0;
    return array;
}

}  // namespace trn
