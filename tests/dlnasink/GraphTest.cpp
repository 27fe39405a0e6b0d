// The wave fitter and the DLNA sink in a real platform graph under Wine:
// async file source -> WAVE parser -> wave fitter -> sink, pulled with
// ReadData as the transcoder will. argv[1] is the wave fitter's DLL.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "base/ComPtr.h"
#include "base/UniqueResource.h"
#include "standins/dlnasink/DlnaSinkState.h"
#include "standins/dlnasink/DlnaSrcBuffer.h"
#include "standins/filterbase/DShow.h"
#include "standins/wavefitter/WaveFitterInterfaces.h"

namespace {

// {D51BD5A1-7548-11CF-A520-0080C77EF58A}
const CLSID kClsidWaveParser = {0xD51BD5A1, 0x7548, 0x11CF, {0xA5, 0x20, 0x00, 0x80, 0xC7, 0x7E, 0xF5, 0x8A}};
const double kPi = 3.14159265358979323846;
const double kToneHz = 1000.0;
const double kAmplitude = 0.5;

std::wstring g_fitterPath;

// Ends the process when a step hangs: only a deadlock fails, never a slow run.
class CWatchdog {
public:
    CWatchdog(DWORD seconds, const char* what) : m_seconds(seconds), m_what(what) {
        m_done.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        m_thread.reset(::CreateThread(nullptr, 0, &CWatchdog::Proc, this, 0, nullptr));
    }
    ~CWatchdog() {
        ::SetEvent(m_done.get());
        ::WaitForSingleObject(m_thread.get(), INFINITE);
    }
    CWatchdog(const CWatchdog&) = delete;
    CWatchdog& operator=(const CWatchdog&) = delete;

private:
    static DWORD WINAPI Proc(void* self) {
        auto* dog = static_cast<CWatchdog*>(self);
        if (::WaitForSingleObject(dog->m_done.get(), dog->m_seconds * 1000) == WAIT_TIMEOUT) {
            std::fprintf(stderr, "HANG: %s did not finish within %lu s\n", dog->m_what, dog->m_seconds);
            std::fflush(stderr);
            ::TerminateProcess(::GetCurrentProcess(), 3);
        }
        return 0;
    }
    DWORD m_seconds;
    const char* m_what;
    UniqueHandle m_done;
    UniqueHandle m_thread;
};

// Polls the sink stand-in until its state satisfies done, for at most
// seconds; false with a failure added when it never does.
template <class Done>
bool WaitForSinks(const char* what, DWORD seconds, Done done) {
    const DWORD start = ::GetTickCount();
    HostDlnaSinkState state = {};
    while (!(QueryHostDlnaSinkState(state) && done(state))) {
        if (::GetTickCount() - start > seconds * 1000) {
            ADD_FAILURE() << what << " within " << seconds << " s: " << state.m_dwSinks << " sinks, " << state.m_dwFull
                          << " full, " << state.m_dwReadersWaiting << " readers waiting";
            return false;
        }
        ::Sleep(5);
    }
    return true;
}

// 16-bit PCM WAV file of a 1 kHz tone, the same in every channel.
std::wstring WriteToneWav(const wchar_t* name, unsigned rate, unsigned channels, double seconds) {
    wchar_t dir[MAX_PATH];
    ::GetTempPathW(MAX_PATH, dir);
    const std::wstring path = std::wstring(dir) + name;
    const uint32_t frames = static_cast<uint32_t>(seconds * rate);
    const uint32_t dataBytes = frames * channels * 2;
    std::vector<uint8_t> file;
    auto put32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) file.push_back(uint8_t(v >> (8 * i)));
    };
    auto put16 = [&](uint16_t v) {
        file.push_back(uint8_t(v));
        file.push_back(uint8_t(v >> 8));
    };
    auto tag = [&](const char* t) { file.insert(file.end(), t, t + 4); };
    tag("RIFF");
    put32(36 + dataBytes);
    tag("WAVE");
    tag("fmt ");
    put32(16);
    put16(1);
    put16(uint16_t(channels));
    put32(rate);
    put32(rate * channels * 2);
    put16(uint16_t(channels * 2));
    put16(16);
    tag("data");
    put32(dataBytes);
    for (uint32_t i = 0; i < frames; ++i) {
        const double v = kAmplitude * std::sin(2.0 * kPi * kToneHz * i / rate);
        for (unsigned c = 0; c < channels; ++c) put16(uint16_t(int16_t(std::lround(v * 32767.0))));
    }
    UniqueFileHandle out(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    ::WriteFile(out.get(), file.data(), DWORD(file.size()), &written, nullptr);
    return path;
}

