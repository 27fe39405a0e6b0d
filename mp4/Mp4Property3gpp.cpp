#include "mp4/Mp4Property3gpp.h"

#include "mp4/Mp4PropertyTable.h"
#include "mp4/Mp4PropertyText.h"

namespace {

// Low 8 bits of the leading decimal integer of a text, like _wtoi: no digits
// give 0. Kept in unsigned arithmetic so that no value can overflow.
BYTE LowByteOfDecimal(const std::wstring& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == L' ' || text[i] == L'\t')) ++i;
    bool bNegative = false;
    if (i < text.size() && (text[i] == L'-' || text[i] == L'+')) bNegative = text[i++] == L'-';
    unsigned value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) value = value * 10u + (unsigned)(text[i] - L'0');
    return (BYTE)(bNegative ? 0u - value : value);
}

std::wstring DecimalText(unsigned value) {
    std::wstring text;
    do {
        text.insert(text.begin(), (wchar_t)(L'0' + value % 10));
        value /= 10;
    } while (value != 0);
    return text;
}

}  // namespace

// ---- CMp4PropertyString3gpp ----

CMp4PropertyString3gpp::~CMp4PropertyString3gpp() = default;

HRESULT CMp4PropertyString3gpp::ReadFromBox(DWORD dwPropertyId, const Mp4BoxRef& box) {
    m_vecValues.clear();
    m_bVersion = 0;
    m_dwFlags = 0;
    SetLanguage("```");
    ResetFields();

    CMp4ByteCursor cursor(nullptr, 0);
    HRESULT hr = Mp4OpenBoxPayload(box, cursor);
    if (SUCCEEDED(hr)) hr = ReadFullBoxHeader(cursor);
    if (SUCCEEDED(hr)) hr = ReadPayload(cursor);
    if (FAILED(hr)) {
        m_vecValues.clear();
        m_bVersion = 0;
        m_dwFlags = 0;
        SetLanguage("```");
        ResetFields();
        return hr;
    }
    m_dwPropertyId = dwPropertyId;
    return S_OK;
}

HRESULT CMp4PropertyString3gpp::WriteToBoxes(Mp4BoxList& boxes) const {
    boxes.clear();
    const Mp4PropertyRow* pRow = Mp4FindPropertyById(m_dwPropertyId);
    if (pRow == nullptr) return E_INVALIDARG;
    std::vector<BYTE> payload;
    Mp4AppendU8(payload, m_bVersion);
    Mp4AppendU8(payload, (BYTE)(m_dwFlags >> 16));
    Mp4AppendU16(payload, (WORD)m_dwFlags);
    HRESULT hr = WritePayload(payload);
    if (FAILED(hr)) return hr;
    boxes.push_back(Mp4MakeBox(pRow->dwBoxId, payload));
    return S_OK;
}

void CMp4PropertyString3gpp::SetLanguage(const char* pszLetters, BYTE bPad) {
    for (int i = 0; i < 3; ++i) m_szLanguage[i] = (char)(((BYTE)pszLetters[i] & 0x1F) | 0x60);
    m_bPad = bPad ? 1 : 0;
}

WORD CMp4PropertyString3gpp::PackLanguage() const {
    return (WORD)(m_bPad * 0x8000 + (((BYTE)m_szLanguage[0] - 0x60) & 0x1F) * 0x400 +
                  (((BYTE)m_szLanguage[1] - 0x60) & 0x1F) * 0x20 + (((BYTE)m_szLanguage[2] - 0x60) & 0x1F));
}

HRESULT CMp4PropertyString3gpp::ReadFullBoxHeader(CMp4ByteCursor& cursor) {
    // Every 3GPP box has a body after version and flags.
    if (cursor.Remaining() <= 4) return E_INVALIDARG;
    BYTE ab[4];
    cursor.ReadBytes(ab, 4);
    m_bVersion = ab[0];
    m_dwFlags = (DWORD)ab[1] << 16 | (DWORD)ab[2] << 8 | ab[3];
    return S_OK;
}

