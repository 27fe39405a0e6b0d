// Many transcodings and format queries in one process must leave threads,
// handles and private memory where they were. The platform leaks a few
// handles and some memory on every graph and Render by itself, so a bare
// graph doing the same Render is measured alongside.
#include <gtest/gtest.h>

#define STRSAFE_NO_DEPRECATE
#include <dshow.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/host/HostSupport.h"
#include "tests/resources/ProcessCounts.h"

using namespace hosttest;

namespace {

const CLSID kDecoderClass = {0x6C350194, 0xF0BF, 0x49CB, {0x98, 0x49, 0xE9, 0x5E, 0x96, 0x2F, 0x7D, 0xEB}};
typedef HRESULT(STDAPICALLTYPE* GetClassObjectFn)(REFCLSID, REFIID, void**);

const int kCycles = 1000;
const int kInfoCalls = 10000;
const int kWarmUpCycles = 3;
// Growth allowed beyond the bare graph's over the second half of the cycles.
// A handle kept per cycle shows as kCycles / 2; a few may come from caches
// the platform fills lazily or from a thread of the last cycle still exiting.
const long kHandleTolerance = 10;
// Heaps grow in steps of their own; 100 bytes kept per cycle would show as
// about 50 KB over the second half.
const long long kPrivateTolerance = 1024 * 1024;
// Format queries build no graph: a list block kept per call (about 200
// bytes) shows as 1 MB over the second half.
const long long kInfoPrivateTolerance = 256 * 1024;
// A thread of the platform's last graph can take seconds to end on a busy machine.
const DWORD kSettleMs = 10000;
// How long the thread count must hold still to count as settled.
const DWORD kQuietMs = 500;

const wchar_t kSample[] = L"aac-48000-mp42.mp4";

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.rfind(L'\\') + 1); }

ComPtr<IPin> FirstPin(IBaseFilter* filter, PIN_DIRECTION wanted) {
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.put())) || !pins) return ComPtr<IPin>();
    ComPtr<IPin> pin;
    while (pins->Next(1, pin.put(), nullptr) == S_OK && pin) {
        PIN_DIRECTION direction;
        if (SUCCEEDED(pin->QueryDirection(&direction)) && direction == wanted) return pin;
    }
    return ComPtr<IPin>();
}

// The platform's part of one transcoding: graph manager, file source,
// decoder and Render, then everything released.
class BareGraph {
public:
    BareGraph() {
        const std::wstring path = FolderOf(ServerDllPath()) + L"KisoMp4AacDecoderSubset.ax";
        m_decoderDll.reset(::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
        const GetClassObjectFn getClassObject =
            m_decoderDll ? reinterpret_cast<GetClassObjectFn>(
                               reinterpret_cast<void*>(::GetProcAddress(m_decoderDll.get(), "DllGetClassObject")))
                         : nullptr;
        if (getClassObject) getClassObject(kDecoderClass, IID_IClassFactory, m_decoderFactory.put_void());
    }
    bool ok() const { return bool(m_decoderFactory); }

    HRESULT Cycle(const std::wstring& file) const {
        ComPtr<IGraphBuilder> graph;
        HRESULT hr = ::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_ALL, IID_IGraphBuilder, graph.put_void());
        if (FAILED(hr)) return hr;
        ComPtr<IBaseFilter> source;
        hr = ::CoCreateInstance(CLSID_AsyncReader, nullptr, CLSCTX_ALL, IID_IBaseFilter, source.put_void());
        if (FAILED(hr)) return hr;
        if (FAILED(hr = graph->AddFilter(source.get(), nullptr))) return hr;
        AM_MEDIA_TYPE streamType = {};
        streamType.majortype = MEDIATYPE_Stream;
        if (FAILED(hr = source.query<IFileSourceFilter>()->Load(file.c_str(), &streamType))) return hr;
        ComPtr<IBaseFilter> decoder;
        if (FAILED(hr = m_decoderFactory->CreateInstance(nullptr, IID_IBaseFilter, decoder.put_void()))) return hr;
        if (FAILED(hr = graph->AddFilter(decoder.get(), L"KisoMp4AacDecoder"))) return hr;
        const ComPtr<IPin> sourceOut = FirstPin(source.get(), PINDIR_OUTPUT);
        const ComPtr<IPin> decoderIn = FirstPin(decoder.get(), PINDIR_INPUT);
        const ComPtr<IPin> decoderOut = FirstPin(decoder.get(), PINDIR_OUTPUT);
        if (!sourceOut || !decoderIn || !decoderOut) return E_FAIL;
        if (FAILED(hr = graph->Connect(sourceOut.get(), decoderIn.get()))) return hr;
        return graph->Render(decoderOut.get());
    }

private:
    UniqueHmodule m_decoderDll;
    ComPtr<IClassFactory> m_decoderFactory;
};

