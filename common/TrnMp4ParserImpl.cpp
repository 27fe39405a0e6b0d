#include "common/TrnMp4ParserImpl.h"

#include "base/ComPtr.h"
#include "common/Mp4DsiParser.h"
#include "common/SmfAbsStreamImpl.h"
#include "base/UniqueResource.h"
#include "base/HresultText.h"
#include "base/TraceHook.h"

#include <cstring>
#include <new>
#include <vector>

namespace {

const wchar_t kSourceFile[] = L"..\\..\\..\\common\\TrnMp4ParserImpl";
const int kTraceError = 1;

// Best effort: a failure while building or writing the entry must not
// replace the status the caller is about to raise.
void LogApiFailure(const wchar_t* expression, HRESULT hr, int line) noexcept {
    try {
        std::wstring text = L"[ERR] <api-fail> ";
        text += expression;
        text += L" (" + trn::HresultHex(hr) + L":" + trn::HresultErrorText(hr) + L")";
        TrnTrace(kTraceError, text.c_str(), kSourceFile, line);
    } catch (...) {
    }
}

// Logs the failed call, then raises the exception that tells callers the
// failure has been logged already.
[[noreturn]] void FailApi(const wchar_t* expression, HRESULT hr, int line) {
    LogApiFailure(expression, hr, line);
    throw log4tarn::Exception{hr};
}

uint32_t ReadBe32(const BYTE* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

void ClassifyBrand(const BYTE* brand, Mp4BrandFlags& flags) {
    static const char* const k3gppBrands[] = {"3gp4", "3gp5", "3gp6"};
    static const char* const kMp4Brands[] = {"mp42", "avc1", "mp4m", "mpa2"};
    for (const char* b : k3gppBrands)
        if (std::memcmp(brand, b, 4) == 0) flags.b3gpp = true;
    for (const char* b : kMp4Brands)
        if (std::memcmp(brand, b, 4) == 0) flags.bMp4 = true;
}

bool IsSupportedSamplingFrequency(DWORD hz) {
    static const DWORD kRates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
    for (DWORD rate : kRates)
        if (rate == hz) return true;
    return false;
}

// Whole seconds in milliseconds; a duration too long for 32 bits keeps the
// largest whole-second value instead of wrapping around.
DWORD WholeSecondsMs(uint32_t duration, uint32_t timeScale) {
    const uint32_t kMaxSeconds = 0xFFFFFFFFu / 1000u;
    const uint32_t seconds = duration / timeScale;
    return seconds > kMaxSeconds ? kMaxSeconds * 1000u : seconds * 1000u;
}

}  // namespace

Mp4BrandFlags ProbeFileTypeBrands(const BYTE* header, size_t cbHeader) {
    Mp4BrandFlags flags;
    if (header == nullptr) return flags;
    for (size_t i = 0; i + 8 <= cbHeader; ++i) {
        if (std::memcmp(header + i + 4, "ftyp", 4) != 0) continue;
        const uint32_t size = ReadBe32(header + i);
        if (size < 16 || (size - 16) % 4 != 0) TrnThrowHr(E_INVALIDARG);
        if (i + 12 <= cbHeader) ClassifyBrand(header + i + 8, flags);
        const uint32_t compatibleCount = (size - 16) / 4;
        for (uint32_t k = 0; k < compatibleCount; ++k) {
            const size_t pos = i + 16 + size_t(k) * 4;
            if (pos + 4 > cbHeader) break;
            ClassifyBrand(header + pos, flags);
        }
        break;
    }
    return flags;
}

HRESULT TrnHresultFromWin32Error(DWORD error) {
    // A failure that left no error code behind is still a failure.
    if (error == 0) return E_FAIL;
    const HRESULT hr = static_cast<HRESULT>(error);
    if (hr <= 0) return hr;
    return static_cast<HRESULT>(0x80070000u | (error & 0xFFFFu));
}

CTrnMp4ParserImpl::CTrnMp4ParserImpl() = default;
CTrnMp4ParserImpl::~CTrnMp4ParserImpl() = default;

void CTrnMp4ParserImpl::Open(const wchar_t* path) {
    CriticalSectionGuard guard(m_cs);
    // A null path is an empty one, as with a BSTR.
    if (path == nullptr) path = L"";
    m_strPath.clear();
    ProbeHeader(path);
    StartLibrary(path);
    ReadTracksAndCodec();
    m_strPath = path;
}

void CTrnMp4ParserImpl::ProbeHeader(const wchar_t* path) {
    m_b3gppBrand = false;
    m_bMp4Brand = false;
    m_ullFileSize = 0;

    UniqueFileHandle hFile(
        ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!hFile.valid()) FailApi(L"INVALID_HANDLE_VALUE != hFile", TrnHresultFromWin32Error(::GetLastError()), __LINE__);

    LARGE_INTEGER size;
    if (!::GetFileSizeEx(hFile.get(), &size)) TrnThrowHr(E_FAIL);
    m_ullFileSize = static_cast<ULONGLONG>(size.QuadPart);

    BYTE header[kTrnMp4HeaderProbeSize] = {};
    DWORD cbRead = 0;
    if (!::ReadFile(hFile.get(), header, sizeof header, &cbRead, nullptr) || cbRead < sizeof header) TrnThrowHr(E_FAIL);
    hFile.reset();

    const Mp4BrandFlags flags = ProbeFileTypeBrands(header, sizeof header);
    m_b3gppBrand = flags.b3gpp;
    m_bMp4Brand = flags.bMp4;
}

void CTrnMp4ParserImpl::StartLibrary(const wchar_t* path) {
    ComPtr<ISmfAbsStream> spUnk;
    spUnk.attach(OpenFileStream(path));
    const HRESULT hr = m_mp4File.Initialize(spUnk.get());
    if (FAILED(hr)) FailApi(L"m_mp4File.Initialize(spUnk)", hr, __LINE__);
    // The library holds its own reference from here on.
}

void CTrnMp4ParserImpl::ReadTracksAndCodec() noexcept {
    try {
        ReadTracks();
        ReadCodec();
        ReadDuration();
    } catch (...) {
        // A file whose audio cannot be understood still opens; it is just
        // not supported.
        m_dwDurationMs = 0;
        m_codecInfo = AacCodecInfo();
    }
}

void CTrnMp4ParserImpl::ReadTracks() {
    std::vector<uint32_t> vecAudioTrackIds;
    std::vector<uint32_t> vecVideoTrackIds;
    HRESULT hr = m_mp4File.GetTrackIds(vecAudioTrackIds, vecVideoTrackIds);
    if (FAILED(hr)) FailApi(L"m_mp4File.GetTrackIds(vecAudioTrackIds, vecVideoTrackIds)", hr, __LINE__);
    // Known before the audio check, so that a file with video and no audio
    // is never taken for plain audio.
    m_bHasVideo = !vecVideoTrackIds.empty();
    TRN_THROW_HR_IF(E_INVALIDARG, vecAudioTrackIds.empty());
    hr = m_mp4File.SetAudioTrackId(vecAudioTrackIds.at(0));
    if (FAILED(hr)) FailApi(L"m_mp4File.SetAudioTrackId(vecAudioTrackIds.at(0))", hr, __LINE__);
}

void CTrnMp4ParserImpl::ReadCodec() {
    m_codecInfo = AacCodecInfo();
    std::vector<uint8_t> vecbyDSI;
    uint32_t maxBitRate = 0;
    uint32_t avgBitRate = 0;
    HRESULT hr = m_mp4File.GetDecoderSpecificInformation(vecbyDSI, &maxBitRate, &avgBitRate, nullptr);
    if (FAILED(hr))
        FailApi(
            L"m_mp4File.GetDecoderSpecificInformation(vecbyDSI, &(m_codecInfo.m_dwMaxBitRate), "
            L"&(m_codecInfo.m_dwAvgBitRate), NULL)",
            hr, __LINE__);
    m_codecInfo.m_dwMaxBitRate = maxBitRate;
    m_codecInfo.m_dwAvgBitRate = avgBitRate;
    TRN_THROW_HR_IF(E_INVALIDARG, vecbyDSI.empty());
    FillCodecInfo(vecbyDSI.data(), vecbyDSI.size(), &m_codecInfo);

    // Rate and channels of the sample entry are not used: the AAC
    // configuration's own values stand.
    uint32_t quantizedBit = 0;
    uint32_t dwSamplingFrequency = 0;
    uint32_t dwChannelNum = 0;
    hr = m_mp4File.GetAudioSampleDescription(&quantizedBit, &dwSamplingFrequency, &dwChannelNum);
    if (FAILED(hr))
        FailApi(
            L"m_mp4File.GetAudioSampleDescription(&(m_codecInfo.m_dwQuantizedBit), "
            L"&dwSamplingFrequency, &dwChannelNum)",
            hr, __LINE__);
    m_codecInfo.m_dwQuantizedBit = quantizedBit;
}

void CTrnMp4ParserImpl::ReadDuration() {
    CriticalSectionGuard guard(m_cs);
    uint32_t duration = 0;
    uint32_t timeScale = 0;
    HRESULT hr = m_mp4File.GetMediaDuration(&duration);
    if (FAILED(hr)) FailApi(L"m_mp4File.GetMediaDuration(&duration)", hr, __LINE__);
    hr = m_mp4File.GetMediaTimescale(&timeScale);
    if (FAILED(hr)) FailApi(L"m_mp4File.GetMediaTimescale(&timeScale)", hr, __LINE__);
    TRN_THROW_HR_IF(E_FAIL, timeScale == 0);
    m_dwDurationMs = WholeSecondsMs(duration, timeScale);
}

std::wstring CTrnMp4ParserImpl::GetFilePath() {
    CriticalSectionGuard guard(m_cs);
    return m_strPath;
}

ULONGLONG CTrnMp4ParserImpl::GetFileSize() {
    CriticalSectionGuard guard(m_cs);
    return m_ullFileSize;
}

bool CTrnMp4ParserImpl::HasVideo() {
    CriticalSectionGuard guard(m_cs);
    return m_bHasVideo;
}

bool CTrnMp4ParserImpl::Is3gppBrand() {
    CriticalSectionGuard guard(m_cs);
    return m_b3gppBrand;
}

bool CTrnMp4ParserImpl::IsMp4Brand() {
    CriticalSectionGuard guard(m_cs);
    return m_bMp4Brand;
}

DWORD CTrnMp4ParserImpl::GetSamplingFrequency() {
    CriticalSectionGuard guard(m_cs);
    return m_codecInfo.m_dwSamplingFrequency;
}

DWORD CTrnMp4ParserImpl::GetDurationMs() {
    CriticalSectionGuard guard(m_cs);
    return m_dwDurationMs;
}

DWORD CTrnMp4ParserImpl::GetQuantizedBits() {
    CriticalSectionGuard guard(m_cs);
    return m_codecInfo.m_dwQuantizedBit;
}

DWORD CTrnMp4ParserImpl::GetChannelCount() {
    CriticalSectionGuard guard(m_cs);
    return m_codecInfo.m_dwChannels;
}

DWORD CTrnMp4ParserImpl::GetAvgBitRate() {
    CriticalSectionGuard guard(m_cs);
    return m_codecInfo.m_dwAvgBitRate;
}

bool CTrnMp4ParserImpl::IsSupportedAudio() {
    CriticalSectionGuard guard(m_cs);
    // Object type 2 is AAC LC; SBR mode 2 is parametric stereo.
    return m_codecInfo.m_dwObjectType == 2 && m_codecInfo.m_dwSbrMode <= 1 &&
           IsSupportedSamplingFrequency(m_codecInfo.m_dwSamplingFrequency) &&
           (m_codecInfo.m_dwChannels == 1 || m_codecInfo.m_dwChannels == 2);
}

AacCodecInfo CTrnMp4ParserImpl::GetCodecInfo() {
    CriticalSectionGuard guard(m_cs);
    return m_codecInfo;
}

TrnMp4ParserPtr CreateMp4Parser() {
    try {
        return TrnMp4ParserPtr(new CTrnMp4ParserImpl());
    } catch (const std::bad_alloc&) {
        TrnThrowHr(E_OUTOFMEMORY);
    }
}