HRESULT CMp4PropertyString3gpp::ReadLanguage(CMp4ByteCursor& cursor) {
    WORD wCode;
    if (!cursor.ReadU16(wCode)) return E_INVALIDARG;
    m_bPad = (BYTE)(wCode >> 15);
    m_szLanguage[0] = (char)((wCode >> 10 & 0x1F) | 0x60);
    m_szLanguage[1] = (char)((wCode >> 5 & 0x1F) | 0x60);
    m_szLanguage[2] = (char)((wCode & 0x1F) | 0x60);
    return cursor.Remaining() == 0 ? S_FALSE : S_OK;
}

HRESULT CMp4PropertyString3gpp::ReadText(CMp4ByteCursor& cursor, std::wstring& text) {
    BYTE state = MP4_TEXT_UNKNOWN;  // every 3GPP text decides its own encoding
    HRESULT hr = Mp4ReadText(cursor, state, text);
    if (FAILED(hr)) return hr;
    return cursor.Remaining() == 0 ? S_FALSE : S_OK;
}

HRESULT CMp4PropertyString3gpp::ReadRaw4(CMp4ByteCursor& cursor, BYTE (&ab)[4]) {
    if (!cursor.ReadBytes(ab, 4)) return E_INVALIDARG;
    return cursor.Remaining() == 0 ? S_FALSE : S_OK;
}

HRESULT CMp4PropertyString3gpp::ReadPayload(CMp4ByteCursor& cursor) {
    std::wstring text;
    HRESULT hr = ReadLanguage(cursor);
    if (SUCCEEDED(hr)) hr = ReadText(cursor, text);
    if (SUCCEEDED(hr)) m_vecValues.push_back(text);
    return hr;
}

HRESULT CMp4PropertyString3gpp::WritePayload(std::vector<BYTE>& payload) const {
    std::wstring text;
    HRESULT hr = FirstValue(text);
    if (SUCCEEDED(hr)) WriteLanguageAndText(payload, text);
    return hr;
}

void CMp4PropertyString3gpp::ResetFields() {}

void CMp4PropertyString3gpp::WriteLanguageAndText(std::vector<BYTE>& payload, const std::wstring& text) const {
    Mp4AppendU16(payload, PackLanguage());
    Mp4WriteText(payload, text, MP4_WRITE_UTF16BE, true);
}

HRESULT CMp4PropertyString3gpp::FirstValue(std::wstring& text) const {
    if (m_vecValues.empty()) return E_UNEXPECTED;
    text = m_vecValues.front();
    return S_OK;
}

// ---- CMp4PropertyRating3gpp ----

CMp4PropertyRating3gpp::~CMp4PropertyRating3gpp() = default;

HRESULT CMp4PropertyRating3gpp::ReadPayload(CMp4ByteCursor& cursor) {
    HRESULT hr = ReadRaw4(cursor, m_abEntity);
    if (SUCCEEDED(hr)) hr = ReadRaw4(cursor, m_abCriteria);
    if (SUCCEEDED(hr)) hr = CMp4PropertyString3gpp::ReadPayload(cursor);
    return hr;
}

HRESULT CMp4PropertyRating3gpp::WritePayload(std::vector<BYTE>& payload) const {
    std::wstring text;
    HRESULT hr = FirstValue(text);
    if (FAILED(hr)) return hr;
    Mp4AppendBytes(payload, m_abEntity, 4);
    Mp4AppendBytes(payload, m_abCriteria, 4);
    WriteLanguageAndText(payload, text);
    return S_OK;
}

void CMp4PropertyRating3gpp::ResetFields() {
    for (int i = 0; i < 4; ++i) m_abEntity[i] = m_abCriteria[i] = 0;
}

// ---- CMp4PropertyClassification3gpp ----

CMp4PropertyClassification3gpp::~CMp4PropertyClassification3gpp() = default;

