#include "mp4/Mp4PropertyId3v2.h"

#include "mp4/Mp4PropertyTable.h"
#include "mp4/Mp4PropertyText.h"

#include <cstring>

const BYTE kMp4Id3v2FrameUuid[16] = {0xA0, 0x5B, 0x10, 0xE2, 0x4E, 0xA6, 0x47, 0x19,
                                     0x9D, 0x69, 0x08, 0x61, 0xE6, 0x10, 0xFF, 0x2D};

namespace {

const DWORD kFrameTxxx = MP4_FOURCC('T', 'X', 'X', 'X');
const DWORD kFrameWxxx = MP4_FOURCC('W', 'X', 'X', 'X');
const DWORD kFrameUslt = MP4_FOURCC('U', 'S', 'L', 'T');
const DWORD kFrameTcom = MP4_FOURCC('T', 'C', 'O', 'M');
const DWORD kFrameGeob = MP4_FOURCC('G', 'E', 'O', 'B');
const DWORD kFrameApic = MP4_FOURCC('A', 'P', 'I', 'C');
const DWORD kFrameUfid = MP4_FOURCC('U', 'F', 'I', 'D');
const DWORD kBoxUuid = MP4_FOURCC('u', 'u', 'i', 'd');
const size_t kMaxUfidIdentifier = 64;

bool IsTextFrame(DWORD dwFrameId) { return (dwFrameId >> 24) == 'T'; }
bool IsUrlFrame(DWORD dwFrameId) { return (dwFrameId >> 24) == 'W'; }

std::vector<std::wstring> SplitAtSlash(const std::wstring& text) {
    std::vector<std::wstring> parts;
    size_t start = 0;
    for (;;) {
        size_t slash = text.find(L'/', start);
        parts.push_back(text.substr(start, slash == std::wstring::npos ? std::wstring::npos : slash - start));
        if (slash == std::wstring::npos) return parts;
        start = slash + 1;
    }
}

}  // namespace

// ---- CMp4PropertyId3v2 ----

CMp4PropertyId3v2::~CMp4PropertyId3v2() = default;

HRESULT CMp4PropertyId3v2::ReadFrameBox(const Mp4BoxRef& box, CMp4ByteCursor& cursor) {
    Clear();
    if (box.dwSize == 0) return E_INVALIDARG;
    if (box.pbPayload == nullptr) return E_POINTER;
    HRESULT hr = Mp4OpenBoxPayload(box, cursor);
    if (SUCCEEDED(hr)) hr = ReadExtendedType(cursor);
    if (SUCCEEDED(hr)) hr = ReadFrameId(cursor);
    return hr;
}

void CMp4PropertyId3v2::Clear() {
    std::memset(m_abExtendedType, 0, sizeof(m_abExtendedType));
    m_dwFrameId = 0;
    SetFrameFlags(0);
    m_bTextEncoding = 1;
    m_bTextState = MP4_TEXT_UNKNOWN;
    m_strDescription.clear();
    m_bPictureType = 0;
    std::memset(m_szLanguage, 0, sizeof(m_szLanguage));
}

WORD CMp4PropertyId3v2::PackFrameFlags() const {
    BYTE bStatus =
        (BYTE)((m_bTagAlterPreservation ? 0x80 : 0) | (m_bFileAlterPreservation ? 0x40 : 0) | (m_bReadOnly ? 0x20 : 0));
    BYTE bFormat = (BYTE)((m_bCompression ? 0x80 : 0) | (m_bEncryption ? 0x40 : 0) | (m_bGroupingIdentity ? 0x20 : 0));
    return (WORD)(bStatus << 8 | bFormat);
}

void CMp4PropertyId3v2::SetFrameFlags(WORD wFlags) {
    m_bTagAlterPreservation = (wFlags & 0x8000) != 0;
    m_bFileAlterPreservation = (wFlags & 0x4000) != 0;
    m_bReadOnly = (wFlags & 0x2000) != 0;
    m_bCompression = (wFlags & 0x0080) != 0;
    m_bEncryption = (wFlags & 0x0040) != 0;
    m_bGroupingIdentity = (wFlags & 0x0020) != 0;
}

