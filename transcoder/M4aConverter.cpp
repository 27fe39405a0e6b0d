#include "M4aConverter.h"

#include <cstring>

#include "common/ITrnMp4Parser.h"
#include "base/StatusException.h"
#include "module/ErrorBoundary.h"
#include "module/HostObjects.h"
#include "transcoder/PcmFormatDescriptor.h"

namespace {

const wchar_t kSource[] = L".\\M4aConverter";
const wchar_t kLpcmProfile[] = L"LPCM";
const LONGLONG kHundredNsPerMs = 10000;

// Big-endian 16-bit samples from little-endian ones, in place.
void SwapSampleBytes(BYTE* bytes, DWORD count) {
    for (DWORD i = 0; i + 1 < count; i += 2) {
        const BYTE low = bytes[i];
        bytes[i] = bytes[i + 1];
        bytes[i + 1] = low;
    }
}

}  // namespace

bool TrnHasSourceExtension(const std::wstring& path) {
    static const wchar_t* const kExtensions[] = {L".mp4", L".m4a", L".m4b", L".3gp"};
    if (path.find(L'\0') != std::wstring::npos) return false;
    const std::wstring tail = path.size() > 4 ? path.substr(path.size() - 4) : path;
    for (const wchar_t* extension : kExtensions) {
        if (::CompareStringOrdinal(tail.c_str(), -1, extension, -1, TRUE) == CSTR_EQUAL) return true;
    }
    return false;
}

CM4aConverter::CM4aConverter() noexcept
    : m_llLength(-1),
      m_nChannels(0),
      m_nBitsPerSample(0),
      m_nSampleRate(0),
      m_lDurationMs(-1),
      m_lStartMs(0),
      m_llStartByte(0),
      m_bUseGraph(false),
      m_bTimeSeek(false),
      m_bByteSeek(false),
      m_nState(kClosed) {}

CM4aConverter::~CM4aConverter() {
    ReleaseGraph();
    m_hFile.reset();
}

void CM4aConverter::ReleaseGraph() noexcept {
    // A graph left streaming would keep its threads alive; one whose Run
    // failed may be paused and streaming whatever the state says.
    if (m_pControl) m_pControl->Stop();
    // The host's sink leaves the graph and is let go first, outside the
    // lock: it may live in another apartment, whose thread may be waiting
    // for the lock.
    if (m_pGraph) {
        ComPtr<IBaseFilter> sink;
        if (SUCCEEDED(m_pGraph->FindFilterByName(trn::kSinkFilterName, sink.put())) && sink)
            m_pGraph->RemoveFilter(sink.get());
    }
    m_pSink.reset();
    m_pSeeking.reset();
    m_pEvent.reset();
    m_pControl.reset();
    // The graph's last reference destroys the platform's audio renderer.
    const CriticalSectionGuard renderer(trn::RendererLock());
    m_pGraph.reset();
}

STDMETHODIMP CM4aConverter::Open(VARIANT source, IMediaFormat* target) {
    if (source.vt != VT_BSTR || source.bstrVal == nullptr || target == nullptr) return E_INVALIDARG;
    try {
        static_cast<ITrnMediaTranscoder*>(this)->Close();
        OpenTarget(trn::BstrToString(source.bstrVal), target);
        return S_OK;
    }
    TRN_CATCH_RETURN(kSource)
}