HRESULT CMp4PropertyClassification3gpp::ReadPayload(CMp4ByteCursor& cursor) {
    HRESULT hr = ReadRaw4(cursor, m_abEntity);
    if (SUCCEEDED(hr) && !cursor.ReadU16(m_wTable)) hr = E_INVALIDARG;
    if (SUCCEEDED(hr)) hr = CMp4PropertyString3gpp::ReadPayload(cursor);
    return hr;
}

HRESULT CMp4PropertyClassification3gpp::WritePayload(std::vector<BYTE>& payload) const {
    std::wstring text;
    HRESULT hr = FirstValue(text);
    if (FAILED(hr)) return hr;
    Mp4AppendBytes(payload, m_abEntity, 4);
    Mp4AppendU16(payload, m_wTable);
    WriteLanguageAndText(payload, text);
    return S_OK;
}

void CMp4PropertyClassification3gpp::ResetFields() {
    for (int i = 0; i < 4; ++i) m_abEntity[i] = 0;
    m_wTable = 0;
}

// ---- CMp4PropertyKeywords3gpp ----

CMp4PropertyKeywords3gpp::~CMp4PropertyKeywords3gpp() = default;

HRESULT CMp4PropertyKeywords3gpp::ReadPayload(CMp4ByteCursor& cursor) {
    HRESULT hr = ReadLanguage(cursor);
    if (FAILED(hr)) return hr;
    BYTE cKeywords;
    if (!cursor.ReadU8(cKeywords)) return E_INVALIDARG;
    for (BYTE i = 0; i < cKeywords; ++i) {
        BYTE cbKeyword;
        if (!cursor.ReadU8(cbKeyword) || cbKeyword > cursor.Remaining()) return E_INVALIDARG;
        // Each keyword must end inside its own declared size.
        CMp4ByteCursor keyword(cursor.Current(), cbKeyword);
        std::wstring text;
        hr = ReadText(keyword, text);
        if (FAILED(hr)) return hr;
        m_vecValues.push_back(text);
        cursor.Skip(cbKeyword);
    }
    return S_OK;
}

HRESULT CMp4PropertyKeywords3gpp::WritePayload(std::vector<BYTE>& payload) const {
    if (m_vecValues.size() > 0xFF) return E_INVALIDARG;
    Mp4AppendU16(payload, PackLanguage());
    Mp4AppendU8(payload, (BYTE)m_vecValues.size());
    for (const std::wstring& value : m_vecValues) {
        std::vector<BYTE> text;
        Mp4WriteText(text, value, MP4_WRITE_UTF16BE, true);
        if (text.size() > 0xFF) return E_INVALIDARG;
        Mp4AppendU8(payload, (BYTE)text.size());
        Mp4AppendBytes(payload, text.data(), text.size());
    }
    return S_OK;
}

// ---- CMp4PropertyLocationInfo3gpp ----

CMp4PropertyLocationInfo3gpp::~CMp4PropertyLocationInfo3gpp() = default;

HRESULT CMp4PropertyLocationInfo3gpp::ReadPayload(CMp4ByteCursor& cursor) {
    std::wstring name;
    HRESULT hr = ReadLanguage(cursor);
    if (SUCCEEDED(hr)) hr = ReadText(cursor, name);
    if (FAILED(hr)) return hr;
    if (!cursor.ReadU8(m_bRole) || !cursor.ReadU32(m_dwLongitude) || !cursor.ReadU32(m_dwLatitude) ||
        !cursor.ReadU32(m_dwAltitude))
        return E_INVALIDARG;
    hr = ReadText(cursor, m_strAstronomicalBody);
    if (SUCCEEDED(hr)) hr = ReadText(cursor, m_strAdditionalNotes);
    if (SUCCEEDED(hr)) m_vecValues.push_back(name);
    return hr;
}