// The product's way: the DLL beside it, its class object asked directly.
HRESULT CreateFromDll(const std::wstring& path, const CLSID& clsid, ComPtr<IBaseFilter>& filter) {
    static UniqueHmodule module;  // stays loaded for the whole run
    if (!module) module.reset(::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!module) return HRESULT_FROM_WIN32(::GetLastError());
    typedef HRESULT(STDAPICALLTYPE * GetClassObjectFn)(REFCLSID, REFIID, void**);
    auto get = reinterpret_cast<GetClassObjectFn>(
        reinterpret_cast<void*>(::GetProcAddress(module.get(), "DllGetClassObject")));
    if (!get) return E_FAIL;
    ComPtr<IClassFactory> factory;
    HRESULT hr = get(clsid, IID_IClassFactory, factory.put_void());
    if (FAILED(hr)) return hr;
    return factory->CreateInstance(nullptr, IID_IBaseFilter, filter.put_void());
}

ComPtr<IPin> GetPin(const ComPtr<IBaseFilter>& filter, PIN_DIRECTION wanted) {
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.put()))) return {};
    ComPtr<IPin> pin;
    while (pins->Next(1, pin.put(), nullptr) == S_OK) {
        PIN_DIRECTION direction;
        if (SUCCEEDED(pin->QueryDirection(&direction)) && direction == wanted) return pin;
    }
    return {};
}

struct Graph {
    ComPtr<IGraphBuilder> builder;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaSeeking> seeking;
    ComPtr<IBaseFilter> fitter;
    ComPtr<IBaseFilter> sink;
    ComPtr<IDlnaSrcBuffer> buffer;
};

void BuildGraph(const std::wstring& wav, DWORD outRate, DWORD bufferBytes, Graph& g) {
    ASSERT_EQ(S_OK, ::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                       g.builder.put_void()));
    ASSERT_EQ(S_OK, g.builder.query_to(IID_IMediaControl, g.control));
    ASSERT_EQ(S_OK, g.builder.query_to(IID_IMediaSeeking, g.seeking));

    ComPtr<IBaseFilter> source, parser;
    ASSERT_EQ(S_OK,
              ::CoCreateInstance(CLSID_AsyncReader, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, source.put_void()));
    ASSERT_EQ(S_OK, g.builder->AddFilter(source.get(), nullptr));
    ComPtr<IFileSourceFilter> file;
    ASSERT_EQ(S_OK, source.query_to(IID_IFileSourceFilter, file));
    ASSERT_EQ(S_OK, file->Load(wav.c_str(), nullptr));
    ASSERT_EQ(S_OK,
              ::CoCreateInstance(kClsidWaveParser, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, parser.put_void()));
    ASSERT_EQ(S_OK, g.builder->AddFilter(parser.get(), L"Wave Parser"));
    ASSERT_EQ(S_OK, g.builder->ConnectDirect(GetPin(source, PINDIR_OUTPUT).get(), GetPin(parser, PINDIR_INPUT).get(),
                                             nullptr));

    ASSERT_EQ(S_OK, CreateFromDll(g_fitterPath, CLSID_KisoWaveFitter, g.fitter));
    ASSERT_EQ(S_OK, g.builder->AddFilter(g.fitter.get(), nullptr));
    ComPtr<IWaveFitterFormat> format;
    ASSERT_EQ(S_OK, g.fitter.query_to(format));
    ASSERT_EQ(S_OK, format->SetFormat(16, outRate, 2));
    ComPtr<IWaveFitterOption> option;
    ASSERT_EQ(S_OK, g.fitter.query_to(option));
    ASSERT_EQ(S_OK, option->SetOption(2));
    ASSERT_EQ(S_OK, g.builder->Connect(GetPin(parser, PINDIR_OUTPUT).get(), GetPin(g.fitter, PINDIR_INPUT).get()));

    ASSERT_EQ(S_OK, ::CoCreateInstance(CLSID_HostDlnaSink, nullptr, CLSCTX_ALL, IID_IBaseFilter, g.sink.put_void()))
        << "HostDlnaSink.dll not registered";
    ASSERT_EQ(S_OK, g.sink.query_to(g.buffer));
    ASSERT_EQ(S_OK, g.buffer->SetBufferSize(bufferBytes));
    ASSERT_EQ(S_OK, g.builder->AddFilter(g.sink.get(), L"DlnaSrc"));
    ASSERT_EQ(S_OK, g.builder->Connect(GetPin(g.fitter, PINDIR_OUTPUT).get(), GetPin(g.sink, PINDIR_INPUT).get()));
    ASSERT_EQ(S_OK, g.seeking->SetTimeFormat(&TIME_FORMAT_MEDIA_TIME));
}

