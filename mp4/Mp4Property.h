// Base classes of the metadata properties: string-valued and binary.
#pragma once

#include "base/PortableTypes.h"
#include "mp4/Mp4PropertyBytes.h"

#include <string>
#include <vector>

typedef std::vector<std::vector<BYTE>> Mp4BoxList;

class CMp4PropertyString {
public:
    CMp4PropertyString() = default;
    virtual ~CMp4PropertyString();

    // Copies the values; E_UNEXPECTED when there are none.
    virtual HRESULT GetValues(DWORD dwPropertyId, std::vector<std::wstring>& values) const;
    // A single-valued ID takes at most one value and replaces the old ones; a
    // multi-valued ID appends. The ID is stored.
    virtual HRESULT SetValues(DWORD dwPropertyId, const std::vector<std::wstring>& values);
    virtual HRESULT ReadFromBox(DWORD dwPropertyId, const Mp4BoxRef& box);
    virtual HRESULT WriteToBoxes(Mp4BoxList& boxes) const;

    DWORD GetPropertyId() const { return m_dwPropertyId; }
    void SetPropertyId(DWORD dwPropertyId) { m_dwPropertyId = dwPropertyId; }

protected:
    std::vector<std::wstring> m_vecValues;
    DWORD m_dwPropertyId = 0;
};

class CMp4PropertyBinary {
public:
    CMp4PropertyBinary() = default;
    virtual ~CMp4PropertyBinary();

    virtual HRESULT ReadFromBox(const Mp4BoxRef& box);
    virtual HRESULT WriteToBoxes(Mp4BoxList& boxes) const;
};

// Checks a stored box and gives a cursor over its payload of size - 8 bytes.
HRESULT Mp4OpenBoxPayload(const Mp4BoxRef& box, CMp4ByteCursor& cursor);