// One host stream: a fresh transcoder, opened for LPCM, started, read to
// the end and closed.
HRESULT TranscodeOnce(const std::wstring& file, size_t& bytes) {
    ComPtr<ITrnMediaTranscoder> transcoder;
    HRESULT hr = ::CoCreateInstance(CLSID_M4aConverter, nullptr, CLSCTX_INPROC_SERVER, IID_ITrnMediaTranscoder,
                                    transcoder.put_void());
    if (FAILED(hr)) return hr;
    const SourceVariant source(file);
    const ComPtr<IMediaFormat> format = MakeFormat(Lpcm48000());
    if (FAILED(hr = transcoder->Open(source.get(), format.get()))) return hr;
    if (FAILED(hr = transcoder->Start())) return hr;
    bytes = 0;
    for (int i = 0; i < 10000; ++i) {
        SAFEARRAY* array = nullptr;
        VARIANT_BOOL end = 0;
        if (FAILED(hr = transcoder->Read(65536, &array, &end))) return hr;
        const UniqueSafeArray owner(array);
        bytes += array ? array->rgsabound[0].cElements : 0;
        if (end == VARIANT_TRUE) return transcoder->Close();
    }
    return E_UNEXPECTED;  // no end of stream
}

// Counts at the start, after the first half and at the end of a run of
// cycles; each taken once the threads of the last cycle have exited.
struct Counts {
    restest::ProcessCounts start, middle, end;
    long HandleGrowth() const { return long(end.handles) - long(middle.handles); }
    long long PrivateGrowth() const { return (long long)end.privateBytes - (long long)middle.privateBytes; }
};

restest::ProcessCounts Settled(ULONG threads) { return restest::WaitForThreadsAtMost(threads, kSettleMs); }

// Runs cycles of one kind; false (with a failure added) when one fails.
template <class Cycle>
bool Measure(const char* what, int cycles, Counts& run, Cycle cycle) {
    const DWORD began = ::GetTickCount();
    run.start = restest::CountThisProcess();
    if (!run.start.ok) {
        ADD_FAILURE() << "no counts";
        return false;
    }
    for (int i = 0; i < cycles; ++i) {
        if (!cycle(i)) {
            ADD_FAILURE() << what << " " << i << " failed";
            return false;
        }
        if (i + 1 == cycles / 2) run.middle = Settled(run.start.threads);
    }
    run.end = Settled(run.start.threads);
    std::printf(
        "%s, %d cycles in %lu s: threads %lu / %lu / %lu, handles %lu / %lu / %lu, private KB %lu / %lu / %lu "
        "(start / middle / end)\n",
        what, cycles, (::GetTickCount() - began) / 1000, run.start.threads, run.middle.threads, run.end.threads,
        run.start.handles, run.middle.handles, run.end.handles, (unsigned long)(run.start.privateBytes / 1024),
        (unsigned long)(run.middle.privateBytes / 1024), (unsigned long)(run.end.privateBytes / 1024));
    return true;
}

