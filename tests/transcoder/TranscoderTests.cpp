// The transcoder as a media server drives it: created through the info
// object, opened on a committed sample and read to the end of the stream,
// with the stand-in filters beside the server and the stand-in host classes.
#include <gtest/gtest.h>

#include <objbase.h>

#include <cstdint>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <vector>

#include "standins/dlnasink/DlnaSinkState.h"
#include "tests/host/HostSupport.h"

using namespace hosttest;

namespace {

typedef std::vector<unsigned char> Bytes;

ComPtr<ITrnMediaTranscoder> CreateTranscoder() {
    const ComPtr<ITrnMediaTranscoderInfo> info = CreateInfo();
    ComPtr<ITrnMediaTranscoder> transcoder;
    if (info) info->CreateTranscoder(transcoder.put());
    return transcoder;
}

HRESULT Open(ITrnMediaTranscoder* transcoder, const std::wstring& path, const FormatFacts& target) {
    const SourceVariant source(path);
    const ComPtr<IMediaFormat> format = MakeFormat(target);
    const ULONG before = ReferenceCount(format.get());
    const HRESULT hr = transcoder->Open(source.get(), format.get());
    // The target is only read: Open keeps no reference to it, also when it fails.
    EXPECT_EQ(before, ReferenceCount(format.get()));
    return hr;
}

// A value a stand-in filter of the graph was given, through its test query.
DWORD StandInQuery(const wchar_t* dll, const char* query) {
    typedef DWORD(WINAPI * QueryFn)();
    const HMODULE module = ::GetModuleHandleW(dll);
    const QueryFn fn =
        module ? reinterpret_cast<QueryFn>(reinterpret_cast<void*>(::GetProcAddress(module, query))) : nullptr;
    EXPECT_TRUE(fn != nullptr) << query;
    return fn ? fn() : 0;
}

// One Read; the array is taken apart into bytes.
HRESULT ReadBlock(ITrnMediaTranscoder* transcoder, ULONG count, Bytes& out, VARIANT_BOOL& end) {
    SAFEARRAY* array = nullptr;
    end = 0x1234;
    const HRESULT hr = transcoder->Read(count, &array, &end);
    out.clear();
    if (FAILED(hr)) return hr;
    UniqueSafeArray owner(array);
    if (!array || ::SafeArrayGetDim(array) != 1) return E_UNEXPECTED;
    out.assign(static_cast<unsigned char*>(array->pvData),
               static_cast<unsigned char*>(array->pvData) + array->rgsabound[0].cElements);
    return hr;
}

// Reads until the end of the stream (bounded, so a stream that never ends fails).
Bytes ReadToEnd(ITrnMediaTranscoder* transcoder, ULONG block = 65536) {
    Bytes all, part;
    VARIANT_BOOL end = 0;
    for (int i = 0; i < 100000; ++i) {
        EXPECT_EQ(S_OK, ReadBlock(transcoder, block, part, end));
        all.insert(all.end(), part.begin(), part.end());
        if (end == VARIANT_TRUE) return all;
        if (end != 0) ADD_FAILURE() << "end of stream flag " << end;
    }
    ADD_FAILURE() << "no end of stream";
    return all;
}

Bytes FileBytes(const std::wstring& path) {
    Bytes bytes;
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file) return bytes;
    unsigned char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(file);
    return bytes;
}

// Mean step between neighbouring samples of the left channel, read with the
// given byte order: a tone is smooth only in its own order.
double MeanStep(const Bytes& pcm, bool bigEndian) {
    double sum = 0;
    size_t n = 0;
    for (size_t i = 4; i + 1 < pcm.size() && n < 20000; i += 4, ++n) {
        const auto sample = [&](size_t at) {
            return static_cast<int16_t>(bigEndian ? (pcm[at] << 8) | pcm[at + 1] : (pcm[at + 1] << 8) | pcm[at]);
        };
        sum += std::abs(sample(i) - sample(i - 4));
    }
    return n ? sum / n : 0;
}