HRESULT CMp4PropertyId3v2::ReadExtendedType(CMp4ByteCursor& cursor) {
    if (!cursor.ReadBytes(m_abExtendedType, sizeof(m_abExtendedType))) return E_INVALIDARG;
    // A uuid box of another extended type holds no frame.
    return std::memcmp(m_abExtendedType, kMp4Id3v2FrameUuid, 16) == 0 ? S_OK : E_INVALIDARG;
}

HRESULT CMp4PropertyId3v2::ReadFrameId(CMp4ByteCursor& cursor) {
    return cursor.ReadU32(m_dwFrameId) ? S_OK : E_INVALIDARG;
}

HRESULT CMp4PropertyId3v2::ReadFrameFlags(CMp4ByteCursor& cursor) {
    WORD wFlags;
    if (!cursor.ReadU16(wFlags)) return E_INVALIDARG;
    SetFrameFlags(wFlags);
    return S_OK;
}

HRESULT CMp4PropertyId3v2::ReadTextEncoding(CMp4ByteCursor& cursor) {
    BYTE bEncoding;
    if (!cursor.ReadU8(bEncoding)) return E_INVALIDARG;
    if (!CheckEncoding(bEncoding)) return E_UNEXPECTED;
    m_bTextEncoding = bEncoding == 2 ? 255 : bEncoding;
    m_bTextState = bEncoding == 0 ? MP4_TEXT_UTF8 : bEncoding == 1 ? MP4_TEXT_UTF16BE : MP4_TEXT_UNKNOWN;
    return S_OK;
}

bool CMp4PropertyId3v2::CheckEncoding(BYTE bEncoding) { return bEncoding <= 2; }

HRESULT CMp4PropertyId3v2::ReadFrameText(CMp4ByteCursor& cursor, std::wstring& text) {
    return Mp4ReadText(cursor, m_bTextState, text);
}

HRESULT CMp4PropertyId3v2::ReadSingleByteText(CMp4ByteCursor& cursor, std::wstring& text) {
    BYTE state = MP4_TEXT_UTF8;
    return Mp4ReadText(cursor, state, text);
}

std::vector<BYTE> CMp4PropertyId3v2::MakeFrameBox(const std::vector<BYTE>& body) const {
    std::vector<BYTE> payload(kMp4Id3v2FrameUuid, kMp4Id3v2FrameUuid + 16);
    Mp4AppendU32(payload, m_dwFrameId);
    Mp4AppendU16(payload, PackFrameFlags());
    payload.insert(payload.end(), body.begin(), body.end());
    return Mp4MakeBox(kBoxUuid, payload);
}

void CMp4PropertyId3v2::WriteFrameText(std::vector<BYTE>& body, const std::wstring& text, BYTE bEncoding) {
    if (bEncoding == 1)
        Mp4WriteText(body, text, MP4_WRITE_UTF16BE, true);
    else
        Mp4WriteText(body, text, MP4_WRITE_UTF8, false);
}

// ---- CMp4PropertyStringId3v2 ----

CMp4PropertyStringId3v2::~CMp4PropertyStringId3v2() = default;

HRESULT CMp4PropertyStringId3v2::ReadFromBox(DWORD dwPropertyId, const Mp4BoxRef& box) {
    m_vecValues.clear();
    CMp4ByteCursor cursor(nullptr, 0);
    HRESULT hr = ReadFrameBox(box, cursor);
    if (SUCCEEDED(hr)) hr = ReadFrameFlags(cursor);
    if (SUCCEEDED(hr)) hr = ReadBody(cursor);
    if (FAILED(hr)) {
        m_vecValues.clear();
        Clear();
        return hr;
    }
    m_dwPropertyId = dwPropertyId;
    return S_OK;
}