TEST(Resources, TranscodingsLeaveThreadsFlatAndHandlesAtThePlatformsOwnLeak) {
    const std::wstring file = SamplePath(kSample);
    const BareGraph bare;
    ASSERT_TRUE(bare.ok());
    size_t bytes = 0;
    // The first graphs start the platform's lasting threads and fill its
    // caches; neither belongs to a cycle.
    for (int i = 0; i < kWarmUpCycles; ++i) {
        ASSERT_EQ(S_OK, bare.Cycle(file));
        ASSERT_EQ(S_OK, TranscodeOnce(file, bytes));
        ASSERT_GT(bytes, 0u);
    }
    // The last warm-up's threads finish exiting.
    ASSERT_TRUE(restest::WaitForThreadsToSettle(kQuietMs, kSettleMs).ok);

    Counts bareRun, transcoderRun;
    ASSERT_TRUE(Measure("bare graph Render", kCycles, bareRun, [&](int) { return bare.Cycle(file) == S_OK; }));
    const size_t expectedBytes = bytes;
    ASSERT_TRUE(Measure("transcoder open/start/read/close", kCycles, transcoderRun,
                        [&](int) { return TranscodeOnce(file, bytes) == S_OK && bytes == expectedBytes; }));

    // The first half fills what the platform and the runtime cache; the
    // second shows what each cycle keeps.
    std::printf(
        "second half growth: handles bare +%ld, transcoder +%ld (tolerance %ld); private bytes bare %+lld, "
        "transcoder %+lld (tolerance %lld)\n",
        bareRun.HandleGrowth(), transcoderRun.HandleGrowth(), kHandleTolerance, bareRun.PrivateGrowth(),
        transcoderRun.PrivateGrowth(), kPrivateTolerance);
    EXPECT_LE(bareRun.end.threads, bareRun.start.threads);
    EXPECT_LE(transcoderRun.end.threads, bareRun.start.threads) << "the transcodings left threads behind";
    EXPECT_LE(transcoderRun.HandleGrowth(), std::max(0L, bareRun.HandleGrowth()) + kHandleTolerance)
        << "the transcoder leaks handles of its own";
    EXPECT_LE(transcoderRun.PrivateGrowth(), std::max(0LL, bareRun.PrivateGrowth()) + kPrivateTolerance)
        << "the transcoder leaks memory of its own";
}

TEST(Resources, FormatQueriesLeaveHandlesAndMemoryFlat) {
    const ComPtr<ITrnMediaTranscoderInfo> info = CreateInfo();
    ASSERT_TRUE(info);
    const SourceVariant mp4(SamplePath(L"aac-48000-mp42.mp4"));
    const SourceVariant threeGpp(SamplePath(L"aac-16000-mono.3gp"));
    const SourceVariant* const sources[] = {&mp4, &threeGpp};
    const std::vector<FormatFacts> expected[] = {{Lpcm48000(), NativeMp4()}, {Lpcm44100(), Native3gpp()}};
    const auto query = [&](int i) {
        SAFEARRAY* list = nullptr;
        if (info->GetFormatsForSource(sources[i % 2]->get(), &list) != S_OK) return false;
        return TakeFormatList(list) == expected[i % 2];
    };
    for (int i = 0; i < 100; ++i) ASSERT_TRUE(query(i));
    Counts run;
    ASSERT_TRUE(Measure("info GetFormatsForSource", kInfoCalls, run, query));
    std::printf("second half growth: handles %+ld (tolerance %ld), private bytes %+lld (tolerance %lld)\n",
                run.HandleGrowth(), kHandleTolerance, run.PrivateGrowth(), kInfoPrivateTolerance);
    EXPECT_LE(run.end.threads, run.start.threads);
    EXPECT_LE(run.HandleGrowth(), kHandleTolerance);
    EXPECT_LE(run.PrivateGrowth(), kInfoPrivateTolerance) << "format lists leak memory";
}

}  // namespace
