#include "mp4/Mp4Property.h"

#include "mp4/Mp4PropertyTable.h"

CMp4PropertyString::~CMp4PropertyString() = default;

HRESULT CMp4PropertyString::GetValues(DWORD, std::vector<std::wstring>& values) const {
    if (m_vecValues.empty()) return E_UNEXPECTED;
    values = m_vecValues;
    return S_OK;
}

HRESULT CMp4PropertyString::SetValues(DWORD dwPropertyId, const std::vector<std::wstring>& values) {
    const Mp4PropertyRow* pRow = Mp4FindPropertyById(dwPropertyId);
    if (pRow == nullptr) return E_INVALIDARG;
    if (pRow->bMultiValued) {
        m_vecValues.insert(m_vecValues.end(), values.begin(), values.end());
    } else {
        if (values.size() > 1) return E_INVALIDARG;
        m_vecValues = values;
    }
    m_dwPropertyId = dwPropertyId;
    return S_OK;
}

HRESULT CMp4PropertyString::ReadFromBox(DWORD, const Mp4BoxRef&) { return E_NOTIMPL; }

HRESULT CMp4PropertyString::WriteToBoxes(Mp4BoxList&) const { return E_NOTIMPL; }

CMp4PropertyBinary::~CMp4PropertyBinary() = default;

HRESULT CMp4PropertyBinary::ReadFromBox(const Mp4BoxRef&) { return E_NOTIMPL; }

HRESULT CMp4PropertyBinary::WriteToBoxes(Mp4BoxList&) const { return E_NOTIMPL; }

HRESULT Mp4OpenBoxPayload(const Mp4BoxRef& box, CMp4ByteCursor& cursor) {
    if (box.dwSize < 8) return E_INVALIDARG;
    size_t cbPayload = box.dwSize - 8;
    if (cbPayload > 0 && box.pbPayload == nullptr) return E_POINTER;
    if (box.cbPayload < cbPayload) return E_INVALIDARG;
    cursor = CMp4ByteCursor(box.pbPayload, cbPayload);
    return S_OK;
}