HRESULT CMp4PropertyStringId3v2::ReadBody(CMp4ByteCursor& cursor) {
    std::wstring value;
    HRESULT hr;
    if (m_dwFrameId == kFrameUfid ||
        !(IsTextFrame(m_dwFrameId) || IsUrlFrame(m_dwFrameId) || m_dwFrameId == kFrameUslt))
        return E_INVALIDARG;
    if (IsUrlFrame(m_dwFrameId) && m_dwFrameId != kFrameWxxx) {
        // Plain URL frames carry no encoding byte.
        hr = ReadSingleByteText(cursor, value);
        if (SUCCEEDED(hr)) m_vecValues.push_back(value);
        return hr;
    }

    hr = ReadTextEncoding(cursor);
    if (FAILED(hr)) return hr;
    if (m_dwFrameId == kFrameTxxx) {
        hr = ReadFrameText(cursor, m_strDescription);
        if (SUCCEEDED(hr) && m_strDescription.empty()) hr = E_UNEXPECTED;
        if (SUCCEEDED(hr)) hr = ReadFrameText(cursor, value);
    } else if (m_dwFrameId == kFrameWxxx) {
        hr = ReadFrameText(cursor, m_strDescription);
        if (SUCCEEDED(hr)) hr = ReadSingleByteText(cursor, value);  // URLs are single-byte text
    } else if (m_dwFrameId == kFrameUslt) {
        if (!cursor.ReadBytes(reinterpret_cast<BYTE*>(m_szLanguage), 3)) return E_INVALIDARG;
        hr = ReadFrameText(cursor, m_strDescription);
        if (SUCCEEDED(hr)) hr = ReadFrameText(cursor, value);
    } else {
        hr = ReadFrameText(cursor, value);
        if (SUCCEEDED(hr) && m_dwFrameId == kFrameTcom) {
            m_vecValues = SplitAtSlash(value);
            return S_OK;
        }
    }
    if (SUCCEEDED(hr)) m_vecValues.push_back(value);
    return hr;
}

HRESULT CMp4PropertyStringId3v2::WriteToBoxes(Mp4BoxList& boxes) const {
    boxes.clear();
    const Mp4PropertyRow* pRow = Mp4FindPropertyById(m_dwPropertyId);
    if (pRow == nullptr || pRow->dwKind != MP4_KIND_STRING_ID3V2) return E_INVALIDARG;
    if (m_vecValues.empty()) return E_UNEXPECTED;

    std::vector<std::wstring> frameValues = m_vecValues;
    if (pRow->dwBoxId == kFrameTcom) {
        std::wstring joined;
        for (size_t i = 0; i < m_vecValues.size(); ++i) joined += (i ? L"/" : L"") + m_vecValues[i];
        frameValues.assign(1, joined);
    }
    std::wstring description = m_strDescription.empty() ? std::wstring(pRow->pszDescription) : m_strDescription;
    BYTE bEncoding = pRow->bWriteEncoding;

    CMp4PropertyStringId3v2 frame(*this);
    frame.m_dwFrameId = pRow->dwBoxId;
    for (const std::wstring& value : frameValues) {
        std::vector<BYTE> body;
        if (IsUrlFrame(pRow->dwBoxId) && pRow->dwBoxId != kFrameWxxx) {
            Mp4WriteText(body, value, MP4_WRITE_UTF8, false);
            boxes.push_back(frame.MakeFrameBox(body));
            continue;
        }
        Mp4AppendU8(body, bEncoding);
        if (pRow->dwBoxId == kFrameUslt) Mp4AppendBytes(body, reinterpret_cast<const BYTE*>(m_szLanguage), 3);
        if (pRow->dwBoxId == kFrameTxxx || pRow->dwBoxId == kFrameWxxx || pRow->dwBoxId == kFrameUslt)
            WriteFrameText(body, description, bEncoding);
        if (pRow->dwBoxId == kFrameWxxx)
            Mp4WriteText(body, value, MP4_WRITE_UTF8, false);
        else
            WriteFrameText(body, value, bEncoding);
        boxes.push_back(frame.MakeFrameBox(body));
    }
    return S_OK;
}

// ---- CMp4PropertyBinaryId3v2 ----

CMp4PropertyBinaryId3v2::~CMp4PropertyBinaryId3v2() = default;

void CMp4PropertyBinaryId3v2::AddItem(const std::wstring& description, const std::vector<BYTE>& data) {
    m_vecDescriptions.push_back(description);
    m_vecDataItems.push_back(data);
}