void CM4aConverter::OpenTarget(const std::wstring& path, IMediaFormat* target) {
    TRN_THROW_HR_IF(E_INVALIDARG, !TrnHasSourceExtension(path));
    const trn::CHostMediaFormat format(target);
    const std::wstring mimeType = format.GetMimeType();
    const std::wstring profile = format.GetProfileName();
    const TrnMp4ParserPtr parser = CreateMp4Parser();
    parser->Open(path.c_str());
    const DWORD durationMs = parser->GetDurationMs();

    bool useGraph = false;
    bool timeSeek = false;
    bool byteSeek = false;
    LONG channels = 0, bitsPerSample = 0, sampleRate = 0;
    if (profile == kLpcmProfile) {
        const CPcmFormatDescriptor descriptor(mimeType.c_str());
        sampleRate = descriptor.GetSampleRate();
        channels = descriptor.GetChannels();
        bitsPerSample = descriptor.GetBitsPerSample();
        TRN_THROW_HR_IF(E_INVALIDARG,
                        (sampleRate != 44100 && sampleRate != 48000) || channels != 2 || bitsPerSample != 16);
        TRN_THROW_HR_IF(E_INVALIDARG, format.GetByteSeekable() == VARIANT_TRUE);
        TRN_THROW_HR_IF(E_INVALIDARG, format.GetTimeSeekable() != VARIANT_TRUE);
        useGraph = true;
        timeSeek = true;
    } else if (profile.empty()) {
        // A file with video is delivered unchanged, without positioning.
        if (!parser->HasVideo()) {
            const bool branded = (mimeType == L"audio/mp4" && parser->IsMp4Brand()) ||
                                 (mimeType == L"audio/3gpp" && (parser->IsMp4Brand() || parser->Is3gppBrand()));
            TRN_THROW_HR_IF(E_INVALIDARG, !branded);
            TRN_THROW_HR_IF(E_INVALIDARG, format.GetConverted() == VARIANT_TRUE);
            TRN_THROW_HR_IF(E_INVALIDARG, format.GetByteSeekable() == VARIANT_FALSE);
            TRN_THROW_HR_IF(E_INVALIDARG, format.GetTimeSeekable() == VARIANT_TRUE);
            byteSeek = true;
        }
    } else {
        TrnThrowHr(E_INVALIDARG);
    }

    m_strPath = path;
    m_bUseGraph = useGraph;
    m_bTimeSeek = timeSeek;
    m_bByteSeek = byteSeek;
    // The parser reports whole seconds; a duration beyond 32 signed bits
    // keeps the largest value rather than turning negative.
    m_lDurationMs = durationMs > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<LONG>(durationMs);
    m_llLength = useGraph ? -1 : static_cast<LONGLONG>(parser->GetFileSize());
    m_nChannels = channels;
    m_nBitsPerSample = bitsPerSample;
    m_nSampleRate = sampleRate;
    m_nState = kOpen;
}

STDMETHODIMP CM4aConverter::Close() {
    ReleaseGraph();
    m_hFile.reset();
    m_llLength = -1;
    m_lDurationMs = -1;
    m_lStartMs = 0;
    m_llStartByte = 0;
    m_nState = kClosed;
    return S_OK;
}

STDMETHODIMP CM4aConverter::Start() {
    try {
        TRN_THROW_HR_IF(E_FAIL, m_nState == kClosed);
        try {
            if (m_bUseGraph) {
                StartGraph();
            } else {
                StartFile();
            }
        } catch (...) {
            // Nothing half-built is kept: the previous run is gone already,
            // and a graph or sink left behind would stream on or make Read
            // wait on a sink nothing feeds. The object is open, not running.
            ReleaseGraph();
            m_hFile.reset();
            m_nState = kOpen;
            throw;
        }
        m_nState = kRunning;
        return S_OK;
    }
    TRN_CATCH_RETURN(kSource)
}

void CM4aConverter::StartGraph() {
    BuildGraph(m_strPath);
    LONGLONG current = static_cast<LONGLONG>(m_lStartMs) * kHundredNsPerMs;
    LONGLONG stop = 0;
    TRN_THROW_IF_FAILED(
        m_pSeeking->SetPositions(&current, AM_SEEKING_AbsolutePositioning, &stop, AM_SEEKING_NoPositioning));
    TRN_THROW_IF_FAILED(m_pControl->Run());
}

