// The transcoder when things go wrong: a filter DLL missing beside the
// server, a source that vanished after Open, and Reads that fail.
#include <gtest/gtest.h>

#include <objbase.h>

#include <cstdio>
#include <string>
#include <utility>

#include "tests/host/HostSupport.h"
#include "tests/resources/ProcessCounts.h"
#include "tests/transcoder/SinkRegistration.h"

using namespace hosttest;

namespace {

typedef HRESULT(STDAPICALLTYPE* GetClassObjectFn)(REFCLSID, REFIID, void**);
typedef HRESULT(STDAPICALLTYPE* CanUnloadNowFn)();

const wchar_t kDecoderName[] = L"KisoMp4AacDecoderSubset.ax";

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.rfind(L'\\') + 1); }

HRESULT Open(ITrnMediaTranscoder* transcoder, const std::wstring& path, const FormatFacts& target) {
    const SourceVariant source(path);
    const ComPtr<IMediaFormat> format = MakeFormat(target);
    return transcoder->Open(source.get(), format.get());
}

// True when nobody else holds the file open.
bool OpenExclusively(const std::wstring& path) {
    const UniqueFileHandle file(
        ::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.valid();
}

// A folder holding the server and the decoder but not the wave fitter, and
// a copy of a sample. The server copy is loaded as a host would load it,
// without registering it (the registered copy stays the one the other tests
// use).
class ServerWithoutWaveFitter {
public:
    ServerWithoutWaveFitter() {
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        m_dir = std::wstring(temp) + L"trn-failure-" + std::to_wstring(::GetCurrentProcessId()) + L"\\";
        ::CreateDirectoryW(m_dir.c_str(), nullptr);
        const std::wstring server = ServerDllPath();
        m_ok = ::CopyFileW(server.c_str(), ServerPath().c_str(), FALSE) &&
               ::CopyFileW((FolderOf(server) + kDecoderName).c_str(), DecoderPath().c_str(), FALSE) &&
               ::CopyFileW(SamplePath(L"aac-48000-mp42.mp4").c_str(), Sample().c_str(), FALSE);
        if (m_ok) m_server.reset(::LoadLibraryExW(ServerPath().c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    }
    ~ServerWithoutWaveFitter() {
        m_server.reset();
        ::DeleteFileW(ServerPath().c_str());
        ::DeleteFileW(DecoderPath().c_str());
        ::DeleteFileW(Sample().c_str());
        ::RemoveDirectoryW(m_dir.c_str());
    }
    ServerWithoutWaveFitter(const ServerWithoutWaveFitter&) = delete;
    ServerWithoutWaveFitter& operator=(const ServerWithoutWaveFitter&) = delete;

    bool ok() const { return m_server.valid(); }
    std::wstring ServerPath() const { return m_dir + L"TrnM4aTranscoder.dll"; }
    std::wstring DecoderPath() const { return m_dir + kDecoderName; }
    std::wstring Sample() const { return m_dir + L"sample.mp4"; }

    ComPtr<ITrnMediaTranscoder> CreateTranscoder() const {
        ComPtr<ITrnMediaTranscoder> transcoder;
        const GetClassObjectFn getClassObject = reinterpret_cast<GetClassObjectFn>(
            reinterpret_cast<void*>(::GetProcAddress(m_server.get(), "DllGetClassObject")));
        if (!getClassObject) return transcoder;
        ComPtr<IClassFactory> factory;
        if (FAILED(getClassObject(CLSID_M4aConverter, IID_IClassFactory, factory.put_void())) || !factory)
            return transcoder;
        factory->CreateInstance(nullptr, IID_ITrnMediaTranscoder, transcoder.put_void());
        return transcoder;
    }

    // S_OK when the module says none of its objects is alive.
    static HRESULT CanUnloadNow(HMODULE module) {
        const CanUnloadNowFn canUnload =
            reinterpret_cast<CanUnloadNowFn>(reinterpret_cast<void*>(::GetProcAddress(module, "DllCanUnloadNow")));
        return canUnload ? canUnload() : E_UNEXPECTED;
    }
    HRESULT ServerCanUnloadNow() const { return CanUnloadNow(m_server.get()); }
    // Unloading the server frees the filter DLLs it holds.
    void UnloadServer() { m_server.reset(); }

private:
    std::wstring m_dir;
    bool m_ok = false;
    UniqueHmodule m_server;
};

// A failed Start keeps nothing of the graph it began: the object is open,
// not running, and a Read fails at once.
void ExpectOpenAndNotRunning(ITrnMediaTranscoder* transcoder) {
    SAFEARRAY* array = nullptr;
    VARIANT_BOOL end = 0;
    EXPECT_EQ(E_FAIL, transcoder->Read(4096, &array, &end));
    EXPECT_EQ(nullptr, array);
    LONGLONG length = 0;
    EXPECT_EQ(S_OK, transcoder->GetLength(&length));
    // Positions are taken only while open and not running.
    LONG actual = 0;
    EXPECT_EQ(S_OK, transcoder->SetTimePosition(0, &actual, nullptr)) << "still running";
    EXPECT_EQ(S_OK, transcoder->Stop());
}

TEST(TranscoderFailure, AMissingWaveFitterFailsStartAndKeepsNothingOfTheGraph) {
    ServerWithoutWaveFitter folder;
    ASSERT_TRUE(folder.ok());
    {
        const ComPtr<ITrnMediaTranscoder> transcoder = folder.CreateTranscoder();
        ASSERT_TRUE(transcoder);
        // The first graph of the process starts the platform's own lasting
        // threads; the counts are compared from the second round on.
        restest::ProcessCounts settled;
        for (int round = 0; round < 3; ++round) {
            SCOPED_TRACE(round);
            ASSERT_EQ(S_OK, Open(transcoder.get(), folder.Sample(), Lpcm48000()));
            EXPECT_EQ(E_FAIL, transcoder->Start());
            // The decoder part of the graph was built, and is gone again.
            const HMODULE decoder = ::GetModuleHandleW(folder.DecoderPath().c_str());
            ASSERT_NE(nullptr, decoder);
            EXPECT_EQ(S_OK, ServerWithoutWaveFitter::CanUnloadNow(decoder)) << "a decoder outlived the failed Start";
            EXPECT_TRUE(OpenExclusively(folder.Sample())) << "the file source outlived the failed Start";
            ExpectOpenAndNotRunning(transcoder.get());
            EXPECT_EQ(E_FAIL, transcoder->Start());
            if (round == 0) {
                EXPECT_EQ(S_OK, transcoder->Close());
                settled = restest::WaitForThreadsToSettle(500, 10000);
                ASSERT_TRUE(settled.ok);
                continue;
            }
            const restest::ProcessCounts after = restest::WaitForThreadsAtMost(settled.threads, 3000);
            EXPECT_LE(after.threads, settled.threads) << "threads left behind by the failed graph";
            std::printf("round %d: threads %lu after the first round, %lu after the failed Start\n", round,
                        settled.threads, after.threads);
            EXPECT_EQ(S_OK, transcoder->Close());
            EXPECT_EQ(E_FAIL, transcoder->Start());
        }
    }
    EXPECT_EQ(S_OK, folder.ServerCanUnloadNow());
    folder.UnloadServer();
    EXPECT_EQ(nullptr, ::GetModuleHandleW(folder.DecoderPath().c_str())) << "the decoder outlived the server";
}

ComPtr<ITrnMediaTranscoder> CreateRegisteredTranscoder() {
    ComPtr<ITrnMediaTranscoder> transcoder;
    ::CoCreateInstance(CLSID_M4aConverter, nullptr, CLSCTX_INPROC_SERVER, IID_ITrnMediaTranscoder,
                       transcoder.put_void());
    return transcoder;
}

TEST(TranscoderFailure, ASourceGoneAfterOpenFailsStartAndKeepsTheObjectOpen) {
    const ComPtr<ITrnMediaTranscoder> transcoder = CreateRegisteredTranscoder();
    ASSERT_TRUE(transcoder);
    struct Case {
        const wchar_t* sample;
        const wchar_t* extension;
        FormatFacts target;
    } cases[] = {{L"aac-16000-mono.3gp", L".3gp", Native3gpp()}, {L"aac-48000-mp42.mp4", L".mp4", Lpcm48000()}};
    for (const Case& c : cases) {
        SCOPED_TRACE(Describe(c.target));
        std::wstring path;
        {
            const ScratchCopy copy(c.sample, c.extension);
            path = copy.path();
            ASSERT_EQ(S_OK, Open(transcoder.get(), path, c.target));
        }
        ASSERT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(path.c_str()));
        const HRESULT hr = transcoder->Start();
        EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
        if (c.target.profile.empty()) {
            EXPECT_EQ(E_INVALIDARG, hr);
        }
        LONG duration = 0;
        EXPECT_EQ(S_OK, transcoder->GetDuration(&duration));
        SAFEARRAY* array = nullptr;
        VARIANT_BOOL end = 0;
        EXPECT_EQ(E_FAIL, transcoder->Read(4096, &array, &end));
        EXPECT_EQ(S_OK, transcoder->Close());
        EXPECT_EQ(E_FAIL, transcoder->GetDuration(&duration));
    }
}

// One block of a started transcoder.
HRESULT ReadBlock(ITrnMediaTranscoder* transcoder) {
    SAFEARRAY* array = nullptr;
    VARIANT_BOOL end = 0;
    const HRESULT hr = transcoder->Read(4096, &array, &end);
    const UniqueSafeArray owner(array);
    return hr;
}

// The second Start releases the running graph before it builds the next one;
// when the host's sink cannot be created, the graph built so far (source,
// decoder, renderer, wave fitter) goes too, and the object is open again.
TEST(TranscoderFailure, AFailedSecondStartKeepsNothingRunning) {
    ASSERT_FALSE(sinktest::CSinkRegistration::RegisteredServer().empty());
    const std::wstring decoder = FolderOf(ServerDllPath()) + kDecoderName;
    const ComPtr<ITrnMediaTranscoder> transcoder = CreateRegisteredTranscoder();
    ASSERT_TRUE(transcoder);
    const std::wstring sample = SamplePath(L"aac-22050-mono-long.m4a");  // more than the sink holds
    // The first graph of the process starts the platform's lasting threads.
    ASSERT_EQ(S_OK, Open(transcoder.get(), sample, Lpcm44100()));
    ASSERT_EQ(S_OK, transcoder->Start());
    EXPECT_EQ(S_OK, ReadBlock(transcoder.get()));
    EXPECT_EQ(S_OK, transcoder->Close());
    const restest::ProcessCounts before = restest::CountThisProcess();
    ASSERT_TRUE(before.ok);

    ASSERT_EQ(S_OK, Open(transcoder.get(), sample, Lpcm44100()));
    ASSERT_EQ(S_OK, transcoder->Start());
    EXPECT_EQ(S_OK, ReadBlock(transcoder.get()));
    {
        // A class that is no filter: a sink that cannot be created, without
        // the platform turning to a server process of its own.
        const sinktest::CSinkRegistration notAFilter(CLSID_HostMediaFormat);
        ASSERT_TRUE(notAFilter.ok());
        const HRESULT hr = transcoder->Start();
        EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
    }
    ExpectOpenAndNotRunning(transcoder.get());
    EXPECT_EQ(S_OK, ServerWithoutWaveFitter::CanUnloadNow(::GetModuleHandleW(decoder.c_str())))
        << "a decoder outlived the failed Start";
    const restest::ProcessCounts after = restest::WaitForThreadsAtMost(before.threads, 10000);
    EXPECT_LE(after.threads, before.threads) << "threads left behind by the failed Start";
    std::printf("threads: %lu before the run, %lu after the failed Start\n", before.threads, after.threads);

    // The object starts again once the sink can be created.
    ASSERT_EQ(S_OK, transcoder->Start());
    EXPECT_EQ(S_OK, ReadBlock(transcoder.get()));
    EXPECT_EQ(S_OK, transcoder->Close());
}

// A failed Read writes neither out pointer, in any state it can fail in.
TEST(TranscoderFailure, AFailedReadLeavesTheOutPointersUntouched) {
    const ComPtr<ITrnMediaTranscoder> transcoder = CreateRegisteredTranscoder();
    ASSERT_TRUE(transcoder);
    SAFEARRAY* const kArraySentinel = reinterpret_cast<SAFEARRAY*>(static_cast<ULONG_PTR>(0x5A5A50));
    const VARIANT_BOOL kEndSentinel = 0x1234;
    const auto expectUntouchedFailure = [&](const char* when) {
        SCOPED_TRACE(when);
        SAFEARRAY* array = kArraySentinel;
        VARIANT_BOOL end = kEndSentinel;
        EXPECT_EQ(E_FAIL, transcoder->Read(4096, &array, &end));
        EXPECT_EQ(kArraySentinel, array);
        EXPECT_EQ(kEndSentinel, end);
        // Each out pointer missing in turn: the other stays as it was.
        EXPECT_EQ(E_POINTER, transcoder->Read(4096, nullptr, &end));
        EXPECT_EQ(kEndSentinel, end);
        EXPECT_EQ(E_POINTER, transcoder->Read(4096, &array, nullptr));
        EXPECT_EQ(kArraySentinel, array);
    };

    expectUntouchedFailure("closed");
    const std::pair<const wchar_t*, FormatFacts> cases[] = {{L"aac-44100-stereo.mp4", Lpcm44100()},
                                                            {L"aac-16000-mono.3gp", Native3gpp()}};
    for (const auto& c : cases) {
        SCOPED_TRACE(Describe(c.second));
        ASSERT_EQ(S_OK, Open(transcoder.get(), SamplePath(c.first), c.second));
        expectUntouchedFailure("open");
        ASSERT_EQ(S_OK, transcoder->Start());
        SAFEARRAY* array = nullptr;
        VARIANT_BOOL end = 0;
        ASSERT_EQ(S_OK, transcoder->Read(4096, &array, &end));
        const UniqueSafeArray owner(array);
        ASSERT_NE(nullptr, array);
        EXPECT_EQ(S_OK, transcoder->Stop());
        expectUntouchedFailure("stopped");
        EXPECT_EQ(S_OK, transcoder->Close());
        expectUntouchedFailure("closed again");
    }
}

}  // namespace
