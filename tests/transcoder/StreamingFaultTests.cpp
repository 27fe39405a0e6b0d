// Faults while streaming: damaged and shrinking sources, a sink whose reads
// fail, a host that gives up halfway or stops and starts again. Each ends in
// a clean status or a clean end of stream, and Close leaves nothing running.
#include <gtest/gtest.h>

#include <objbase.h>

#include <algorithm>
#include <cwchar>
#include <cstdio>
#include <string>

#include "tests/host/HostSupport.h"
#include "tests/resources/ProcessCounts.h"
#include "tests/resources/StreamSupport.h"

using namespace hosttest;
using namespace streamtest;

namespace {

const wchar_t kShort[] = L"aac-44100-stereo.mp4";    // 2 s, 44.1 kHz stereo
const wchar_t kLong[] = L"aac-22050-mono-long.m4a";  // 40 s: more than the sink holds
const ULONG kBlock = 16384;
const DWORD kSettleMs = 10000;

std::wstring BesideServer(const wchar_t* name) { return FolderOf(ServerDllPath()) + name; }

bool StartsWith(const Bytes& whole, const Bytes& part) {
    return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}

// True when nobody else holds the file open.
bool OpenExclusively(const std::wstring& path) {
    const UniqueFileHandle file(
        ::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.valid();
}

// The decoder's tone mode makes every stream exact, so a damaged or
// interrupted one can be compared byte for byte with a whole one. The first
// graph of the process starts the platform's lasting threads; the thread
// count of each test is taken after it.
class StreamingFault : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const EnvironmentScope tone(L"TRN_DECODER_TONE", L"1");
        // The first trace starts the test framework's own watcher thread.
        SCOPED_TRACE("warm-up");
        Reference(kShort);
        Reference(kLong);
    }
    void SetUp() override {
        ::SetEnvironmentVariableW(L"TRN_DECODER_TONE", L"1");
        const restest::ProcessCounts counts = restest::CountThisProcess();
        ASSERT_TRUE(counts.ok);
        m_threads = counts.threads;
    }
    void TearDown() override { ::SetEnvironmentVariableW(L"TRN_DECODER_TONE", nullptr); }

    // Whole streams of the committed samples, made once.
    static const Bytes& Reference(const wchar_t* sample) {
        static Bytes shortStream, longStream;
        Bytes& stream = sample == kShort ? shortStream : longStream;
        if (stream.empty()) {
            const Stream whole = TranscodeFile(SamplePath(sample), Lpcm44100());
            EXPECT_EQ(S_OK, whole.hr);
            EXPECT_TRUE(whole.ended);
            stream = whole.bytes;
        }
        return stream;
    }

    // After Close and the last release: no streaming thread is left and
    // no filter object is alive.
    void ExpectNothingRunning() const {
        const restest::ProcessCounts after = restest::WaitForThreadsAtMost(m_threads, kSettleMs);
        EXPECT_LE(after.threads, m_threads) << "streaming threads left running";
        for (const wchar_t* dll : {L"KisoMp4AacDecoderSubset.ax", L"KisoWaveFitterFilter.ax"}) {
            const HRESULT hr = CanUnloadNow(BesideServer(dll));
            EXPECT_TRUE(hr == S_OK || hr == E_UNEXPECTED)
                << "a filter of " << std::string(dll, dll + 8) << " outlived its graph: " << std::hex << hr;
        }
        const HRESULT sink = CanUnloadNow(L"HostDlnaSink.dll");
        EXPECT_TRUE(sink == S_OK || sink == E_UNEXPECTED) << "the sink outlived its graph";
    }
    void ExpectServerUnloadable() const {
        EXPECT_EQ(S_OK, CanUnloadNow(ServerDllPath())) << "a server object outlived its release";
    }

    ULONG m_threads = 0;
};

// Every stco entry points past the end of the file (the samples' muxer
// writes one chunk per track).
Bytes ChunksPastTheEnd(Bytes file) {
    const std::vector<size_t> fields = ChunkOffsetFields(file);
    if (fields.empty()) return Bytes();
    for (size_t i = 0; i < fields.size(); ++i)
        WriteBe32(file, fields[i], static_cast<uint32_t>(file.size() + 4096 * i));
    return file;
}

