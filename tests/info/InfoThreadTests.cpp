// Many host threads at once, on one info object and on one object each.
#include <gtest/gtest.h>

#include <objbase.h>

#include <vector>

#include "tests/host/HostSupport.h"

using namespace hosttest;

namespace {

const int kThreads = 8;
const int kRounds = 40;  // each round makes six calls

struct Worker {
    ComPtr<ITrnMediaTranscoderInfo> info;  // null: the thread creates its own
    int failures = 0;
};

bool OneRound(ITrnMediaTranscoderInfo* info, int round) {
    static const wchar_t* const kFiles[] = {L"aac-48000-mp42.mp4", L"aac-32000-mp42.mp4", L"aac-16000-mono.3gp"};
    const wchar_t* file = kFiles[round % 3];
    const SourceVariant source(SamplePath(file));
    SAFEARRAY* list = nullptr;
    if (info->GetFormatsForSource(source.get(), &list) != S_OK) return false;
    const std::vector<FormatFacts> formats = TakeFormatList(list);
    const std::vector<FormatFacts> expected[] = {
        {Lpcm48000(), NativeMp4()}, {Lpcm44100(), NativeMp4()}, {Lpcm44100(), Native3gpp()}};
    if (!(formats == expected[round % 3])) return false;

    const ComPtr<IMediaFormat> target = MakeFormat(formats[0]);
    VARIANT_BOOL convertible = 0;
    if (info->CanConvert(source.get(), target.get(), &convertible) != S_OK || convertible != VARIANT_TRUE) return false;
    if (info->GetProperties(source.get(), target.get(), &list) != S_OK) return false;
    if (TakePropertyList(list).size() != 4) return false;

    const ComPtr<IMediaFormat> native = MakeFormat(formats[1]);
    if (info->GetProperties(source.get(), native.get(), &list) != S_OK) return false;
    if (TakePropertyList(list).size() != 5) return false;

    if (info->GetSupportedFormats(&list) != S_OK || TakeFormatList(list).size() != 4) return false;
    const SourceVariant refused(SamplePath(L"song.wav"));
    if (info->GetFormatsForSource(refused.get(), &list) != S_OK || !TakeFormatList(list).empty()) return false;
    return true;
}

DWORD WINAPI WorkerThread(void* context) {
    Worker& worker = *static_cast<Worker*>(context);
    ComScope com;
    ComPtr<ITrnMediaTranscoderInfo> info = worker.info ? worker.info : CreateInfo();
    if (!info) {
        worker.failures = kRounds;
        return 0;
    }
    for (int round = 0; round < kRounds; ++round)
        if (!OneRound(info.get(), round)) ++worker.failures;
    return 0;
}

void RunWorkers(std::vector<Worker>& workers) {
    std::vector<UniqueHandle> threads;
    for (Worker& worker : workers) threads.emplace_back(::CreateThread(nullptr, 0, &WorkerThread, &worker, 0, nullptr));
    for (UniqueHandle& thread : threads) {
        ASSERT_TRUE(thread.valid());
        ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(thread.get(), 300000)) << "a worker hangs";
    }
    for (size_t i = 0; i < workers.size(); ++i) EXPECT_EQ(0, workers[i].failures) << "worker " << i;
}

TEST(Threads, EightThreadsOnOneObject) {
    std::vector<Worker> workers(kThreads);
    const ComPtr<ITrnMediaTranscoderInfo> shared = CreateInfo();
    ASSERT_TRUE(shared);
    for (Worker& worker : workers) worker.info = shared;
    RunWorkers(workers);
}

TEST(Threads, EightThreadsWithAnObjectEach) {
    std::vector<Worker> workers(kThreads);
    RunWorkers(workers);
}

typedef HRESULT(STDAPICALLTYPE* CanUnloadFn)();

// After every test, whichever ran and in whatever order, no object of the
// server is left: it can unload.
class CServerCanUnloadAfterwards : public ::testing::Environment {
public:
    void TearDown() override {
        HMODULE server = ::GetModuleHandleW(L"TrnM4aTranscoder.dll");
        ASSERT_NE(nullptr, server);
        const CanUnloadFn canUnload =
            reinterpret_cast<CanUnloadFn>(reinterpret_cast<void*>(::GetProcAddress(server, "DllCanUnloadNow")));
        ASSERT_NE(nullptr, canUnload);
        EXPECT_EQ(S_OK, canUnload()) << "objects of the server outlive the tests";
    }
};

// gtest owns it from here.
::testing::Environment* const g_pServerCanUnload = ::testing::AddGlobalTestEnvironment(new CServerCanUnloadAfterwards);

}  // namespace
