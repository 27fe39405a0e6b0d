// ITrnMp4Parser over the MP4 file library, the file stream adapter and the
// AAC configuration parser.
#pragma once

#include "common/AacCodecInfo.h"
#include "common/ITrnMp4Parser.h"
#include "base/StatusException.h"
#include "base/CriticalSection.h"
#include "mp4/Mp4File.h"

#include <windows.h>

#include <cstddef>
#include <string>

// Bytes of the file head searched for the file-type box.
const size_t kTrnMp4HeaderProbeSize = 512;

struct Mp4BrandFlags {
    bool b3gpp = false;
    bool bMp4 = false;
};

// Classifies the brands of the first "ftyp" box within the header bytes;
// brands past the end of the bytes are not examined. Throws E_INVALIDARG for
// a box size below 16 or not 16 plus a multiple of 4.
Mp4BrandFlags ProbeFileTypeBrands(const BYTE* header, size_t cbHeader);

// A failed Win32 call's error as an HRESULT; never a success code, even when
// the call left no error behind.
HRESULT TrnHresultFromWin32Error(DWORD error);

class CTrnMp4ParserImpl : public ITrnMp4Parser {
public:
    CTrnMp4ParserImpl();
    ~CTrnMp4ParserImpl() override;
    CTrnMp4ParserImpl(const CTrnMp4ParserImpl&) = delete;
    CTrnMp4ParserImpl& operator=(const CTrnMp4ParserImpl&) = delete;

    void Open(const wchar_t* path) override;
    std::wstring GetFilePath() override;
    ULONGLONG GetFileSize() override;
    bool HasVideo() override;
    bool Is3gppBrand() override;
    bool IsMp4Brand() override;
    DWORD GetSamplingFrequency() override;
    DWORD GetDurationMs() override;
    DWORD GetQuantizedBits() override;
    DWORD GetChannelCount() override;
    DWORD GetAvgBitRate() override;
    bool IsSupportedAudio() override;

    // All nine codec values, for diagnostics.
    AacCodecInfo GetCodecInfo();

private:
    void ProbeHeader(const wchar_t* path);
    void StartLibrary(const wchar_t* path);
    void ReadTracksAndCodec() noexcept;
    void ReadTracks();
    void ReadCodec();
    void ReadDuration();

    // Destroyed in reverse order: path, library object, lock.
    CriticalSection m_cs;  // recursive: an operation may call another one
    CMp4File m_mp4File;
    ULONGLONG m_ullFileSize = 0;
    bool m_b3gppBrand = false;
    bool m_bMp4Brand = false;
    bool m_bHasVideo = false;
    DWORD m_dwDurationMs = 0;
    AacCodecInfo m_codecInfo;
    std::wstring m_strPath;
};
