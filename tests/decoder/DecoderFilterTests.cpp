// The decoder filter in the platform's own graph under Wine: the file source
// feeds it, the sound renderer takes its output directly, and a test sink
// counts what it delivers, across seeks, stops and a sink that blocks.
#include <gtest/gtest.h>

#include "AacTrack.h"
#include "BoxWriter.h"
#include "DecoderStreamer.h"
#include "MediaTime.h"
#include "TestSink.h"
#include "ToneFrameDecoder.h"
#include "base/ComPtr.h"
#include "common/SmfAbsStreamImpl.h"
#include "base/UniqueResource.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::wstring g_decoderPath;

typedef HRESULT(STDAPICALLTYPE* GetClassObjectFn)(REFCLSID, REFIID, void**);
typedef HRESULT(STDAPICALLTYPE* CanUnloadFn)();

const CLSID CLSID_Decoder = {0x6C350194, 0xF0BF, 0x49CB, {0x98, 0x49, 0xE9, 0x5E, 0x96, 0x2F, 0x7D, 0xEB}};

const wchar_t kRendererPin[] = L"Audio Input pin (rendered)";
const DWORD kWaitMs = 20000;

std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::string TestDataPath(const std::string& name) { return std::string(TRN_TESTDATA_DIR "/") + name; }

// The file as the file source opens it (the prefix maps Z: to /).
std::wstring WindowsPath(const std::string& unixPath) {
    std::wstring path = L"Z:" + Widen(unixPath);
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    return path;
}

std::vector<BYTE> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<BYTE>(std::istreambuf_iterator<char>(in), {});
}

// Writes a file beside the test; its full Windows path.
std::string WriteTestFile(const std::string& name, const std::vector<BYTE>& bytes) {
    std::ofstream(name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    char full[MAX_PATH] = {};
    ::GetFullPathNameA(name.c_str(), MAX_PATH, full, nullptr);
    return full;
}

// The committed 22050 Hz sample with SBR declared in its configuration
// (ffmpeg leaves the sync extension with sbrPresentFlag 0 as the last byte).
std::string MakeSbrSample() {
    std::vector<BYTE> bytes = ReadAll(TestDataPath("aac-22050-mono.mp4"));
    const BYTE tag[] = {0x05, 0x80, 0x80, 0x80, 0x05};
    auto at = std::search(bytes.begin(), bytes.end(), std::begin(tag), std::end(tag));
    if (at == bytes.end()) return std::string();
    bytes[size_t(at - bytes.begin()) + sizeof tag + 4] = 0x80;
    return WriteTestFile("decoder-sbr-22050.mp4", bytes);
}

// Frame facts of a file, read by the same portable code the filter uses.
CAacTrack OpenTrack(const std::string& path) {
    CAacTrack track;
    const std::string local = path.find(':') == std::string::npos ? "Z:" + path : path;
    ISmfAbsStream* stream = OpenFileStream(Widen(local).c_str());
    track.Open(stream, stream->StreamSize(), PcmSource::Tone);
    stream->Release();
    return track;
}

// What the decoder should deliver from `firstFrame` to the end.
std::vector<BYTE> ExpectedPcm(const CAacTrack& track, uint32_t firstFrame) {
    const PcmLayout& layout = track.Layout();
    CToneFrameDecoder tone(layout);
    std::vector<BYTE> out;
    std::vector<int16_t> frame(size_t(layout.samplesPerFrame) * layout.channels);
    for (uint32_t i = firstFrame; i < track.Frames().Count(); ++i) {
        tone.DecodeFrame(nullptr, 0, track.FirstSampleOf(i), frame.data());
        const BYTE* p = reinterpret_cast<const BYTE*>(frame.data());
        out.insert(out.end(), p, p + frame.size() * 2);
    }
    return out;
}

ComPtr<IPin> FindPin(IBaseFilter* filter, PIN_DIRECTION wanted) {
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.put()))) return nullptr;
    ComPtr<IPin> pin;
    while (pins->Next(1, pin.put(), nullptr) == S_OK) {
        PIN_DIRECTION direction;
        if (SUCCEEDED(pin->QueryDirection(&direction)) && direction == wanted) return pin;
    }
    return nullptr;
}