void Start(Graph& g, LONGLONG position) {
    ASSERT_EQ(S_OK,
              g.seeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning));
    const HRESULT hr = g.control->Run();
    ASSERT_TRUE(hr == S_OK || hr == S_FALSE) << std::hex << hr;  // Wine may stay paused
    if (hr == S_FALSE) std::printf("Run returned S_FALSE\n");
}

// Everything up to the end of the stream, as little-endian 16-bit values.
std::vector<int16_t> ReadToEnd(Graph& g, DWORD block = 65536) {
    std::vector<uint8_t> bytes;
    std::vector<BYTE> chunk(block);
    for (;;) {
        DWORD delivered = 0, eos = 0;
        const HRESULT hr = g.buffer->ReadData(chunk.data(), block, &delivered, &eos);
        EXPECT_EQ(S_OK, hr);
        if (FAILED(hr)) break;
        EXPECT_EQ(0u, delivered % 2);
        bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + delivered);
        if (LOWORD(eos) == LOWORD(VARIANT_TRUE)) break;
    }
    std::vector<int16_t> values(bytes.size() / 2);
    for (size_t i = 0; i < values.size(); ++i) values[i] = int16_t(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return values;
}

// SNR of both channels of stereo pcm against the tone, from output frame
// first on, output frame k lying at seconds offset + k / rate.
double StereoSnrDb(const std::vector<int16_t>& pcm, unsigned rate, double offset, size_t first) {
    double signal = 0.0, noise = 0.0;
    const size_t frames = pcm.size() / 2;
    for (size_t k = first; k + first < frames; ++k) {
        const double ideal = kAmplitude * std::sin(2.0 * kPi * kToneHz * (offset + double(k) / rate));
        for (int c = 0; c < 2; ++c) {
            const double e = pcm[2 * k + c] / 32767.0 - ideal;
            signal += ideal * ideal;
            noise += e * e;
        }
    }
    return 10.0 * std::log10(signal / noise);
}

struct Conversion {
    unsigned inRate, inChannels, outRate;
};

class GraphConversion : public ::testing::TestWithParam<Conversion> {};

