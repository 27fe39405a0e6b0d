#include "standins/filterbase/MediaType.h"

#include <cstring>

namespace {

// Deep copy of src into dst, whose old contents are not looked at. On
// failure dst holds no format block and no reference.
HRESULT CopyMediaType(const AM_MEDIA_TYPE& src, AM_MEDIA_TYPE* dst) {
    *dst = src;
    dst->pbFormat = nullptr;
    dst->cbFormat = 0;
    if (src.cbFormat && src.pbFormat) {
        dst->pbFormat = static_cast<BYTE*>(::CoTaskMemAlloc(src.cbFormat));
        if (!dst->pbFormat) {
            dst->pUnk = nullptr;
            return E_OUTOFMEMORY;
        }
        std::memcpy(dst->pbFormat, src.pbFormat, src.cbFormat);
        dst->cbFormat = src.cbFormat;
    }
    if (dst->pUnk) dst->pUnk->AddRef();
    return S_OK;
}

}  // namespace

void FreeMediaTypeContents(AM_MEDIA_TYPE& mt) noexcept {
    if (mt.pbFormat) ::CoTaskMemFree(mt.pbFormat);
    mt.pbFormat = nullptr;
    mt.cbFormat = 0;
    if (mt.pUnk) mt.pUnk->Release();
    mt.pUnk = nullptr;
}

void DeleteTaskMemMediaType(AM_MEDIA_TYPE* mt) noexcept {
    if (!mt) return;
    FreeMediaTypeContents(*mt);
    ::CoTaskMemFree(mt);
}

CMediaType::CMediaType() noexcept { std::memset(&m_mt, 0, sizeof m_mt); }

CMediaType::CMediaType(const AM_MEDIA_TYPE& mt) : CMediaType() { Set(mt); }

CMediaType::CMediaType(const CMediaType& other) : CMediaType() { Set(other.m_mt); }

CMediaType::CMediaType(CMediaType&& other) noexcept : m_mt(other.m_mt) {
    std::memset(&other.m_mt, 0, sizeof other.m_mt);
}

CMediaType& CMediaType::operator=(const CMediaType& other) {
    if (this != &other) Set(other.m_mt);
    return *this;
}

CMediaType& CMediaType::operator=(CMediaType&& other) noexcept {
    if (this != &other) {
        Clear();
        m_mt = other.m_mt;
        std::memset(&other.m_mt, 0, sizeof other.m_mt);
    }
    return *this;
}

CMediaType::~CMediaType() { Clear(); }

void CMediaType::Clear() noexcept {
    FreeMediaTypeContents(m_mt);
    std::memset(&m_mt, 0, sizeof m_mt);
}

HRESULT CMediaType::Set(const AM_MEDIA_TYPE& mt) {
    if (&mt == &m_mt) return S_OK;
    AM_MEDIA_TYPE copy;
    const HRESULT hr = CopyMediaType(mt, &copy);
    Clear();
    if (SUCCEEDED(hr)) m_mt = copy;
    return hr;
}

HRESULT CMediaType::SetFormat(const GUID& formatType, const void* data, ULONG size) {
    BYTE* block = nullptr;
    if (size) {
        block = static_cast<BYTE*>(::CoTaskMemAlloc(size));
        if (!block) return E_OUTOFMEMORY;
        std::memcpy(block, data, size);
    }
    if (m_mt.pbFormat) ::CoTaskMemFree(m_mt.pbFormat);
    m_mt.pbFormat = block;
    m_mt.cbFormat = size;
    m_mt.formattype = formatType;
    return S_OK;
}

HRESULT CMediaType::CopyTo(AM_MEDIA_TYPE* out) const {
    if (!out) return E_POINTER;
    return CopyMediaType(m_mt, out);
}

AM_MEDIA_TYPE* CMediaType::CreateTaskMemCopy() const {
    auto* out = static_cast<AM_MEDIA_TYPE*>(::CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (!out) return nullptr;
    if (FAILED(CopyMediaType(m_mt, out))) {
        ::CoTaskMemFree(out);
        return nullptr;
    }
    return out;
}

bool CMediaType::IsEqual(const AM_MEDIA_TYPE& other) const noexcept {
    return IsEqualGUID(m_mt.majortype, other.majortype) && IsEqualGUID(m_mt.subtype, other.subtype) &&
           IsEqualGUID(m_mt.formattype, other.formattype) && m_mt.cbFormat == other.cbFormat &&
           (m_mt.cbFormat == 0 || std::memcmp(m_mt.pbFormat, other.pbFormat, m_mt.cbFormat) == 0);
}

bool CMediaType::IsFullySpecified() const noexcept {
    return !IsEqualGUID(m_mt.majortype, GUID_NULL) && !IsEqualGUID(m_mt.subtype, GUID_NULL) &&
           !IsEqualGUID(m_mt.formattype, GUID_NULL);
}

bool CMediaType::MatchesPartial(const AM_MEDIA_TYPE& pattern) const noexcept {
    if (!IsEqualGUID(pattern.majortype, GUID_NULL) && !IsEqualGUID(pattern.majortype, m_mt.majortype)) return false;
    if (!IsEqualGUID(pattern.subtype, GUID_NULL) && !IsEqualGUID(pattern.subtype, m_mt.subtype)) return false;
    if (!IsEqualGUID(pattern.formattype, GUID_NULL)) {
        if (!IsEqualGUID(pattern.formattype, m_mt.formattype)) return false;
        if (pattern.cbFormat &&
            (pattern.cbFormat != m_mt.cbFormat || std::memcmp(pattern.pbFormat, m_mt.pbFormat, m_mt.cbFormat) != 0))
            return false;
    }
    return true;
}

const WAVEFORMATEX* CMediaType::WaveFormat() const noexcept {
    if (!IsEqualGUID(m_mt.formattype, FORMAT_WaveFormatEx) || !m_mt.pbFormat ||
        m_mt.cbFormat < sizeof(WAVEFORMAT) + sizeof(WORD))
        return nullptr;
    return reinterpret_cast<const WAVEFORMATEX*>(m_mt.pbFormat);
}