ComPtr<IPin> FindRendererInputPin(IGraphBuilder* graph) {
    ComPtr<IEnumFilters> filters;
    if (FAILED(graph->EnumFilters(filters.put()))) return nullptr;
    ComPtr<IBaseFilter> filter;
    while (filters->Next(1, filter.put(), nullptr) == S_OK) {
        ComPtr<IPin> pin;
        if (SUCCEEDED(filter->FindPin(kRendererPin, pin.put()))) return pin;
    }
    return nullptr;
}

bool SameObject(IUnknown* a, IUnknown* b) {
    ComPtr<IUnknown> ua, ub;
    a->QueryInterface(IID_IUnknown, ua.put_void());
    b->QueryInterface(IID_IUnknown, ub.put_void());
    return ua.get() == ub.get();
}

// Threads of this process.
int ThreadCount() {
    UniqueFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = ::Thread32First(snapshot.get(), &entry); more; more = ::Thread32Next(snapshot.get(), &entry))
        if (entry.th32OwnerProcessID == ::GetCurrentProcessId()) ++count;
    return count;
}

// Threads exit a little after the graph that ran them is released: the
// count once it has held still for half a second, or after ten seconds.
int SettledThreadCount() {
    const DWORD start = ::GetTickCount();
    DWORD changed = start;
    int count = ThreadCount();
    while (::GetTickCount() - changed < 500 && ::GetTickCount() - start < 10000) {
        ::Sleep(20);
        const int now = ThreadCount();
        if (now != count) changed = ::GetTickCount();
        count = now;
    }
    return count;
}

// The count once it is at most limit, or after ten seconds.
int ThreadCountAtMost(int limit) {
    const DWORD start = ::GetTickCount();
    int count = ThreadCount();
    while (count > limit && ::GetTickCount() - start < 10000) {
        ::Sleep(20);
        count = ThreadCount();
    }
    return count;
}

DWORD WINAPI StopGraph(void* control) {
    static_cast<IMediaControl*>(control)->Stop();
    return 0;
}

class DecoderGraphTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dll.reset(::LoadLibraryExW(g_decoderPath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
        ASSERT_TRUE(m_dll.valid()) << "cannot load the decoder DLL";
        m_getClassObject = reinterpret_cast<GetClassObjectFn>(
            reinterpret_cast<void*>(::GetProcAddress(m_dll.get(), "DllGetClassObject")));
        m_canUnload =
            reinterpret_cast<CanUnloadFn>(reinterpret_cast<void*>(::GetProcAddress(m_dll.get(), "DllCanUnloadNow")));
        ASSERT_TRUE(m_getClassObject && m_canUnload);
    }

    void TearDown() override {
        if (m_control) m_control->Stop();
        m_sink.reset();
        m_decoderOut.reset();
        m_decoder.reset();
        m_seeking.reset();
        m_control.reset();
        m_graph.reset();
        m_sinkObject = nullptr;
    }

    // File source → decoder, as the transcoder builds it.
    void BuildSourceAndDecoder(const std::string& file) {
        const std::wstring path = file.find(':') == std::string::npos ? WindowsPath(file) : Widen(file);
        ASSERT_EQ(S_OK, ::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                           m_graph.put_void()));
        ASSERT_EQ(S_OK, m_graph.query_to(IID_IMediaControl, m_control));
        ASSERT_EQ(S_OK, m_graph.query_to(IID_IMediaSeeking, m_seeking));
        ASSERT_EQ(S_OK, m_seeking->SetTimeFormat(&TIME_FORMAT_MEDIA_TIME));

        ComPtr<IBaseFilter> source;
        ASSERT_EQ(S_OK, ::CoCreateInstance(CLSID_AsyncReader, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                           source.put_void()));
        ASSERT_EQ(S_OK, m_graph->AddFilter(source.get(), nullptr));
        ComPtr<IFileSourceFilter> load;
        ASSERT_EQ(S_OK, source.query_to(IID_IFileSourceFilter, load));
        AM_MEDIA_TYPE stream = {};
        stream.majortype = MEDIATYPE_Stream;
        ASSERT_EQ(S_OK, load->Load(path.c_str(), &stream));

        ComPtr<IClassFactory> factory;
        ASSERT_EQ(S_OK, m_getClassObject(CLSID_Decoder, IID_IClassFactory, factory.put_void()));
        ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IBaseFilter, m_decoder.put_void()));
        ASSERT_EQ(S_OK, m_graph->AddFilter(m_decoder.get(), L"KisoMp4AacDecoder"));
        ComPtr<IPin> sourceOut = FindPin(source.get(), PINDIR_OUTPUT);
        ComPtr<IPin> decoderIn = FindPin(m_decoder.get(), PINDIR_INPUT);
        ASSERT_TRUE(sourceOut && decoderIn);
        ASSERT_EQ(S_OK, m_graph->Connect(sourceOut.get(), decoderIn.get()));
        m_decoderOut = FindPin(m_decoder.get(), PINDIR_OUTPUT);
        ASSERT_TRUE(m_decoderOut);
    }

    // The test sink straight on the decoder's output.
    void AttachSink() {
        m_sinkObject = new CTestSink();
        m_sink.attach(static_cast<IBaseFilter*>(m_sinkObject));
        ASSERT_EQ(S_OK, m_graph->AddFilter(m_sink.get(), L"Sink"));
        ASSERT_EQ(S_OK, m_graph->ConnectDirect(m_decoderOut.get(), m_sinkObject->Pin(), nullptr));
    }

    void BuildWithSink(const std::string& path) {
        BuildSourceAndDecoder(path);
        if (!HasFatalFailure()) AttachSink();
    }

    // Runs to the end of the stream and stops; the bytes that arrived.
    std::vector<BYTE> RunToEnd() {
        m_sinkObject->Clear();
        EXPECT_TRUE(SUCCEEDED(m_control->Run()));
        EXPECT_TRUE(m_sinkObject->WaitForEndOfStream(kWaitMs));
        std::vector<BYTE> bytes = m_sinkObject->Bytes();
        EXPECT_TRUE(SUCCEEDED(m_control->Stop()));
        return bytes;
    }

    void Seek(IMediaSeeking* seeking, REFERENCE_TIME position) {
        ASSERT_EQ(S_OK,
                  seeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning));
    }

    ComPtr<IMediaSeeking> DecoderSeeking() {
        ComPtr<IMediaSeeking> seeking;
        m_decoder.query_to(IID_IMediaSeeking, seeking);
        return seeking;
    }

    UniqueHmodule m_dll;
    GetClassObjectFn m_getClassObject = nullptr;
    CanUnloadFn m_canUnload = nullptr;
    ComPtr<IGraphBuilder> m_graph;
    ComPtr<IMediaControl> m_control;
    ComPtr<IMediaSeeking> m_seeking;
    ComPtr<IBaseFilter> m_decoder;
    ComPtr<IPin> m_decoderOut;
    ComPtr<IBaseFilter> m_sink;
    CTestSink* m_sinkObject = nullptr;  // owned through m_sink
};

TEST_F(DecoderGraphTest, RenderConnectsTheSoundRendererToTheDecoderDirectly) {
    const std::string file = TestDataPath("aac-48000-stereo.mp4");
    BuildSourceAndDecoder(file);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_EQ(S_OK, m_graph->Render(m_decoderOut.get()));
    {
        ComPtr<IPin> rendererIn = FindRendererInputPin(m_graph.get());
        ASSERT_TRUE(rendererIn);
        ComPtr<IPin> upstream;
        ASSERT_EQ(S_OK, rendererIn->ConnectedTo(upstream.put()));
        EXPECT_TRUE(SameObject(upstream.get(), m_decoderOut.get()));
    }

    AM_MEDIA_TYPE mt = {};
    ASSERT_EQ(S_OK, m_decoderOut->ConnectionMediaType(&mt));
    CMediaType connected;
    connected.Get() = mt;  // takes over the format block
    EXPECT_TRUE(IsEqualGUID(MEDIASUBTYPE_PCM, connected.Get().subtype));
    const WAVEFORMATEX* wfx = connected.WaveFormat();
    ASSERT_TRUE(wfx);
    EXPECT_EQ(WAVE_FORMAT_PCM, wfx->wFormatTag);
    EXPECT_EQ(48000u, wfx->nSamplesPerSec);
    EXPECT_EQ(2, wfx->nChannels);
    EXPECT_EQ(16, wfx->wBitsPerSample);

    // Freed one-sidedly, as the transcoder does, the output takes the next
    // filter; the graph then only pauses, which is when the decoder streams.
    ASSERT_EQ(S_OK, m_graph->Disconnect(m_decoderOut.get()));
    AttachSink();
    ASSERT_FALSE(HasFatalFailure());
    m_sinkObject->Clear();
    // With the renderer left behind, Run answers S_FALSE and the filters
    // stay paused: the decoder has to stream from Pause.
    const HRESULT run = m_control->Run();
    EXPECT_TRUE(SUCCEEDED(run));
    FILTER_STATE state = State_Stopped;
    m_decoder->GetState(0, &state);
    EXPECT_NE(State_Stopped, state);
    ASSERT_TRUE(m_sinkObject->WaitForEndOfStream(kWaitMs));
    const std::vector<BYTE> bytes = m_sinkObject->Bytes();
    EXPECT_TRUE(SUCCEEDED(m_control->Stop()));
    const CAacTrack track = OpenTrack(file);
    EXPECT_EQ(48u * 1024 * 2 * 2, bytes.size());
    EXPECT_TRUE(bytes == ExpectedPcm(track, 0));
    // The renderer left behind lets go of the decoder with the graph.
    TearDown();
    EXPECT_EQ(S_OK, m_canUnload());
}