const SampleFacts* Facts(const wchar_t* name) {
    static const std::vector<SampleFacts> record = ReadSampleRecord();
    for (const SampleFacts& f : record)
        if (f.name == name) return &f;
    return nullptr;
}

// The decoder's tone mode gives whole frames of a known tone, so lengths and
// bytes can be checked exactly; real decoding is checked on its own below.
class Transcoder : public ::testing::Test {
protected:
    void SetUp() override {
        ::SetEnvironmentVariableW(L"TRN_DECODER_TONE", L"1");
        m_transcoder = CreateTranscoder();
        ASSERT_TRUE(m_transcoder);
    }
    void TearDown() override { ::SetEnvironmentVariableW(L"TRN_DECODER_TONE", nullptr); }
    ComPtr<ITrnMediaTranscoder> m_transcoder;
};

class RealDecoding : public Transcoder {
protected:
    void SetUp() override {
        Transcoder::SetUp();
        ::SetEnvironmentVariableW(L"TRN_DECODER_TONE", nullptr);
    }
};

// Real decoding delivers what the edit list keeps: the track without the
// encoder's 1024 priming samples.
TEST_F(RealDecoding, LpcmCarriesTheTrackWithoutPrimingInBigEndianOrder) {
    struct Case {
        const wchar_t* file;
        FormatFacts target;
        long rate;
    } cases[] = {{L"aac-48000-mp42.mp4", Lpcm48000(), 48000}, {L"aac-22050-mono.mp4", Lpcm44100(), 44100}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file, c.file + std::wcslen(c.file)));
        ASSERT_EQ(S_OK, Open(m_transcoder.get(), SamplePath(c.file), c.target));
        ASSERT_EQ(S_OK, m_transcoder->Start());
        const Bytes pcm = ReadToEnd(m_transcoder.get());
        const SampleFacts* facts = Facts(c.file);
        ASSERT_NE(nullptr, facts);
        const double expected = double(facts->durationTicks - 1024) / facts->timescale * c.rate * 4;
        const double frame = 1024.0 * c.rate / facts->rate * 4;
        EXPECT_NEAR(expected, double(pcm.size()), frame) << pcm.size();
        EXPECT_LT(MeanStep(pcm, true) * 2, MeanStep(pcm, false));
        EXPECT_EQ(S_OK, m_transcoder->Close());
    }
}

TEST_F(RealDecoding, TimeSeekStartsAtThePosition) {
    ASSERT_EQ(S_OK, Open(m_transcoder.get(), SamplePath(L"aac-48000-mp42.mp4"), Lpcm48000()));
    ASSERT_EQ(S_OK, m_transcoder->Start());
    const Bytes full = ReadToEnd(m_transcoder.get());
    ASSERT_EQ(S_OK, m_transcoder->Stop());
    LONG actual = 0;
    ASSERT_EQ(S_OK, m_transcoder->SetTimePosition(500, &actual, nullptr));
    ASSERT_EQ(S_OK, m_transcoder->Start());
    const Bytes tail = ReadToEnd(m_transcoder.get());
    ASSERT_GT(tail.size(), 1000u);
    ASSERT_LE(tail.size(), full.size());
    const size_t offset = full.size() - tail.size();
    EXPECT_NEAR(500.0 * 48 * 4, double(offset), 1024 * 4);
    // Decoding restarts cold, so samples agree closely rather than exactly.
    int worst = 0;
    for (size_t i = 0; i + 1 < tail.size(); i += 2) {
        const int a = static_cast<int16_t>((tail[i] << 8) | tail[i + 1]);
        const int b = static_cast<int16_t>((full[offset + i] << 8) | full[offset + i + 1]);
        worst = std::max(worst, std::abs(a - b));
    }
    EXPECT_LT(worst, 64);
}

