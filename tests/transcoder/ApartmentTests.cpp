// The host's sink registered without a threading model, so that COM creates
// it in the host's main single-threaded apartment: graphs built on other
// threads then have to wait for the main thread to create their sink, while
// the main thread drives transcoders of its own. No call may wait for
// another forever.
#include <gtest/gtest.h>

#include <objbase.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "tests/host/HostSupport.h"
#include "tests/transcoder/SinkRegistration.h"

using namespace hosttest;

namespace {

const DWORD kDeadlineMs = 60000;
const int kMainRounds = 12;
const int kWorkers = 2;
const int kMinWorkerRounds = 4;
const ULONG kBlock = 16384;
const wchar_t kSample[] = L"aac-44100-stereo.mp4";

sinktest::CSinkRegistration* g_registration = nullptr;

// Ends the process with a failure when the deadline passes, so that a test
// stuck in a deadlock fails instead of hanging the run.
class CWatchdog {
public:
    CWatchdog() : m_done(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        m_thread.reset(::CreateThread(nullptr, 0, &CWatchdog::Watch, this, 0, nullptr));
    }
    ~CWatchdog() {
        ::SetEvent(m_done.get());
        ::WaitForSingleObject(m_thread.get(), INFINITE);
    }
    CWatchdog(const CWatchdog&) = delete;
    CWatchdog& operator=(const CWatchdog&) = delete;

private:
    static DWORD WINAPI Watch(void* param) {
        CWatchdog* self = static_cast<CWatchdog*>(param);
        if (::WaitForSingleObject(self->m_done.get(), kDeadlineMs) == WAIT_OBJECT_0) return 0;
        std::fprintf(stderr, "FAILED: not finished within %lu ms: a call is stuck\n", kDeadlineMs);
        std::fflush(stderr);
        if (g_registration) g_registration->Restore();
        ::TerminateProcess(::GetCurrentProcess(), 3);
        return 1;
    }

    UniqueHandle m_done;
    UniqueHandle m_thread;
};

void PumpMessages() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

// Waits for thread while serving the calls that other apartments make to
// this one, as a host's main thread does.
void WaitPumping(HANDLE thread) {
    HANDLE handles[] = {thread};
    while (::MsgWaitForMultipleObjects(1, handles, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) PumpMessages();
}

HRESULT Open(ITrnMediaTranscoder* transcoder) {
    const SourceVariant source(SamplePath(kSample));
    const ComPtr<IMediaFormat> format = MakeFormat(Lpcm44100());
    return transcoder->Open(source.get(), format.get());
}

HRESULT ReadBlock(ITrnMediaTranscoder* transcoder) {
    SAFEARRAY* array = nullptr;
    VARIANT_BOOL end = 0;
    const HRESULT hr = transcoder->Read(kBlock, &array, &end);
    const UniqueSafeArray owner(array);
    return hr;
}

// A thread of the multithreaded apartment that builds graphs in a loop until
// the main thread is done, and what its calls returned.
struct Worker {
    volatile LONG* stop = nullptr;
    int rounds = 0;
    std::map<HRESULT, int> starts;
    std::map<HRESULT, int> reads;
    int failedOpens = 0;
};

DWORD WINAPI BuildGraphs(void* param) {
    Worker& me = *static_cast<Worker*>(param);
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    while (me.rounds < kMinWorkerRounds || *me.stop == 0) {
        ++me.rounds;
        ComPtr<ITrnMediaTranscoder> transcoder;
        ::CoCreateInstance(CLSID_M4aConverter, nullptr, CLSCTX_INPROC_SERVER, IID_ITrnMediaTranscoder,
                           transcoder.put_void());
        if (!transcoder || FAILED(Open(transcoder.get()))) {
            ++me.failedOpens;
            continue;
        }
        const HRESULT started = transcoder->Start();
        ++me.starts[started];
        ++me.reads[ReadBlock(transcoder.get())];
        transcoder->Close();
    }
    if (SUCCEEDED(com)) ::CoUninitialize();
    return 0;
}

std::string Tally(const std::map<HRESULT, int>& outcomes) {
    std::string text;
    char item[48];
    for (const auto& outcome : outcomes) {
        std::snprintf(item, sizeof item, " %08lx x%d", static_cast<unsigned long>(outcome.first), outcome.second);
        text += item;
    }
    return text;
}

TEST(SinkInTheMainApartment, GraphsBuiltOnOtherThreadsNeverWaitForeverOnTheMainThread) {
    const std::wstring server = sinktest::CSinkRegistration::RegisteredServer();
    ASSERT_FALSE(server.empty());
    sinktest::CSinkRegistration mainThreaded(server, nullptr);
    ASSERT_TRUE(mainThreaded.ok());
    g_registration = &mainThreaded;
    const CWatchdog watchdog;

    volatile LONG stop = 0;
    std::vector<Worker> workers(kWorkers);
    std::vector<UniqueHandle> threads;
    for (Worker& worker : workers) {
        worker.stop = &stop;
        threads.emplace_back(::CreateThread(nullptr, 0, &BuildGraphs, &worker, 0, nullptr));
        ASSERT_TRUE(threads.back().valid());
    }
    // The main thread drives its own transcoders, serving other apartments
    // between its steps as a host's main thread does.
    for (int round = 0; round < kMainRounds; ++round) {
        SCOPED_TRACE(round);
        ComPtr<ITrnMediaTranscoder> transcoder;
        ASSERT_EQ(S_OK, ::CoCreateInstance(CLSID_M4aConverter, nullptr, CLSCTX_INPROC_SERVER, IID_ITrnMediaTranscoder,
                                           transcoder.put_void()));
        PumpMessages();
        EXPECT_EQ(S_OK, Open(transcoder.get()));
        PumpMessages();
        EXPECT_EQ(S_OK, transcoder->Start());
        PumpMessages();
        for (int block = 0; block < 2; ++block) {
            EXPECT_EQ(S_OK, ReadBlock(transcoder.get()));
            PumpMessages();
        }
        EXPECT_EQ(S_OK, transcoder->Close());
        PumpMessages();
        transcoder.reset();
        PumpMessages();
    }
    ::InterlockedExchange(&stop, 1);
    for (const UniqueHandle& thread : threads) WaitPumping(thread.get());

    for (const Worker& worker : workers) {
        EXPECT_GE(worker.rounds, kMinWorkerRounds);
        EXPECT_EQ(0, worker.failedOpens);
        std::printf("worker: %d rounds; Start:%s; Read:%s\n", worker.rounds, Tally(worker.starts).c_str(),
                    Tally(worker.reads).c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    SetArguments(argc, argv);
    // The host's main thread: the process's first single-threaded apartment.
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(com) || !RegisterServer()) {
        std::fprintf(stderr, "cannot set up COM or register the server\n");
        return 1;
    }
    const int result = RUN_ALL_TESTS();
    ::CoUninitialize();
    return result;
}