TEST_F(DecoderGraphTest, DeliversThePcmOfEveryFrameInSamplesTimedOnWithoutGaps) {
    struct Case {
        std::string path;
        uint32_t rate, channels, samplesPerFrame, frames;
    } cases[] = {
        {TestDataPath("aac-48000-stereo.mp4"), 48000, 2, 1024, 48},
        {TestDataPath("aac-22050-mono.mp4"), 22050, 1, 1024, 34},
        {MakeSbrSample(), 44100, 1, 2048, 34},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        ASSERT_FALSE(c.path.empty());
        BuildWithSink(c.path);
        ASSERT_FALSE(HasFatalFailure());
        AM_MEDIA_TYPE mt = {};
        ASSERT_EQ(S_OK, m_decoderOut->ConnectionMediaType(&mt));
        CMediaType connected;
        connected.Get() = mt;
        ASSERT_TRUE(connected.WaveFormat());
        EXPECT_EQ(c.rate, connected.WaveFormat()->nSamplesPerSec);
        EXPECT_EQ(c.channels, connected.WaveFormat()->nChannels);

        const std::vector<BYTE> bytes = RunToEnd();
        EXPECT_EQ(size_t(c.frames) * c.samplesPerFrame * c.channels * 2, bytes.size());
        const CAacTrack track = OpenTrack(c.path);
        EXPECT_TRUE(bytes == ExpectedPcm(track, 0));
        // Several frames per sample; times count on in output samples from
        // the segment start.
        const uint32_t perSample = CDecoderStreamer::kFramesPerSample;
        const std::vector<REFERENCE_TIME> starts = m_sinkObject->StartTimes();
        ASSERT_EQ((c.frames + perSample - 1) / perSample, starts.size());
        for (uint32_t i = 0; i < starts.size(); ++i)
            EXPECT_EQ(ScaleToReferenceTime(uint64_t(i) * perSample * c.samplesPerFrame, c.rate), starts[i]);
        EXPECT_EQ(std::vector<REFERENCE_TIME>{0}, m_sinkObject->SegmentStarts());
        EXPECT_EQ(1, m_sinkObject->EndsOfStream());
        TearDown();
    }
}

TEST_F(DecoderGraphTest, SeekStartsAtTheFrameThatHoldsThePosition) {
    const std::string file = TestDataPath("aac-48000-stereo.mp4");
    BuildWithSink(file);
    ASSERT_FALSE(HasFatalFailure());
    const CAacTrack track = OpenTrack(file);
    const std::vector<BYTE> full = RunToEnd();
    ASSERT_TRUE(ExpectedPcm(track, 0) == full);

    LONGLONG duration = 0;
    EXPECT_EQ(S_OK, m_seeking->GetDuration(&duration));
    EXPECT_EQ(10213333, duration);
    DWORD caps = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanGetDuration;
    EXPECT_EQ(S_OK, DecoderSeeking()->CheckCapabilities(&caps));

    const uint32_t frameBytes = track.Layout().FrameBytes();
    // Mid-frame, exactly on a frame's start, and repeated while stopped.
    for (const REFERENCE_TIME position : {REFERENCE_TIME(5000000), track.Frames().FrameStartTime(7)}) {
        const uint32_t frame = track.Frames().FrameAt(position);
        for (int i = 0; i < 3; ++i) Seek(m_seeking.get(), position);
        const std::vector<BYTE> tail = RunToEnd();
        ASSERT_EQ(full.size() - size_t(frame) * frameBytes, tail.size()) << position;
        EXPECT_TRUE(std::equal(tail.begin(), tail.end(), full.begin() + size_t(frame) * frameBytes));
        ASSERT_FALSE(m_sinkObject->SegmentStarts().empty());
        EXPECT_EQ(track.Frames().FrameStartTime(frame), m_sinkObject->SegmentStarts().back());
        EXPECT_EQ(0, m_sinkObject->StartTimes().front());
    }
    EXPECT_EQ(23u, track.Frames().FrameAt(5000000));
    EXPECT_EQ(7u, track.Frames().FrameAt(track.Frames().FrameStartTime(7)));

    // Past the end: nothing but the end of the stream.
    Seek(DecoderSeeking().get(), duration + 1);
    EXPECT_TRUE(RunToEnd().empty());
    EXPECT_EQ(1, m_sinkObject->EndsOfStream());
}