HRESULT CMp4PropertyLocationInfo3gpp::WritePayload(std::vector<BYTE>& payload) const {
    std::wstring name;
    HRESULT hr = FirstValue(name);
    if (FAILED(hr)) return hr;
    WriteLanguageAndText(payload, name);
    Mp4AppendU8(payload, m_bRole);
    Mp4AppendU32(payload, m_dwLongitude);
    Mp4AppendU32(payload, m_dwLatitude);
    Mp4AppendU32(payload, m_dwAltitude);
    Mp4WriteText(payload, m_strAstronomicalBody, MP4_WRITE_UTF16BE, true);
    Mp4WriteText(payload, m_strAdditionalNotes, MP4_WRITE_UTF16BE, true);
    return S_OK;
}

void CMp4PropertyLocationInfo3gpp::ResetFields() {
    m_bRole = 0;
    m_dwLongitude = m_dwLatitude = m_dwAltitude = 0;
    m_strAstronomicalBody.clear();
    m_strAdditionalNotes.clear();
}

// ---- CMp4PropertyAlbumTitle3gpp ----

CMp4PropertyAlbumTitle3gpp::~CMp4PropertyAlbumTitle3gpp() = default;

HRESULT CMp4PropertyAlbumTitle3gpp::GetValues(DWORD dwPropertyId, std::vector<std::wstring>& values) const {
    if (dwPropertyId == MP4_PROP_ALBUM_TRACK) {
        values.assign(1, DecimalText(m_bTrackNumber));
        return S_OK;
    }
    return CMp4PropertyString3gpp::GetValues(dwPropertyId, values);
}

HRESULT CMp4PropertyAlbumTitle3gpp::SetValues(DWORD dwPropertyId, const std::vector<std::wstring>& values) {
    if (dwPropertyId == MP4_PROP_ALBUM_TITLE) return CMp4PropertyString3gpp::SetValues(dwPropertyId, values);
    if (dwPropertyId != MP4_PROP_ALBUM_TRACK || values.size() > 1) return E_INVALIDARG;
    m_bTrackNumber = values.empty() ? 0 : LowByteOfDecimal(values.front());
    m_dwPropertyId = dwPropertyId;
    return S_OK;
}

HRESULT CMp4PropertyAlbumTitle3gpp::ReadPayload(CMp4ByteCursor& cursor) {
    HRESULT hr = CMp4PropertyString3gpp::ReadPayload(cursor);
    if (SUCCEEDED(hr) && cursor.Remaining() > 0) cursor.ReadU8(m_bTrackNumber);
    return hr;
}

HRESULT CMp4PropertyAlbumTitle3gpp::WritePayload(std::vector<BYTE>& payload) const {
    HRESULT hr = CMp4PropertyString3gpp::WritePayload(payload);
    if (SUCCEEDED(hr) && m_bTrackNumber != 0) Mp4AppendU8(payload, m_bTrackNumber);
    return hr;
}

void CMp4PropertyAlbumTitle3gpp::ResetFields() { m_bTrackNumber = 0; }

// ---- CMp4PropertyRecordingYear3gpp ----

CMp4PropertyRecordingYear3gpp::~CMp4PropertyRecordingYear3gpp() = default;

HRESULT CMp4PropertyRecordingYear3gpp::ReadPayload(CMp4ByteCursor& cursor) {
    WORD wYear;
    if (!cursor.ReadU16(wYear)) return E_INVALIDARG;
    m_vecValues.push_back(wYear == 0 ? std::wstring() : DecimalText(wYear));
    return S_OK;
}

HRESULT CMp4PropertyRecordingYear3gpp::WritePayload(std::vector<BYTE>& payload) const {
    std::wstring text;
    HRESULT hr = FirstValue(text);
    if (FAILED(hr)) return hr;
    unsigned long year = 0;
    for (wchar_t ch : text) {
        if (ch < L'0' || ch > L'9') return E_INVALIDARG;
        year = year * 10 + (unsigned long)(ch - L'0');
        if (year > 0xFFFF) return E_INVALIDARG;
    }
    Mp4AppendU16(payload, (WORD)year);
    return S_OK;
}