// One sample in the middle of the stsz table is larger than the file.
Bytes SampleLargerThanTheFile(Bytes file) {
    const size_t stsz = FindBox(file, "stsz");
    if (stsz == std::string::npos || ReadBe32(file, stsz + 12) != 0) return Bytes();
    const uint32_t count = ReadBe32(file, stsz + 16);
    WriteBe32(file, stsz + 20 + 4 * (count / 2), 0x00FFFFFFu);
    return file;
}

TEST_F(StreamingFault, ASampleTablePointingPastTheEndEndsTheStreamCleanly) {
    const Bytes& whole = Reference(kShort);
    ASSERT_FALSE(whole.empty());
    const Bytes original = FileBytes(SamplePath(kShort));
    const struct {
        const char* what;
        Bytes file;
        bool somePlayable;
    } cases[] = {{"the chunk past the end", ChunksPastTheEnd(original), false},
                 {"a sample larger than the file", SampleLargerThanTheFile(original), true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_FALSE(c.file.empty());
        const ScratchFile damaged(c.file, L".mp4");
        ASSERT_TRUE(damaged.ok());
        {
            const ComPtr<ITrnMediaTranscoder> transcoder = CreateTranscoder();
            ASSERT_TRUE(transcoder);
            ASSERT_EQ(S_OK, Open(transcoder.get(), damaged.path(), Lpcm44100()));
            ASSERT_EQ(S_OK, transcoder->Start());
            const Stream stream = ReadStream(transcoder.get(), kBlock);
            // What can be read is played; the stream then ends.
            EXPECT_EQ(S_OK, stream.hr) << std::hex << stream.hr;
            EXPECT_TRUE(stream.ended);
            EXPECT_EQ(c.somePlayable, !stream.bytes.empty()) << stream.bytes.size();
            EXPECT_LT(stream.bytes.size(), whole.size());
            EXPECT_TRUE(StartsWith(whole, stream.bytes)) << "the readable part differs";
            EXPECT_EQ(S_OK, transcoder->Close());
        }
        ExpectNothingRunning();
        EXPECT_TRUE(OpenExclusively(damaged.path()));
    }
    ExpectServerUnloadable();
}

TEST_F(StreamingFault, ASourceTruncatedAfterOpenFailsStartOrEndsEarlyCleanly) {
    const Bytes& whole = Reference(kShort);
    ASSERT_FALSE(whole.empty());
    const Bytes original = FileBytes(SamplePath(kShort));
    const Bytes moovFirst = MoovFirst(original);
    ASSERT_EQ(original.size(), moovFirst.size());
    {
        // The rearranged file streams as the original does.
        const ScratchFile intact(moovFirst, L".mp4");
        const Stream stream = TranscodeFile(intact.path(), Lpcm44100());
        ASSERT_EQ(S_OK, stream.hr);
        ASSERT_TRUE(stream.bytes == whole);
    }
    const ComPtr<ITrnMediaTranscoder> transcoder = CreateTranscoder();
    ASSERT_TRUE(transcoder);
    // The box reader refuses an mdat that runs past the end of the file, so
    // the decoder takes neither cut: Start returns its status and the object
    // stays open.
    const struct {
        const char* what;
        const Bytes& file;
    } cuts[] = {{"moov first, mdat cut in half", moovFirst}, {"moov last and lost", original}};
    for (const auto& cut : cuts) {
        SCOPED_TRACE(cut.what);
        const ScratchFile file(cut.file, L".mp4");
        ASSERT_EQ(S_OK, Open(transcoder.get(), file.path(), Lpcm44100()));
        const size_t mdat = FindBox(cut.file, "mdat");
        ASSERT_TRUE(file.Truncate(mdat + ReadBe32(cut.file, mdat) / 2));
        const HRESULT hr = transcoder->Start();
        EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
        SAFEARRAY* array = nullptr;
        VARIANT_BOOL end = 0;
        EXPECT_EQ(E_FAIL, transcoder->Read(kBlock, &array, &end));
        EXPECT_EQ(nullptr, array);
        LONG duration = 0;
        EXPECT_EQ(S_OK, transcoder->GetDuration(&duration));
        EXPECT_EQ(S_OK, transcoder->Close());
        ExpectNothingRunning();
        EXPECT_TRUE(OpenExclusively(file.path()));
    }
    {
        SCOPED_TRACE("unchanged: the bytes that are left, then the end");
        const Bytes mp42 = FileBytes(SamplePath(L"aac-48000-mp42.mp4"));
        const ScratchFile file(mp42, L".mp4");
        ASSERT_EQ(S_OK, Open(transcoder.get(), file.path(), NativeMp4()));
        ASSERT_TRUE(file.Truncate(mp42.size() / 2));
        ASSERT_EQ(S_OK, transcoder->Start());
        const Stream stream = ReadStream(transcoder.get(), kBlock);
        EXPECT_EQ(S_OK, stream.hr);
        EXPECT_TRUE(stream.ended);
        EXPECT_TRUE(stream.bytes == Bytes(mp42.begin(), mp42.begin() + mp42.size() / 2));
        EXPECT_EQ(S_OK, transcoder->Close());
        EXPECT_TRUE(OpenExclusively(file.path()));
    }
}

TEST_F(StreamingFault, ASinkWhoseReadsFailGivesTheirStatusAndClosesCleanly) {
    const HRESULT kNotReady = HRESULT_FROM_WIN32(ERROR_NOT_READY);
    const struct {
        const wchar_t* fault;
        HRESULT status;
        ULONG block = kBlock;
    } cases[] = {{L"fail-read:3:80070015", kNotReady},
                 {L"fail-read:0", E_FAIL},
                 {L"odd-read:2", E_INVALIDARG},
                 // A sink claiming more than was asked; the block is two bytes
                 // short of a round size, so a claim believed by mistake stays
                 // within the allocation's slack.
                 {L"over-read:2", E_UNEXPECTED, kBlock - 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.fault, c.fault + std::wcslen(c.fault)));
        {
            const ComPtr<ITrnMediaTranscoder> transcoder = CreateTranscoder();
            ASSERT_TRUE(transcoder);
            ASSERT_EQ(S_OK, Open(transcoder.get(), SamplePath(kLong), Lpcm44100()));
            {
                // The sink takes its fault when the graph creates it.
                const EnvironmentScope fault(L"TRN_DLNASINK_FAULT", c.fault);
                ASSERT_EQ(S_OK, transcoder->Start());
            }
            const Stream stream = ReadStream(transcoder.get(), c.block);
            EXPECT_EQ(c.status, stream.hr) << std::hex << stream.hr;
            EXPECT_FALSE(stream.ended);
            EXPECT_TRUE(StartsWith(Reference(kLong), stream.bytes));
            // A failed Read writes nothing out, and the next one fails alike.
            SAFEARRAY* const kSentinel = reinterpret_cast<SAFEARRAY*>(static_cast<ULONG_PTR>(0x5A5A50));
            SAFEARRAY* array = kSentinel;
            VARIANT_BOOL end = 0x1234;
            if (c.status != E_INVALIDARG) {
                EXPECT_EQ(c.status, transcoder->Read(c.block, &array, &end));
                EXPECT_EQ(kSentinel, array);
                EXPECT_EQ(0x1234, end);
            }
            EXPECT_EQ(S_OK, transcoder->Stop());
            EXPECT_EQ(S_OK, transcoder->Close());
        }
        ExpectNothingRunning();
    }
    ExpectServerUnloadable();
}