TEST_F(DecoderGraphTest, StopReturnsWhileTheSinkBlocksAndStreamingResumesAfter) {
    const std::string file = TestDataPath("aac-48000-stereo.mp4");
    BuildWithSink(file);
    ASSERT_FALSE(HasFatalFailure());
    m_sinkObject->Clear();
    m_sinkObject->BlockAfter(1);
    ASSERT_TRUE(SUCCEEDED(m_control->Run()));
    ASSERT_TRUE(m_sinkObject->WaitUntilBlocked(kWaitMs));

    DWORD id = 0;
    UniqueHandle stopper(::CreateThread(nullptr, 0, &StopGraph, m_control.get(), 0, &id));
    ASSERT_TRUE(stopper.valid());
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(stopper.get(), kWaitMs)) << "Stop deadlocked";
    EXPECT_EQ(size_t(CDecoderStreamer::kFramesPerSample) * 4096, m_sinkObject->Bytes().size());

    m_sinkObject->BlockAfter(CTestSink::kNoLimit);
    const std::vector<BYTE> again = RunToEnd();
    EXPECT_TRUE(again == ExpectedPcm(OpenTrack(file), 0));
}

TEST_F(DecoderGraphTest, SeekWhileStreamingFlushesAndRestartsAtTheNewFrame) {
    const std::string file = TestDataPath("aac-48000-stereo.mp4");
    BuildWithSink(file);
    ASSERT_FALSE(HasFatalFailure());
    const CAacTrack track = OpenTrack(file);
    m_sinkObject->Clear();
    m_sinkObject->BlockAfter(1);
    ASSERT_TRUE(SUCCEEDED(m_control->Run()));
    ASSERT_TRUE(m_sinkObject->WaitUntilBlocked(kWaitMs));

    const REFERENCE_TIME position = 3000000;
    Seek(DecoderSeeking().get(), position);  // returns once streaming restarted
    EXPECT_EQ(1, m_sinkObject->Flushes());
    m_sinkObject->Unblock();
    ASSERT_TRUE(m_sinkObject->WaitForEndOfStream(kWaitMs));
    EXPECT_TRUE(m_sinkObject->BytesSinceFlush() == ExpectedPcm(track, track.Frames().FrameAt(position)));
    const std::vector<REFERENCE_TIME> segments = m_sinkObject->SegmentStarts();
    ASSERT_EQ(2u, segments.size());
    EXPECT_EQ(track.Frames().FrameStartTime(track.Frames().FrameAt(position)), segments[1]);
    EXPECT_EQ(S_OK, m_control->Stop());
}

TEST_F(DecoderGraphTest, FragmentedMovieStreamsItsTrackRuns) {
    const std::string file = TestDataPath("aac-44100-fragmented.mp4");
    BuildWithSink(file);
    ASSERT_FALSE(HasFatalFailure());
    const std::vector<BYTE> bytes = RunToEnd();
    EXPECT_EQ(88u * 1024 * 2 * 2, bytes.size());
    EXPECT_TRUE(bytes == ExpectedPcm(OpenTrack(file), 0));
}

