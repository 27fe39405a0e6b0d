// Many transcodings in one process must leave threads and handles where
// they were. The platform leaks a few handles on every graph and Render by
// itself, so a bare graph doing the same Render is measured alongside.
#include <gtest/gtest.h>

#define STRSAFE_NO_DEPRECATE
#include <dshow.h>

#include <cstdio>
#include <string>

#include "tests/host/HostSupport.h"
#include "tests/resources/ProcessCounts.h"

using namespace hosttest;

namespace {

const CLSID kDecoderClass = {0x6C350194, 0xF0BF, 0x49CB, {0x98, 0x49, 0xE9, 0x5E, 0x96, 0x2F, 0x7D, 0xEB}};
typedef HRESULT(STDAPICALLTYPE* GetClassObjectFn)(REFCLSID, REFIID, void**);

const int kCycles = 100;
const int kWarmUpCycles = 3;
// Growth allowed beyond the bare graph's over all cycles. A handle kept per
// cycle shows as kCycles; a few may come from caches the platform fills
// lazily or from a thread of the last cycle still exiting.
const long kHandleTolerance = 10;
const DWORD kSettleMs = 3000;

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
            m_decoderDll ? reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void*>(
                               ::GetProcAddress(m_decoderDll.get(), "DllGetClassObject")))
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
    ::Sleep(500);  // the last warm-up's threads finish exiting
    const restest::ProcessCounts start = restest::CountThisProcess();
    ASSERT_TRUE(start.ok);

    for (int i = 0; i < kCycles; ++i) ASSERT_EQ(S_OK, bare.Cycle(file)) << "bare cycle " << i;
    const restest::ProcessCounts afterBare = restest::WaitForThreadsAtMost(start.threads, kSettleMs);

    const size_t expectedBytes = bytes;
    for (int i = 0; i < kCycles; ++i) {
        ASSERT_EQ(S_OK, TranscodeOnce(file, bytes)) << "transcoding " << i;
        ASSERT_EQ(expectedBytes, bytes) << "transcoding " << i;
    }
    const restest::ProcessCounts afterTranscoder = restest::WaitForThreadsAtMost(start.threads, kSettleMs);

    const long bareGrowth = long(afterBare.handles) - long(start.handles);
    const long transcoderGrowth = long(afterTranscoder.handles) - long(afterBare.handles);
    std::printf("%d cycles each: threads %lu at the start, %lu after the bare graphs, %lu after the transcodings\n",
                kCycles, start.threads, afterBare.threads, afterTranscoder.threads);
    std::printf("handles: %lu at the start; bare graph +%ld, transcoder +%ld (tolerance %ld beyond the bare graph)\n",
                start.handles, bareGrowth, transcoderGrowth, kHandleTolerance);
    EXPECT_LE(afterBare.threads, start.threads);
    EXPECT_LE(afterTranscoder.threads, start.threads) << "the transcodings left threads behind";
    EXPECT_LE(transcoderGrowth, bareGrowth + kHandleTolerance) << "the transcoder leaks handles of its own";
}

}  // namespace
