// Owner of one AM_MEDIA_TYPE: the format block and the optional IUnknown go
// with it, so no caller frees a media type by hand.
#pragma once

#include "standins/filterbase/DShow.h"

class CMediaType {
public:
    CMediaType() noexcept;
    explicit CMediaType(const AM_MEDIA_TYPE& mt);
    CMediaType(const CMediaType& other);
    CMediaType(CMediaType&& other) noexcept;
    CMediaType& operator=(const CMediaType& other);
    CMediaType& operator=(CMediaType&& other) noexcept;
    ~CMediaType();

    const AM_MEDIA_TYPE& Get() const noexcept { return m_mt; }
    AM_MEDIA_TYPE& Get() noexcept { return m_mt; }

    // Replaces the held type with a deep copy; E_OUTOFMEMORY leaves it empty.
    HRESULT Set(const AM_MEDIA_TYPE& mt);
    void Clear() noexcept;
    // Replaces the format block with a copy of size bytes at data.
    HRESULT SetFormat(const GUID& formatType, const void* data, ULONG size);

    // Deep copy into a caller's structure whose old contents are not freed.
    HRESULT CopyTo(AM_MEDIA_TYPE* out) const;
    // A CoTaskMemAlloc'ed copy, as IEnumMediaTypes::Next hands them out.
    AM_MEDIA_TYPE* CreateTaskMemCopy() const;

    bool IsEqual(const AM_MEDIA_TYPE& other) const noexcept;
    // Major type, subtype and format type all given.
    bool IsFullySpecified() const noexcept;
    // Every member that pattern gives (non-null GUID) matches this type.
    bool MatchesPartial(const AM_MEDIA_TYPE& pattern) const noexcept;

    // The format block as a WAVEFORMATEX, or null when it is not one. Only
    // the PCMWAVEFORMAT fields are sure to be there: cbSize may be missing.
    const WAVEFORMATEX* WaveFormat() const noexcept;

private:
    AM_MEDIA_TYPE m_mt;
};

// Frees what an AM_MEDIA_TYPE points to, and the structure itself when it
// came from CoTaskMemAlloc.
void FreeMediaTypeContents(AM_MEDIA_TYPE& mt) noexcept;
void DeleteTaskMemMediaType(AM_MEDIA_TYPE* mt) noexcept;