TEST_F(Transcoder, LpcmLengthMatchesTheDurationAndIsBigEndian) {
    struct Case {
        const wchar_t* file;
        FormatFacts target;
        long rate;
    } cases[] = {{L"aac-48000-mp42.mp4", Lpcm48000(), 48000}, {L"aac-22050-mono.mp4", Lpcm44100(), 44100}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file, c.file + std::wcslen(c.file)));
        ASSERT_EQ(S_OK, Open(m_transcoder.get(), SamplePath(c.file), c.target));
        LONGLONG length = 0;
        EXPECT_EQ(S_OK, m_transcoder->GetLength(&length));
        EXPECT_EQ(-1, length);
        ASSERT_EQ(S_OK, m_transcoder->Start());
        // The sink holds 30 s of 44.1 kHz stereo; the fitter gets option 2.
        EXPECT_EQ(5292000u, StandInQuery(L"HostDlnaSink.dll", "DlnaSinkLastBufferSizeForTest"));
        EXPECT_EQ(2u, StandInQuery(L"KisoWaveFitterFilter.ax", "WaveFitterLastOptionForTest"));
        const Bytes pcm = ReadToEnd(m_transcoder.get());
        const SampleFacts* facts = Facts(c.file);
        ASSERT_NE(nullptr, facts);
        const double expected = double(facts->durationTicks) / facts->timescale * c.rate * 4;
        const double frame = 1024.0 * c.rate / facts->rate * 4;
        EXPECT_NEAR(expected, double(pcm.size()), frame) << pcm.size();
        EXPECT_EQ(0u, pcm.size() % 4);
        EXPECT_LT(MeanStep(pcm, true) * 4, MeanStep(pcm, false));
        EXPECT_EQ(S_OK, m_transcoder->Stop());
        EXPECT_EQ(S_OK, m_transcoder->Close());
    }
}

TEST_F(Transcoder, TimeSeekGivesTheTailOfTheFullStream) {
    const std::wstring file = SamplePath(L"aac-48000-mp42.mp4");
    ASSERT_EQ(S_OK, Open(m_transcoder.get(), file, Lpcm48000()));
    ASSERT_EQ(S_OK, m_transcoder->Start());
    const Bytes full = ReadToEnd(m_transcoder.get());
    ASSERT_EQ(S_OK, m_transcoder->Stop());

    LONG actual = 0;
    LONGLONG bytePosition = 0;
    ASSERT_EQ(S_OK, m_transcoder->SetTimePosition(500, &actual, &bytePosition));
    EXPECT_EQ(500, actual);
    EXPECT_EQ(-1, bytePosition);
    ASSERT_EQ(S_OK, m_transcoder->Start());
    // Positions apply to the next start: a running transcoder refuses them.
    EXPECT_EQ(E_FAIL, m_transcoder->SetTimePosition(0, &actual, &bytePosition));
    EXPECT_EQ(E_FAIL, m_transcoder->ResolveTimePosition(0, &actual, &bytePosition));
    const Bytes tail = ReadToEnd(m_transcoder.get());
    ASSERT_FALSE(tail.empty());
    // The stream restarts at the frame that holds the position.
    const size_t nominal = 500 * 48 * 4;
    const size_t frameBytes = 1024 * 4;
    ASSERT_LE(tail.size(), full.size());
    const size_t offset = full.size() - tail.size();
    EXPECT_LE(offset, nominal);
    EXPECT_GT(offset + frameBytes, nominal);
    EXPECT_TRUE(std::equal(tail.begin(), tail.end(), full.begin() + offset));
}

TEST_F(Transcoder, ASecondStartRebuildsTheGraphAndGivesTheSameBytes) {
    ASSERT_EQ(S_OK, Open(m_transcoder.get(), SamplePath(L"aac-32000-mp42.mp4"), Lpcm44100()));
    ASSERT_EQ(S_OK, m_transcoder->Start());
    const Bytes first = ReadToEnd(m_transcoder.get());
    ASSERT_EQ(S_OK, m_transcoder->Start());  // while running
    const Bytes second = ReadToEnd(m_transcoder.get());
    EXPECT_EQ(first.size(), second.size());
    EXPECT_TRUE(first == second);
}