void CM4aConverter::StartFile() {
    // A second start opens the file again; the previous handle goes first.
    m_hFile.reset();
    UniqueFileHandle file(::CreateFileW(m_strPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    TRN_THROW_HR_IF(E_INVALIDARG, !file.valid());
    LONG high = static_cast<LONG>(m_llStartByte >> 32);
    ::SetLastError(NO_ERROR);
    const DWORD low = ::SetFilePointer(file.get(), static_cast<LONG>(m_llStartByte & 0xFFFFFFFF), &high, FILE_BEGIN);
    TRN_THROW_HR_IF(E_FAIL, low == INVALID_SET_FILE_POINTER && ::GetLastError() != NO_ERROR);
    m_hFile = std::move(file);
}

STDMETHODIMP CM4aConverter::Stop() {
    try {
        TRN_THROW_HR_IF(E_FAIL, m_nState == kClosed);
        if (m_nState == kOpen) return S_OK;
        if (m_bUseGraph) {
            TRN_THROW_HR_IF(E_FAIL, !m_pControl);
            TRN_THROW_IF_FAILED(m_pControl->Stop());
        }
        m_nState = kOpen;
        return S_OK;
    }
    TRN_CATCH_RETURN(kSource)
}

STDMETHODIMP CM4aConverter::SetBytePosition(LONGLONG offset) {
    try {
        TRN_THROW_HR_IF(E_FAIL, m_nState != kOpen || !m_bByteSeek);
        m_llStartByte = offset;
        return S_OK;
    }
    TRN_CATCH_RETURN(kSource)
}

void CM4aConverter::CheckTimePosition(LONG timeMs, LONG* actualMs, LONGLONG* bytePosition) const {
    TRN_THROW_HR_IF(E_FAIL, m_nState != kOpen || !m_bTimeSeek);
    *actualMs = timeMs;
    // A host that does not want the byte position may pass no pointer.
    if (bytePosition) *bytePosition = -1;
}

STDMETHODIMP CM4aConverter::SetTimePosition(LONG timeMs, LONG* actualMs, LONGLONG* bytePosition) {
    if (actualMs == nullptr) return E_POINTER;
    try {
        CheckTimePosition(timeMs, actualMs, bytePosition);
        m_lStartMs = timeMs;
        return S_OK;
    }
    TRN_CATCH_RETURN(kSource)
}

STDMETHODIMP CM4aConverter::ResolveTimePosition(LONG timeMs, LONG* actualMs, LONGLONG* bytePosition) {
    if (actualMs == nullptr) return E_POINTER;
    try {
        CheckTimePosition(timeMs, actualMs, bytePosition);
        return S_OK;
    }
    TRN_CATCH_RETURN(kSource)
}

STDMETHODIMP CM4aConverter::SetRate(double rate) {
    try {
        TRN_THROW_HR_IF(E_FAIL, m_nState == kClosed);
        TRN_THROW_HR_IF(E_INVALIDARG, rate != 1.0);
        return S_OK;
    }
    TRN_CATCH_RETURN(kSource)
}

STDMETHODIMP CM4aConverter::GetLength(LONGLONG* length) {
    if (length == nullptr) return E_POINTER;
    try {
        TRN_THROW_HR_IF(E_FAIL, m_nState == kClosed);
        *length = m_llLength;
        return S_OK;
    }
    TRN_CATCH_RETURN(kSource)
}

STDMETHODIMP CM4aConverter::GetDuration(LONG* durationMs) {
    if (durationMs == nullptr) return E_POINTER;
    try {
        TRN_THROW_HR_IF(E_FAIL, m_nState == kClosed);
        *durationMs = m_lDurationMs;
        return S_OK;
    }
    TRN_CATCH_RETURN(kSource)
}

DWORD CM4aConverter::ReadFromSink(BYTE* buffer, ULONG byteCount, DWORD* endOfStream) {
    TRN_THROW_HR_IF(E_FAIL, !m_pSink);
    DWORD delivered = 0;
    TRN_THROW_IF_FAILED(m_pSink->ReadData(buffer, byteCount, &delivered, endOfStream));
    // A sink that claims more than the buffer holds cannot be trusted.
    TRN_THROW_HR_IF(E_UNEXPECTED, delivered > byteCount);
    TRN_THROW_HR_IF(E_INVALIDARG, delivered % 2 != 0);
    SwapSampleBytes(buffer, delivered);
    return delivered;
}

DWORD CM4aConverter::ReadFromFile(BYTE* buffer, ULONG byteCount, DWORD* endOfStream) {
    DWORD read = 0;
    TRN_THROW_HR_IF(E_FAIL, !::ReadFile(m_hFile.get(), buffer, byteCount, &read, nullptr));
    if (read < byteCount) *endOfStream = static_cast<DWORD>(static_cast<USHORT>(VARIANT_TRUE));
    return read;
}

STDMETHODIMP CM4aConverter::Read(ULONG byteCount, SAFEARRAY** data, VARIANT_BOOL* endOfStream) {
    if (data == nullptr || endOfStream == nullptr) return E_POINTER;
    try {
        TRN_THROW_HR_IF(E_FAIL, !m_pSink && !m_hFile.valid());
        TRN_THROW_HR_IF(E_FAIL, m_nState != kRunning);
        UniqueCoTaskMem buffer(::CoTaskMemAlloc(byteCount ? byteCount : 1));
        TRN_THROW_HR_IF(E_OUTOFMEMORY, !buffer);
        BYTE* bytes = static_cast<BYTE*>(buffer.get());
        DWORD end = 0;
        const DWORD read = m_bUseGraph ? ReadFromSink(bytes, byteCount, &end) : ReadFromFile(bytes, byteCount, &end);
        UniqueSafeArray array(::SafeArrayCreateVector(VT_UI1, 0, read));
        if (!array) throw CAtlException(E_OUTOFMEMORY);
        if (read > 0) std::memcpy(array.get()->pvData, bytes, read);
        *data = array.release();
        *endOfStream = static_cast<VARIANT_BOOL>(end & 0xFFFF);
        return S_OK;
    }
    TRN_CATCH_RETURN(kSource)
}