TEST_F(DecoderGraphTest, SamplesPastTheEndOfTheFileEndTheStreamCleanly) {
    // Ten 100-byte samples promised from offset 0 of a much shorter file.
    const std::vector<BYTE> bytes = boxw::AudioFile();
    const std::string file = WriteTestFile("decoder-short-samples.mp4", bytes);
    const CAacTrack track = OpenTrack(file);
    ASSERT_TRUE(track.IsOpen());
    ASSERT_TRUE(track.Frames().Truncated());
    BuildWithSink(file);
    ASSERT_FALSE(HasFatalFailure());
    const std::vector<BYTE> pcm = RunToEnd();
    EXPECT_EQ(size_t(bytes.size() / 100) * 1024 * 2 * 2, pcm.size());
    EXPECT_EQ(1, m_sinkObject->EndsOfStream());
}

TEST_F(DecoderGraphTest, RefusesASourceWithoutAacAudio) {
    for (const std::string name : {"ffprobe.txt", "README"}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(S_OK, ::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                           m_graph.put_void()));
        ComPtr<IBaseFilter> source;
        ASSERT_EQ(S_OK, m_graph->AddSourceFilter(WindowsPath(TestDataPath(name)).c_str(), nullptr, source.put()));
        ComPtr<IClassFactory> factory;
        ASSERT_EQ(S_OK, m_getClassObject(CLSID_Decoder, IID_IClassFactory, factory.put_void()));
        ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IBaseFilter, m_decoder.put_void()));
        ASSERT_EQ(S_OK, m_graph->AddFilter(m_decoder.get(), L"KisoMp4AacDecoder"));
        ComPtr<IPin> sourceOut = FindPin(source.get(), PINDIR_OUTPUT);
        ComPtr<IPin> decoderIn = FindPin(m_decoder.get(), PINDIR_INPUT);
        EXPECT_TRUE(FAILED(m_graph->ConnectDirect(sourceOut.get(), decoderIn.get(), nullptr)));
        ComPtr<IPin> peer;
        EXPECT_EQ(VFW_E_NOT_CONNECTED, decoderIn->ConnectedTo(peer.put()));
        // Nothing to offer downstream either.
        ComPtr<IEnumMediaTypes> types;
        ASSERT_EQ(S_OK, FindPin(m_decoder.get(), PINDIR_OUTPUT)->EnumMediaTypes(types.put()));
        AM_MEDIA_TYPE* type = nullptr;
        EXPECT_EQ(S_FALSE, types->Next(1, &type, nullptr));
        TearDown();
    }
}

TEST_F(DecoderGraphTest, StopPositionEndsTheStreamAfterItsFrame) {
    const std::string file = TestDataPath("aac-48000-stereo.mp4");
    BuildWithSink(file);
    ASSERT_FALSE(HasFatalFailure());
    const CAacTrack track = OpenTrack(file);
    REFERENCE_TIME start = 2000000, stop = 6000000;
    ASSERT_EQ(S_OK, DecoderSeeking()->SetPositions(&start, AM_SEEKING_AbsolutePositioning, &stop,
                                                   AM_SEEKING_AbsolutePositioning));
    LONGLONG current = 0, end = 0;
    EXPECT_EQ(S_OK, DecoderSeeking()->GetPositions(&current, &end));
    EXPECT_EQ(start, current);
    EXPECT_EQ(stop, end);
    const uint32_t first = track.Frames().FrameAt(start), last = track.Frames().FrameAt(stop);
    const std::vector<BYTE> bytes = RunToEnd();
    const std::vector<BYTE> full = ExpectedPcm(track, 0);
    const size_t frameBytes = track.Layout().FrameBytes();
    ASSERT_EQ((last + 1 - first) * frameBytes, bytes.size());
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), full.begin() + first * frameBytes));
}