TEST_P(GraphConversion, DeliversTheWholeResampledToneToTheEnd) {
    const Conversion c = GetParam();
    const double seconds = 2.0;
    const std::wstring wav = WriteToneWav(L"trn_fitter_tone.wav", c.inRate, c.inChannels, seconds);
    Graph g;
    BuildGraph(wav, c.outRate, 5292000, g);
    if (HasFatalFailure()) return;
    CWatchdog dog(120, "conversion to the end of stream");
    Start(g, 0);
    const std::vector<int16_t> pcm = ReadToEnd(g);

    const double expectedFrames = seconds * c.outRate;
    EXPECT_NEAR(expectedFrames, pcm.size() / 2.0, 1.0);
    for (size_t k = 0; k + 1 < pcm.size(); k += 2) ASSERT_EQ(pcm[k], pcm[k + 1]) << "channels differ at " << k;
    const double snr = StereoSnrDb(pcm, c.outRate, 0.0, c.outRate / 20);
    EXPECT_GE(snr, 60.0);
    std::printf("%u Hz x%u -> %u Hz: %zu frames, SNR %.1f dB\n", c.inRate, c.inChannels, c.outRate, pcm.size() / 2,
                snr);
    EXPECT_EQ(S_OK, g.control->Stop());
}

INSTANTIATE_TEST_SUITE_P(Rates, GraphConversion,
                         ::testing::Values(Conversion{22050, 1, 44100}, Conversion{32000, 2, 48000},
                                           Conversion{44100, 2, 44100}, Conversion{96000, 2, 44100}),
                         [](const ::testing::TestParamInfo<Conversion>& info) {
                             return std::to_string(info.param.inRate) + "x" + std::to_string(info.param.inChannels) +
                                    "to" + std::to_string(info.param.outRate);
                         });

TEST(Graph, StreamsWhileThePlatformLeavesItPaused) {
    const std::wstring wav = WriteToneWav(L"trn_fitter_paused.wav", 22050, 1, 1.0);
    Graph g;
    BuildGraph(wav, 44100, 65536, g);
    if (HasFatalFailure()) return;
    CWatchdog dog(60, "paused graph");
    LONGLONG position = 0;
    ASSERT_EQ(S_OK,
              g.seeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning));
    const HRESULT hr = g.control->Pause();
    ASSERT_TRUE(hr == S_OK || hr == S_FALSE) << std::hex << hr;
    EXPECT_NEAR(44100.0, ReadToEnd(g).size() / 2.0, 1.0);
    EXPECT_EQ(S_OK, g.control->Stop());
}

TEST(Graph, StopWithTheSinkFullReturnsAndRunAgainStartsOver) {
    const std::wstring wav = WriteToneWav(L"trn_fitter_long.wav", 22050, 1, 10.0);
    Graph g;
    BuildGraph(wav, 44100, 16384, g);
    if (HasFatalFailure()) return;
    {
        CWatchdog dog(60, "first run");
        Start(g, 0);
        // Nothing is read until the sink is full.
        WaitForSinks("the sink filled", 50, [](const HostDlnaSinkState& s) { return s.m_dwFull == 1; });
    }
    {
        CWatchdog dog(30, "IMediaControl::Stop with the sink full");
        const DWORD before = ::GetTickCount();
        EXPECT_EQ(S_OK, g.control->Stop());
        std::printf("Stop with a full sink took %lu ms\n", ::GetTickCount() - before);
    }
    {
        CWatchdog dog(30, "ReadData after Stop");
        // What the buffer held is still there; then the reader is told.
        HRESULT hr = S_OK;
        DWORD total = 0;
        BYTE chunk[4096];
        while (hr == S_OK) {
            DWORD delivered = 0, eos = 0;
            hr = g.buffer->ReadData(chunk, sizeof chunk, &delivered, &eos);
            total += delivered;
            ASSERT_LE(total, 16384u);
        }
        EXPECT_EQ(VFW_E_WRONG_STATE, hr);
        EXPECT_EQ(16384u, total) << "the sink was not full";
    }
    {
        CWatchdog dog(120, "second run");
        Start(g, 0);
        const std::vector<int16_t> pcm = ReadToEnd(g);
        EXPECT_NEAR(10.0 * 44100, pcm.size() / 2.0, 1.0);
        EXPECT_GE(StereoSnrDb(pcm, 44100, 0.0, 2205), 60.0);
        EXPECT_EQ(S_OK, g.control->Stop());
    }
}