TEST_F(StreamingFault, AHostThatStopsReadingHalfwayAndClosesLeavesNothingRunning) {
    const Bytes& whole = Reference(kLong);
    ASSERT_GT(whole.size(), 4u * kBlock);
    const ScratchFile file(FileBytes(SamplePath(kLong)), L".m4a");
    ASSERT_TRUE(file.ok());
    for (const char* how : {"Close", "release without Close"}) {
        SCOPED_TRACE(how);
        {
            const ComPtr<ITrnMediaTranscoder> transcoder = CreateTranscoder();
            ASSERT_TRUE(transcoder);
            ASSERT_EQ(S_OK, Open(transcoder.get(), file.path(), Lpcm44100()));
            ASSERT_EQ(S_OK, transcoder->Start());
            const Stream half = ReadStream(transcoder.get(), kBlock, whole.size() / 2);
            ASSERT_EQ(S_OK, half.hr);
            ASSERT_FALSE(half.ended);
            EXPECT_TRUE(StartsWith(whole, half.bytes));
            if (how[0] == 'C') {
                EXPECT_EQ(S_OK, transcoder->Close());
                ExpectNothingRunning();
                EXPECT_TRUE(OpenExclusively(file.path())) << "the source is still open after Close";
                // The object serves a whole stream afterwards.
                ASSERT_EQ(S_OK, Open(transcoder.get(), file.path(), Lpcm44100()));
                ASSERT_EQ(S_OK, transcoder->Start());
                const Stream again = ReadStream(transcoder.get(), 65536);
                EXPECT_EQ(S_OK, again.hr);
                EXPECT_TRUE(again.bytes == whole);
                EXPECT_EQ(S_OK, transcoder->Close());
            }
        }
        ExpectNothingRunning();
        EXPECT_TRUE(OpenExclusively(file.path()));
    }
    ExpectServerUnloadable();
}