HRESULT CMp4PropertyBinaryId3v2::ReadFromBox(const Mp4BoxRef& box) {
    CMp4ByteCursor cursor(nullptr, 0);
    std::wstring description;
    std::vector<BYTE> data;
    HRESULT hr = ReadFrameBox(box, cursor);
    if (SUCCEEDED(hr)) hr = ReadFrameFlags(cursor);
    if (SUCCEEDED(hr)) hr = ReadBody(cursor, description, data);
    if (FAILED(hr)) {
        Clear();
        return hr;
    }
    m_strDescription = description;
    AddItem(description, data);
    return S_OK;
}

HRESULT CMp4PropertyBinaryId3v2::ReadBody(CMp4ByteCursor& cursor, std::wstring& description, std::vector<BYTE>& data) {
    HRESULT hr;
    if (m_dwFrameId == kFrameUfid) {
        hr = ReadSingleByteText(cursor, description);
        if (FAILED(hr)) return hr;
        if (cursor.Remaining() > kMaxUfidIdentifier) return E_INVALIDARG;
    } else if (m_dwFrameId == kFrameGeob) {
        hr = ReadTextEncoding(cursor);
        if (SUCCEEDED(hr)) hr = ReadSingleByteText(cursor, m_strMimeType);
        if (SUCCEEDED(hr)) hr = ReadFrameText(cursor, m_strFileName);
        if (SUCCEEDED(hr)) hr = ReadFrameText(cursor, description);
        if (SUCCEEDED(hr) && description.empty()) hr = E_UNEXPECTED;
        if (FAILED(hr)) return hr;
    } else if (m_dwFrameId == kFrameApic) {
        hr = ReadTextEncoding(cursor);
        if (SUCCEEDED(hr)) hr = ReadSingleByteText(cursor, m_strMimeType);
        if (SUCCEEDED(hr) && !cursor.ReadU8(m_bPictureType)) hr = E_INVALIDARG;
        if (SUCCEEDED(hr)) hr = ReadFrameText(cursor, description);
        if (FAILED(hr)) return hr;
    } else {
        return E_INVALIDARG;
    }
    data.assign(cursor.Current(), cursor.Current() + cursor.Remaining());
    cursor.Skip(cursor.Remaining());
    return S_OK;
}

HRESULT CMp4PropertyBinaryId3v2::WriteToBoxes(Mp4BoxList& boxes) const {
    boxes.clear();
    const Mp4PropertyRow* pRow = Mp4FindPropertyById(m_dwPropertyId);
    if (pRow == nullptr || pRow->dwKind != MP4_KIND_BINARY) return E_INVALIDARG;
    if (m_vecDataItems.empty()) return E_UNEXPECTED;

    CMp4PropertyBinaryId3v2 frame(*this);
    frame.m_dwFrameId = pRow->dwBoxId;
    BYTE bEncoding = pRow->bWriteEncoding;
    std::wstring mimeType = m_strMimeType.empty() ? std::wstring(pRow->pszMimeType) : m_strMimeType;
    for (size_t i = 0; i < m_vecDataItems.size(); ++i) {
        const std::wstring& description = m_vecDescriptions[i];
        const std::vector<BYTE>& data = m_vecDataItems[i];
        std::vector<BYTE> body;
        if (pRow->dwBoxId == kFrameUfid) {
            if (data.size() > kMaxUfidIdentifier) return E_INVALIDARG;
            Mp4WriteText(body, description, MP4_WRITE_UTF8, false);
        } else {
            Mp4AppendU8(body, bEncoding);
            Mp4WriteText(body, mimeType, MP4_WRITE_UTF8, false);
            if (pRow->dwBoxId == kFrameApic) {
                Mp4AppendU8(body, m_bPictureType);
            } else {
                WriteFrameText(body, m_strFileName, bEncoding);
            }
            WriteFrameText(body, description, bEncoding);
        }
        Mp4AppendBytes(body, data.data(), data.size());
        boxes.push_back(frame.MakeFrameBox(body));
    }
    return S_OK;
}
