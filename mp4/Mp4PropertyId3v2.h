// ID3v2-style frames carried in uuid boxes: the common frame header and the
// string and binary frame properties.
#pragma once

#include "mp4/Mp4Property.h"

#include <string>
#include <vector>

// Extended type of a uuid box that carries one ID3v2 frame.
extern const BYTE kMp4Id3v2FrameUuid[16];

class CMp4PropertyId3v2 {
public:
    CMp4PropertyId3v2() = default;
    virtual ~CMp4PropertyId3v2();

    // Reads the frame box header (extended type, frame ID) and leaves the
    // cursor after the frame ID.
    HRESULT ReadFrameBox(const Mp4BoxRef& box, CMp4ByteCursor& cursor);
    void Clear();

    DWORD GetFrameId() const { return m_dwFrameId; }
    const std::wstring& GetDescription() const { return m_strDescription; }
    BYTE GetTextEncoding() const { return m_bTextEncoding; }
    BYTE GetPictureType() const { return m_bPictureType; }
    WORD PackFrameFlags() const;
    void SetFrameFlags(WORD wFlags);

protected:
    HRESULT ReadExtendedType(CMp4ByteCursor& cursor);
    HRESULT ReadFrameId(CMp4ByteCursor& cursor);
    HRESULT ReadFrameFlags(CMp4ByteCursor& cursor);
    // Reads the encoding byte and starts the frame's text state from it.
    HRESULT ReadTextEncoding(CMp4ByteCursor& cursor);
    static bool CheckEncoding(BYTE bEncoding);

    HRESULT ReadFrameText(CMp4ByteCursor& cursor, std::wstring& text);
    static HRESULT ReadSingleByteText(CMp4ByteCursor& cursor, std::wstring& text);
    // Frame box bytes around a body, with this frame's ID and flags.
    std::vector<BYTE> MakeFrameBox(const std::vector<BYTE>& body) const;
    // Appends a text in the encoding a frame for this row is written with.
    static void WriteFrameText(std::vector<BYTE>& body, const std::wstring& text, BYTE bEncoding);

    BYTE m_abExtendedType[16] = {};
    DWORD m_dwFrameId = 0;
    bool m_bTagAlterPreservation = false;
    bool m_bFileAlterPreservation = false;
    bool m_bReadOnly = false;
    bool m_bCompression = false;
    bool m_bEncryption = false;
    bool m_bGroupingIdentity = false;
    BYTE m_bTextEncoding = 1;
    BYTE m_bTextState = 255;
    std::wstring m_strDescription;
    BYTE m_bPictureType = 0;
    char m_szLanguage[3] = {};  // USLT
};

// Text frames: TXXX, WXXX, USLT and the plain text frames.
class CMp4PropertyStringId3v2 : public CMp4PropertyId3v2, public CMp4PropertyString {
public:
    ~CMp4PropertyStringId3v2() override;
    // Reads a text frame; the ID is stored as given (the loader files it by
    // frame ID and description afterwards).
    HRESULT ReadFromBox(DWORD dwPropertyId, const Mp4BoxRef& box) override;
    // One frame box per value (TCOM joins its values with "/").
    HRESULT WriteToBoxes(Mp4BoxList& boxes) const override;
    void SetDescription(const std::wstring& description) { m_strDescription = description; }

private:
    HRESULT ReadBody(CMp4ByteCursor& cursor);
};

// Binary frames: GEOB, APIC, UFID. Each frame read adds one description and
// one data item.
class CMp4PropertyBinaryId3v2 : public CMp4PropertyBinary, public CMp4PropertyId3v2 {
public:
    ~CMp4PropertyBinaryId3v2() override;
    HRESULT ReadFromBox(const Mp4BoxRef& box) override;
    HRESULT WriteToBoxes(Mp4BoxList& boxes) const override;

    DWORD GetPropertyId() const { return m_dwPropertyId; }
    void SetPropertyId(DWORD dwPropertyId) { m_dwPropertyId = dwPropertyId; }
    const std::vector<std::wstring>& GetDescriptions() const { return m_vecDescriptions; }
    const std::vector<std::vector<BYTE>>& GetDataItems() const { return m_vecDataItems; }
    const std::wstring& GetMimeType() const { return m_strMimeType; }
    void AddItem(const std::wstring& description, const std::vector<BYTE>& data);

private:
    HRESULT ReadBody(CMp4ByteCursor& cursor, std::wstring& description, std::vector<BYTE>& data);

    DWORD m_dwPropertyId = 0;
    std::vector<std::wstring> m_vecDescriptions;
    std::vector<std::vector<BYTE>> m_vecDataItems;
    std::wstring m_strMimeType;
    std::wstring m_strFileName;
};