TEST_F(Transcoder, StopWithAFullSinkReturnsPromptly) {
    ASSERT_EQ(S_OK, Open(m_transcoder.get(), SamplePath(L"aac-22050-mono-long.m4a"), Lpcm44100()));
    ASSERT_EQ(S_OK, m_transcoder->Start());
    Bytes part;
    VARIANT_BOOL end = 0;
    ASSERT_EQ(S_OK, ReadBlock(m_transcoder.get(), 4096, part, end));
    // 40 s of audio do not fit in the sink's 30 s.
    HostDlnaSinkState sinks = {};
    for (const DWORD start = ::GetTickCount(); !(QueryHostDlnaSinkState(sinks) && sinks.m_dwFull == 1);) {
        ASSERT_LT(::GetTickCount() - start, 60000u)
            << "the sink did not fill: " << sinks.m_dwSinks << " sinks, " << sinks.m_dwFull << " full";
        ::Sleep(5);
    }
    const DWORD before = ::GetTickCount();
    EXPECT_EQ(S_OK, m_transcoder->Stop());
    EXPECT_LT(::GetTickCount() - before, 5000u) << "Stop hangs on the full sink";
    EXPECT_EQ(E_FAIL, ReadBlock(m_transcoder.get(), 4096, part, end));
    EXPECT_EQ(S_OK, m_transcoder->Close());
}

TEST_F(Transcoder, PassThroughDeliversTheFileAndHonoursBytePositions) {
    const std::wstring file = SamplePath(L"aac-16000-mono.3gp");
    const Bytes expected = FileBytes(file);
    ASSERT_FALSE(expected.empty());
    ASSERT_EQ(S_OK, Open(m_transcoder.get(), file, Native3gpp()));
    LONGLONG length = 0;
    ASSERT_EQ(S_OK, m_transcoder->GetLength(&length));
    EXPECT_EQ(LONGLONG(expected.size()), length);
    ASSERT_EQ(S_OK, m_transcoder->Start());
    EXPECT_TRUE(ReadToEnd(m_transcoder.get(), 4000) == expected);
    ASSERT_EQ(S_OK, m_transcoder->Stop());

    ASSERT_EQ(S_OK, m_transcoder->SetBytePosition(length - 1000));
    ASSERT_EQ(S_OK, m_transcoder->Start());
    Bytes part;
    VARIANT_BOOL end = 0;
    ASSERT_EQ(S_OK, ReadBlock(m_transcoder.get(), 65536, part, end));
    EXPECT_EQ(1000u, part.size());
    EXPECT_EQ(VARIANT_TRUE, end);
    EXPECT_TRUE(std::equal(part.begin(), part.end(), expected.end() - 1000));
    ASSERT_EQ(S_OK, ReadBlock(m_transcoder.get(), 65536, part, end));
    EXPECT_EQ(0u, part.size());
    EXPECT_EQ(VARIANT_TRUE, end);

    // Positions are for the next start only, and only in this mode.
    EXPECT_EQ(E_FAIL, m_transcoder->SetBytePosition(0));
    LONG actual = 0;
    EXPECT_EQ(S_OK, m_transcoder->Stop());
    EXPECT_EQ(E_FAIL, m_transcoder->SetTimePosition(0, &actual, nullptr));
}