TEST_F(StreamingFault, StopAndStartAgainMidStreamGivesTheStreamAgain) {
    const Bytes& whole = Reference(kShort);
    ASSERT_GT(whole.size(), 8u * kBlock);
    {
        const ComPtr<ITrnMediaTranscoder> transcoder = CreateTranscoder();
        ASSERT_TRUE(transcoder);
        ASSERT_EQ(S_OK, Open(transcoder.get(), SamplePath(kShort), Lpcm44100()));
        ASSERT_EQ(S_OK, transcoder->Start());
        for (int round = 0; round < 3; ++round) {
            SCOPED_TRACE(round);
            const Stream part = ReadStream(transcoder.get(), kBlock, 3 * kBlock);
            ASSERT_EQ(S_OK, part.hr);
            EXPECT_TRUE(StartsWith(whole, part.bytes));
            EXPECT_EQ(S_OK, transcoder->Stop());
            SAFEARRAY* array = nullptr;
            VARIANT_BOOL end = 0;
            EXPECT_EQ(E_FAIL, transcoder->Read(kBlock, &array, &end)) << "Read after Stop";
            ASSERT_EQ(S_OK, transcoder->Start());
        }
        const Stream rest = ReadStream(transcoder.get(), kBlock);
        EXPECT_EQ(S_OK, rest.hr);
        EXPECT_TRUE(rest.ended);
        EXPECT_TRUE(rest.bytes == whole) << rest.bytes.size() << " bytes after the restart, " << whole.size()
                                         << " in the whole stream";

        // Start again while running, halfway: the stream starts over.
        ASSERT_EQ(S_OK, transcoder->Start());
        ASSERT_EQ(S_OK, ReadStream(transcoder.get(), kBlock, whole.size() / 2).hr);
        ASSERT_EQ(S_OK, transcoder->Start());
        EXPECT_TRUE(ReadStream(transcoder.get(), kBlock).bytes == whole);

        // Stopped halfway and moved on: the tail from the frame holding 1 s.
        ASSERT_EQ(S_OK, transcoder->Start());
        ASSERT_EQ(S_OK, ReadStream(transcoder.get(), kBlock, 2 * kBlock).hr);
        ASSERT_EQ(S_OK, transcoder->Stop());
        LONG actual = 0;
        ASSERT_EQ(S_OK, transcoder->SetTimePosition(1000, &actual, nullptr));
        ASSERT_EQ(S_OK, transcoder->Start());
        const Stream tail = ReadStream(transcoder.get(), kBlock);
        EXPECT_EQ(S_OK, tail.hr);
        ASSERT_LT(tail.bytes.size(), whole.size());
        const size_t offset = whole.size() - tail.bytes.size();
        EXPECT_LE(offset, 44100u * 4);
        EXPECT_GT(offset + 1024 * 4, 44100u * 4);
        EXPECT_TRUE(std::equal(tail.bytes.begin(), tail.bytes.end(), whole.begin() + offset));
        EXPECT_EQ(S_OK, transcoder->Close());
    }
    ExpectNothingRunning();
    ExpectServerUnloadable();
}

}  // namespace
