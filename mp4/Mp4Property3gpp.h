// 3GPP user-data string properties (titl, dscp, cprt, perf, auth, gnre) and
// the boxes with extra fields (rtng, clsf, kywd, loci, albm, yrrc).
#pragma once

#include "mp4/Mp4Property.h"

#include <string>

class CMp4PropertyString3gpp : public CMp4PropertyString {
public:
    CMp4PropertyString3gpp() = default;
    ~CMp4PropertyString3gpp() override;

    // Reads the box into this property under the given ID. Any failure leaves
    // the property empty.
    HRESULT ReadFromBox(DWORD dwPropertyId, const Mp4BoxRef& box) override;
    // Replaces the list with the one box this property is written as.
    HRESULT WriteToBoxes(Mp4BoxList& boxes) const override;

    BYTE GetVersion() const { return m_bVersion; }
    DWORD GetFlags() const { return m_dwFlags; }
    // Three letters, e.g. "eng", and the pad bit of the packed code.
    std::string GetLanguage() const { return std::string(m_szLanguage, 3); }
    BYTE GetPad() const { return m_bPad; }
    void SetLanguage(const char* pszLetters, BYTE bPad = 0);
    WORD PackLanguage() const;

protected:
    HRESULT ReadFullBoxHeader(CMp4ByteCursor& cursor);
    HRESULT ReadLanguage(CMp4ByteCursor& cursor);
    HRESULT ReadText(CMp4ByteCursor& cursor, std::wstring& text);
    HRESULT ReadRaw4(CMp4ByteCursor& cursor, BYTE (&ab)[4]);

    // Type-specific part after version and flags; the base reads lang and text.
    virtual HRESULT ReadPayload(CMp4ByteCursor& cursor);
    virtual HRESULT WritePayload(std::vector<BYTE>& payload) const;
    virtual void ResetFields();

    // Appends lang and a text in the form every written 3GPP string takes.
    void WriteLanguageAndText(std::vector<BYTE>& payload, const std::wstring& text) const;
    HRESULT FirstValue(std::wstring& text) const;

    BYTE m_bVersion = 0;
    DWORD m_dwFlags = 0;
    BYTE m_bPad = 0;
    char m_szLanguage[3] = {0x60, 0x60, 0x60};
};

class CMp4PropertyRating3gpp : public CMp4PropertyString3gpp {
public:
    ~CMp4PropertyRating3gpp() override;
    const BYTE* GetRatingEntity() const { return m_abEntity; }
    const BYTE* GetRatingCriteria() const { return m_abCriteria; }

protected:
    HRESULT ReadPayload(CMp4ByteCursor& cursor) override;
    HRESULT WritePayload(std::vector<BYTE>& payload) const override;
    void ResetFields() override;

    BYTE m_abEntity[4] = {};
    BYTE m_abCriteria[4] = {};
};

class CMp4PropertyClassification3gpp : public CMp4PropertyString3gpp {
public:
    ~CMp4PropertyClassification3gpp() override;
    const BYTE* GetClassificationEntity() const { return m_abEntity; }
    WORD GetClassificationTable() const { return m_wTable; }

protected:
    HRESULT ReadPayload(CMp4ByteCursor& cursor) override;
    HRESULT WritePayload(std::vector<BYTE>& payload) const override;
    void ResetFields() override;

    BYTE m_abEntity[4] = {};
    WORD m_wTable = 0;
};

// The keywords are the values.
class CMp4PropertyKeywords3gpp : public CMp4PropertyString3gpp {
public:
    ~CMp4PropertyKeywords3gpp() override;

protected:
    HRESULT ReadPayload(CMp4ByteCursor& cursor) override;
    HRESULT WritePayload(std::vector<BYTE>& payload) const override;
};

// The location name is the value.
class CMp4PropertyLocationInfo3gpp : public CMp4PropertyString3gpp {
public:
    ~CMp4PropertyLocationInfo3gpp() override;
    BYTE GetRole() const { return m_bRole; }
    DWORD GetLongitude() const { return m_dwLongitude; }  // 16.16 fixed point
    DWORD GetLatitude() const { return m_dwLatitude; }
    DWORD GetAltitude() const { return m_dwAltitude; }
    const std::wstring& GetAstronomicalBody() const { return m_strAstronomicalBody; }
    const std::wstring& GetAdditionalNotes() const { return m_strAdditionalNotes; }

protected:
    HRESULT ReadPayload(CMp4ByteCursor& cursor) override;
    HRESULT WritePayload(std::vector<BYTE>& payload) const override;
    void ResetFields() override;

    BYTE m_bRole = 0;
    DWORD m_dwLongitude = 0;
    DWORD m_dwLatitude = 0;
    DWORD m_dwAltitude = 0;
    std::wstring m_strAstronomicalBody;
    std::wstring m_strAdditionalNotes;
};

// Holds both the album title (0x100B, the values) and its track number (0x100C).
class CMp4PropertyAlbumTitle3gpp : public CMp4PropertyString3gpp {
public:
    ~CMp4PropertyAlbumTitle3gpp() override;
    HRESULT GetValues(DWORD dwPropertyId, std::vector<std::wstring>& values) const override;
    HRESULT SetValues(DWORD dwPropertyId, const std::vector<std::wstring>& values) override;
    BYTE GetTrackNumber() const { return m_bTrackNumber; }

protected:
    HRESULT ReadPayload(CMp4ByteCursor& cursor) override;
    HRESULT WritePayload(std::vector<BYTE>& payload) const override;
    void ResetFields() override;

    BYTE m_bTrackNumber = 0;
};

// The year is the value as decimal text; year 0 is an empty text.
class CMp4PropertyRecordingYear3gpp : public CMp4PropertyString3gpp {
public:
    ~CMp4PropertyRecordingYear3gpp() override;

protected:
    HRESULT ReadPayload(CMp4ByteCursor& cursor) override;
    HRESULT WritePayload(std::vector<BYTE>& payload) const override;
};