TEST_F(DecoderGraphTest, OutputPinSeeksTheSamePosition) {
    // A filter downstream passes seeking up to the pin it is connected to.
    const std::string file = TestDataPath("aac-48000-stereo.mp4");
    BuildWithSink(file);
    ASSERT_FALSE(HasFatalFailure());
    ComPtr<IMediaSeeking> pinSeeking;
    ASSERT_EQ(S_OK, m_decoderOut.query_to(IID_IMediaSeeking, pinSeeking));
    LONGLONG duration = 0;
    EXPECT_EQ(S_OK, pinSeeking->GetDuration(&duration));
    EXPECT_EQ(10213333, duration);
    EXPECT_EQ(S_FALSE, pinSeeking->IsFormatSupported(&TIME_FORMAT_SAMPLE));
    EXPECT_EQ(E_INVALIDARG, pinSeeking->SetTimeFormat(&TIME_FORMAT_BYTE));

    Seek(pinSeeking.get(), 4000000);
    REFERENCE_TIME back = -1500000;  // relative to the current position
    ASSERT_EQ(S_OK, pinSeeking->SetPositions(&back, AM_SEEKING_RelativePositioning | AM_SEEKING_ReturnTime, nullptr,
                                             AM_SEEKING_NoPositioning));
    EXPECT_EQ(2500000, back);
    LONGLONG current = 0;
    EXPECT_EQ(S_OK, DecoderSeeking()->GetCurrentPosition(&current));
    EXPECT_EQ(2500000, current);
    const CAacTrack track = OpenTrack(file);
    const uint32_t frame = track.Frames().FrameAt(2500000);
    EXPECT_TRUE(RunToEnd() == ExpectedPcm(track, frame));
}

// Real decoding (the filter created without the tone): the edit list's
// samples exactly, as ffmpeg decodes them, and a seek lands on its sample.
TEST_F(DecoderGraphTest, DecodesTheEditedSamplesAndSeeksToTheSample) {
    ::SetEnvironmentVariableW(L"TRN_DECODER_TONE", nullptr);
    const std::string file = TestDataPath("aac/music-44100-stereo.m4a");
    BuildWithSink(file);
    ::SetEnvironmentVariableW(L"TRN_DECODER_TONE", L"1");
    ASSERT_FALSE(HasFatalFailure());
    LONGLONG duration = 0;
    EXPECT_EQ(S_OK, m_seeking->GetDuration(&duration));
    EXPECT_EQ(20000000, duration);
    const std::vector<BYTE> full = RunToEnd();
    ASSERT_EQ(size_t(88200) * 4, full.size());
    const std::vector<BYTE> reference = ReadAll(TestDataPath("aac/music-44100-stereo.pcm"));
    ASSERT_GE(reference.size(), full.size());
    double signal = 0, noise = 0;
    for (size_t i = 0; i + 1 < full.size(); i += 2) {
        const int a = int16_t(reference[i] | (reference[i + 1] << 8)), b = int16_t(full[i] | (full[i + 1] << 8));
        signal += double(a) * a;
        noise += double(a - b) * (a - b);
    }
    EXPECT_GT(signal, 0);
    EXPECT_LE(noise, signal * 1e-6);  // 60 dB

    // 0.75 s is sample 33075, inside a frame: the decoder primes itself on
    // the frame before and delivers the same bytes as the full run from there.
    Seek(m_seeking.get(), 7500000);
    const std::vector<BYTE> tail = RunToEnd();
    ASSERT_EQ(full.size() - size_t(33075) * 4, tail.size());
    EXPECT_TRUE(std::equal(tail.begin(), tail.end(), full.begin() + size_t(33075) * 4));
    ASSERT_FALSE(m_sinkObject->SegmentStarts().empty());
    EXPECT_EQ(7500000, m_sinkObject->SegmentStarts().back());
    EXPECT_EQ(0, m_sinkObject->StartTimes().front());
}

TEST_F(DecoderGraphTest, RepeatedGraphsLeaveNoThreadsOrObjectsBehind) {
    const std::string file = TestDataPath("aac-22050-mono.mp4");
    int baseline = 0;
    for (int cycle = 0; cycle < 10; ++cycle) {
        BuildWithSink(file);
        ASSERT_FALSE(HasFatalFailure());
        EXPECT_EQ(S_FALSE, m_canUnload());
        EXPECT_EQ(34u * 2048, RunToEnd().size());
        TearDown();
        EXPECT_EQ(S_OK, m_canUnload()) << "objects of the DLL still alive after cycle " << cycle;
        // The platform starts its own threads on first use.
        if (cycle == 0) baseline = SettledThreadCount();
    }
    EXPECT_LE(ThreadCountAtMost(baseline), baseline);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: decoder_filter_tests KisoMp4AacDecoderSubset.ax\n");
        return 2;
    }
    g_decoderPath = Widen(argv[1]);
    // These tests compare exact bytes: the filter plays its test tone.
    ::SetEnvironmentVariableW(L"TRN_DECODER_TONE", L"1");
    ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const int result = RUN_ALL_TESTS();
    ::CoUninitialize();
    return result;
}