TEST(Graph, SeekingGoesUpstreamThroughSinkAndFitter) {
    const double seconds = 3.0;
    const std::wstring wav = WriteToneWav(L"trn_fitter_seek.wav", 32000, 2, seconds);
    Graph g;
    BuildGraph(wav, 44100, 5292000, g);
    if (HasFatalFailure()) return;

    // The sink's own IMediaSeeking reaches the parser through the fitter.
    ComPtr<IMediaSeeking> sinkSeeking, fitterSeeking;
    ASSERT_EQ(S_OK, g.sink.query_to(IID_IMediaSeeking, sinkSeeking));
    ASSERT_EQ(S_OK, g.fitter.query_to(IID_IMediaSeeking, fitterSeeking));
    LONGLONG duration = 0;
    ASSERT_EQ(S_OK, sinkSeeking->GetDuration(&duration));
    EXPECT_EQ(LONGLONG(seconds * 10000000), duration);
    duration = 0;
    ASSERT_EQ(S_OK, fitterSeeking->GetDuration(&duration));
    EXPECT_EQ(LONGLONG(seconds * 10000000), duration);
    ASSERT_EQ(S_OK, g.seeking->GetDuration(&duration));
    EXPECT_EQ(LONGLONG(seconds * 10000000), duration);

    CWatchdog dog(120, "seek and read");
    const double at = 1.0;
    Start(g, LONGLONG(at * 10000000));
    LONGLONG current = -1;
    EXPECT_EQ(S_OK, sinkSeeking->GetCurrentPosition(&current));
    std::printf("position after the seek: %lld\n", static_cast<long long>(current));
    const std::vector<int16_t> pcm = ReadToEnd(g);
    EXPECT_NEAR((seconds - at) * 44100, pcm.size() / 2.0, 1.0);
    EXPECT_GE(StereoSnrDb(pcm, 44100, at, 2205), 60.0);
    EXPECT_EQ(S_OK, g.control->Stop());
}

TEST(Graph, ASeekWhileStreamingFlushesTheSinkAndNewDataFlows) {
    const double seconds = 3.0;
    const std::wstring wav = WriteToneWav(L"trn_fitter_reseek.wav", 32000, 2, seconds);
    Graph g;
    BuildGraph(wav, 44100, 65536, g);
    if (HasFatalFailure()) return;
    CWatchdog dog(120, "seek while streaming");
    Start(g, 0);
    std::vector<BYTE> chunk(44100 * 2);  // half a second
    DWORD delivered = 0, eos = 0;
    ASSERT_EQ(S_OK, g.buffer->ReadData(chunk.data(), DWORD(chunk.size()), &delivered, &eos));
    ASSERT_GT(delivered, 0u);

    const double at = 2.0;
    LONGLONG position = LONGLONG(at * 10000000);
    ASSERT_EQ(S_OK,
              g.seeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning));
    const std::vector<int16_t> pcm = ReadToEnd(g);
    EXPECT_NEAR((seconds - at) * 44100, pcm.size() / 2.0, 1.0) << "data from before the seek kept";
    EXPECT_GE(StereoSnrDb(pcm, 44100, at, 2205), 60.0);
    EXPECT_EQ(S_OK, g.control->Stop());
}

// A ReadData waiting for data that never comes is woken by Stop.
struct PendingRead {
    ComPtr<IDlnaSrcBuffer> buffer;
    HRESULT hr = E_PENDING;
    DWORD delivered = 1;
};

DWORD WINAPI ReadOnce(void* context) {
    auto* read = static_cast<PendingRead*>(context);
    BYTE chunk[64];
    DWORD eos = 0;
    read->hr = read->buffer->ReadData(chunk, sizeof chunk, &read->delivered, &eos);
    return 0;
}