// Writes bytes at a 64-bit offset of an open file.
bool WriteAt(HANDLE file, LONGLONG offset, const Bytes& bytes) {
    LARGE_INTEGER at;
    at.QuadPart = offset;
    DWORD written = 0;
    return ::SetFilePointerEx(file, at, nullptr, FILE_BEGIN) &&
           ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

Bytes BoxHeader(uint32_t size, const char* type) {
    Bytes header(8);
    for (int k = 0; k < 4; ++k) {
        header[k] = static_cast<unsigned char>(size >> (24 - 8 * k));
        header[4 + k] = static_cast<unsigned char>(type[k]);
    }
    return header;
}

TEST_F(Transcoder, PassThroughPositionsPastFourGibibytes) {
    // The sample, then two free boxes of 2 GiB whose bodies stay sparse, so
    // the file passes 4 GiB without taking the disk space. The MP4 library
    // reads 32-bit positions: a file exactly 4 GiB longer than the sample
    // looks to it like the sample alone. A marked run lies past 4 GiB.
    ScratchCopy copy(L"aac-48000-mp42.mp4", L".mp4");
    const LONGLONG base = static_cast<LONGLONG>(copy.Read().size());
    const uint32_t box = 0x80000000u;
    const LONGLONG secondAt = base + box;
    const LONGLONG size = secondAt + box;
    const LONGLONG markAt = (1LL << 32) + 256;  // its low 32 bits alone point into the sample
    Bytes mark(4096);
    for (size_t i = 0; i < mark.size(); ++i) mark[i] = static_cast<unsigned char>(i * 7 + 3);
    ASSERT_GT(markAt, secondAt + 8);
    ASSERT_LE(markAt + LONGLONG(mark.size()), size);
    {
        const UniqueFileHandle file(::CreateFileW(copy.path().c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                                  FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file.valid());
        LARGE_INTEGER end;
        end.QuadPart = size;
        ASSERT_TRUE(::SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) && ::SetEndOfFile(file.get()));
        ASSERT_TRUE(WriteAt(file.get(), base, BoxHeader(box, "free")));
        ASSERT_TRUE(WriteAt(file.get(), secondAt, BoxHeader(box, "free")));
        ASSERT_TRUE(WriteAt(file.get(), markAt, mark));
    }
    ASSERT_EQ(S_OK, Open(m_transcoder.get(), copy.path(), NativeMp4()));
    LONGLONG length = 0;
    ASSERT_EQ(S_OK, m_transcoder->GetLength(&length));
    EXPECT_EQ(size, length);
    ASSERT_EQ(S_OK, m_transcoder->SetBytePosition(markAt));
    ASSERT_EQ(S_OK, m_transcoder->Start());
    Bytes part;
    VARIANT_BOOL end = 0;
    ASSERT_EQ(S_OK, ReadBlock(m_transcoder.get(), ULONG(mark.size()), part, end));
    EXPECT_TRUE(part == mark);
    EXPECT_EQ(0, end);
    ASSERT_EQ(S_OK, m_transcoder->Stop());
    // The last bytes of the file, and the end of the stream.
    ASSERT_EQ(S_OK, m_transcoder->SetBytePosition(size - 100));
    ASSERT_EQ(S_OK, m_transcoder->Start());
    ASSERT_EQ(S_OK, ReadBlock(m_transcoder.get(), 4096, part, end));
    EXPECT_EQ(100u, part.size());
    EXPECT_EQ(VARIANT_TRUE, end);
    EXPECT_EQ(S_OK, m_transcoder->Close());
}

TEST_F(Transcoder, RefusedOpensLeaveTheObjectClosed) {
    const std::wstring file = SamplePath(L"aac-48000-mp42.mp4");
    FormatFacts slow = Lpcm44100();
    slow.mimeType = L"audio/L16;rate=22050;channels=2";
    FormatFacts mono = Lpcm44100();
    mono.mimeType = L"audio/L16;rate=44100;channels=1";
    FormatFacts wide = Lpcm44100();
    wide.mimeType = L"audio/L24;rate=44100;channels=2";
    FormatFacts lower = Lpcm44100();
    lower.profile = L"lpcm";
    FormatFacts timeSeekNative = NativeMp4();
    timeSeekNative.timeSeekable = VARIANT_TRUE;
    FormatFacts unseekableNative = NativeMp4();
    unseekableNative.byteSeekable = VARIANT_FALSE;
    FormatFacts convertedNative = NativeMp4();
    convertedNative.converted = VARIANT_TRUE;
    for (const FormatFacts& target : {slow, mono, wide, lower, timeSeekNative, unseekableNative, convertedNative}) {
        SCOPED_TRACE(Describe(target));
        ASSERT_EQ(S_OK, Open(m_transcoder.get(), file, Lpcm44100()));
        EXPECT_EQ(E_INVALIDARG, Open(m_transcoder.get(), file, target));
        LONGLONG length = 0;
        EXPECT_EQ(E_FAIL, m_transcoder->GetLength(&length));
        EXPECT_EQ(E_FAIL, m_transcoder->Start());
    }
    EXPECT_EQ(E_INVALIDARG, Open(m_transcoder.get(), SamplePath(L"song.aac"), Lpcm44100()));
    // The text past a NUL is not what the file system would open.
    const ScratchCopy disguised(L"aac-48000-mp42.mp4", L".wav");
    EXPECT_EQ(E_INVALIDARG, Open(m_transcoder.get(), disguised.path() + std::wstring(1, L'\0') + L".m4a", Lpcm44100()));
    LONGLONG length = 0;
    EXPECT_EQ(E_FAIL, m_transcoder->GetLength(&length));
    EXPECT_EQ(E_INVALIDARG, Open(m_transcoder.get(), SamplePath(L"aac-16000-tagged.3gp"), NativeMp4()));
    EXPECT_EQ(HRESULT(0x80070002), Open(m_transcoder.get(), SamplePath(L"missing.m4a"), Lpcm44100()));
}

TEST_F(Transcoder, StatesGateTheCalls) {
    LONG duration = 0;
    LONGLONG length = 0;
    Bytes part;
    VARIANT_BOOL end = 0;
    EXPECT_EQ(E_FAIL, m_transcoder->Start());
    EXPECT_EQ(E_FAIL, m_transcoder->Stop());
    EXPECT_EQ(E_FAIL, m_transcoder->SetRate(1.0));
    EXPECT_EQ(E_FAIL, m_transcoder->GetDuration(&duration));
    EXPECT_EQ(E_FAIL, ReadBlock(m_transcoder.get(), 16, part, end));
    EXPECT_EQ(S_OK, m_transcoder->Close());

    // Capital extensions are accepted.
    ScratchCopy upper(L"aac-44100-stereo.m4a", L".M4A");
    ASSERT_EQ(S_OK, Open(m_transcoder.get(), upper.path(), Lpcm44100()));
    EXPECT_EQ(S_OK, m_transcoder->GetDuration(&duration));
    EXPECT_EQ(1000, duration);
    EXPECT_EQ(S_OK, m_transcoder->GetLength(&length));
    EXPECT_EQ(-1, length);
    EXPECT_EQ(E_FAIL, m_transcoder->SetBytePosition(10));
    EXPECT_EQ(S_OK, m_transcoder->SetRate(1.0));
    EXPECT_EQ(E_INVALIDARG, m_transcoder->SetRate(2.0));
    EXPECT_EQ(S_OK, m_transcoder->Stop());  // open: nothing to stop
    EXPECT_EQ(E_FAIL, ReadBlock(m_transcoder.get(), 16, part, end));
    LONG actual = 0;
    EXPECT_EQ(E_POINTER, m_transcoder->SetTimePosition(90000, nullptr, nullptr));
    LONGLONG bytePosition = 0;
    EXPECT_EQ(S_OK, m_transcoder->ResolveTimePosition(90000, &actual, &bytePosition));
    EXPECT_EQ(90000, actual);
    EXPECT_EQ(-1, bytePosition);
    EXPECT_EQ(E_POINTER, m_transcoder->Read(16, nullptr, &end));
    EXPECT_EQ(S_OK, m_transcoder->Close());
    EXPECT_EQ(E_FAIL, m_transcoder->GetDuration(&duration));
}

}  // namespace