TEST(Sink, StopWakesAReadDataWaitingForData) {
    ComPtr<IBaseFilter> sink;
    ASSERT_EQ(S_OK, ::CoCreateInstance(CLSID_HostDlnaSink, nullptr, CLSCTX_ALL, IID_IBaseFilter, sink.put_void()));
    PendingRead read;
    ASSERT_EQ(S_OK, sink.query_to(read.buffer));
    DWORD delivered = 1, eos = 1;
    BYTE chunk[8];
    CWatchdog dog(30, "ReadData and Stop");
    EXPECT_EQ(VFW_E_WRONG_STATE, read.buffer->ReadData(chunk, 8, &delivered, &eos)) << "never started";
    EXPECT_EQ(0u, delivered);

    ASSERT_EQ(S_OK, sink->Pause());
    UniqueHandle thread(::CreateThread(nullptr, 0, &ReadOnce, &read, 0, nullptr));
    WaitForSinks("ReadData waits", 20, [&](const HostDlnaSinkState& s) {
        return s.m_dwReadersWaiting == 1 || ::WaitForSingleObject(thread.get(), 0) == WAIT_OBJECT_0;
    });
    EXPECT_EQ(WAIT_TIMEOUT, ::WaitForSingleObject(thread.get(), 0)) << "returned without data";
    ASSERT_EQ(S_OK, sink->Stop());
    ::WaitForSingleObject(thread.get(), INFINITE);
    EXPECT_EQ(VFW_E_WRONG_STATE, read.hr);
    EXPECT_EQ(0u, read.delivered);
}

TEST(Sink, IsARendererThatOffersNoTypesAndTakesOnly16BitPcm) {
    ComPtr<IBaseFilter> sink;
    ASSERT_EQ(S_OK, ::CoCreateInstance(CLSID_HostDlnaSink, nullptr, CLSCTX_ALL, IID_IBaseFilter, sink.put_void()));
    ComPtr<IAMFilterMiscFlags> flags;
    ASSERT_EQ(S_OK, sink.query_to(IID_IAMFilterMiscFlags, flags));
    EXPECT_EQ(ULONG(AM_FILTER_MISC_FLAGS_IS_RENDERER), flags->GetMiscFlags());

    ComPtr<IDlnaSrcBuffer> buffer;
    ASSERT_EQ(S_OK, sink.query_to(buffer));
    DWORD size = 0;
    EXPECT_EQ(S_OK, buffer->SetBufferSize(5292000));
    EXPECT_EQ(S_OK, buffer->GetBufferSize(&size));
    EXPECT_EQ(5292000u, size);
    EXPECT_EQ(E_INVALIDARG, buffer->SetBufferSize(0));

    ComPtr<IPin> in = GetPin(sink, PINDIR_INPUT);
    ASSERT_TRUE(in);
    ComPtr<IEnumMediaTypes> types;
    ASSERT_EQ(S_OK, in->EnumMediaTypes(types.put()));
    AM_MEDIA_TYPE* mt = nullptr;
    EXPECT_EQ(S_FALSE, types->Next(1, &mt, nullptr));

    WAVEFORMATEX wf = {WAVE_FORMAT_PCM, 1, 22050, 44100, 2, 16, 0};
    AM_MEDIA_TYPE pcm = {};
    pcm.majortype = MEDIATYPE_Audio;
    pcm.subtype = MEDIASUBTYPE_PCM;
    pcm.formattype = FORMAT_WaveFormatEx;
    pcm.cbFormat = sizeof wf;
    pcm.pbFormat = reinterpret_cast<BYTE*>(&wf);
    EXPECT_EQ(S_OK, in->QueryAccept(&pcm));
    wf.wBitsPerSample = 8;
    wf.nBlockAlign = 1;
    EXPECT_EQ(S_FALSE, in->QueryAccept(&pcm));
    wf = {WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0};
    pcm.subtype = MEDIASUBTYPE_IEEE_FLOAT;
    EXPECT_EQ(S_FALSE, in->QueryAccept(&pcm));
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s KisoWaveFitterFilter.ax\n", argv[0]);
        return 2;
    }
    const std::string path = argv[1];
    g_fitterPath.assign(path.begin(), path.end());
    ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const int result = RUN_ALL_TESTS();
    ::CoUninitialize();
    return result;
}
