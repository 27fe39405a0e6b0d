// The decoding graph: platform file source, AAC decoder, the renderer pin
// that Render connects and this module frees again, wave fitter and the
// host's sink, built in that order.
#include "transcoder/M4aConverter.h"

#include "base/StatusException.h"
#include "module/FilterLoader.h"
#include "module/Registrar.h"

namespace trn {

const CLSID CLSID_KisoMp4AacDecoder = {0x6C350194, 0xF0BF, 0x49CB, {0x98, 0x49, 0xE9, 0x5E, 0x96, 0x2F, 0x7D, 0xEB}};
const CLSID CLSID_KisoWaveFitter = {0x67C53A55, 0xEF83, 0x4B2E, {0x9B, 0x6A, 0xA3, 0x78, 0xD5, 0x09, 0xDB, 0x02}};
const CLSID CLSID_DlnaSrc = {0x540DFF74, 0x7239, 0x457A, {0x97, 0x0B, 0x5A, 0xCA, 0x69, 0x21, 0x05, 0x7B}};
const wchar_t kDecoderDllName[] = L"KisoMp4AacDecoderSubset.ax";
const wchar_t kWaveFitterDllName[] = L"KisoWaveFitterFilter.ax";
const wchar_t kSinkFilterName[] = L"DlnaSrc";

namespace {

const wchar_t kRendererPinName[] = L"Audio Input pin (rendered)";

CriticalSection g_rendererLock;
const DWORD kSinkBufferBytes = 5292000;  // 30 s of 44100 Hz 16-bit stereo
const DWORD kWaveFitterOption = 2;

ComPtr<IBaseFilter> CreatePlatformFilter(REFCLSID clsid) {
    ComPtr<IBaseFilter> filter;
    TRN_THROW_IF_FAILED(::CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IBaseFilter, filter.put_void()));
    TRN_THROW_HR_IF(E_UNEXPECTED, !filter);
    return filter;
}

ComPtr<IBaseFilter> CreateLocalFilter(const wchar_t* dllName, REFCLSID clsid) {
    HMODULE module = nullptr;
    TRN_THROW_IF_FAILED(ThisModuleHandle(&module));
    ComPtr<IBaseFilter> filter;
    TRN_THROW_IF_FAILED(CreateInstanceFromLocalDll(module, dllName, clsid, nullptr, CLSCTX_INPROC_SERVER,
                                                   IID_IBaseFilter, filter.put_void()));
    TRN_THROW_HR_IF(E_UNEXPECTED, !filter);
    return filter;
}

}  // namespace

ComPtr<IPin> GetPin(IBaseFilter* filter, PIN_DIRECTION dir) {
    TRN_THROW_HR_IF(E_POINTER, filter == nullptr);
    ComPtr<IEnumPins> pins;
    TRN_THROW_IF_FAILED(filter->EnumPins(pins.put()));
    TRN_THROW_HR_IF(E_FAIL, !pins);
    ComPtr<IPin> pin;
    while (pins->Next(1, pin.put(), nullptr) == S_OK && pin) {
        PIN_INFO info = {};
        if (SUCCEEDED(pin->QueryPinInfo(&info))) {
            const ComPtr<IBaseFilter> owner = AdoptComPtr(info.pFilter);
            if (info.dir == dir) return pin;
        }
    }
    TrnThrowHr(E_FAIL);
}

ComPtr<IPin> FindRendererInputPin(IGraphBuilder* graph) {
    TRN_THROW_HR_IF(E_FAIL, graph == nullptr);
    ComPtr<IEnumFilters> filters;
    if (FAILED(graph->EnumFilters(filters.put())) || !filters) return ComPtr<IPin>();
    if (FAILED(filters->Reset())) return ComPtr<IPin>();
    ComPtr<IBaseFilter> filter;
    while (filters->Next(1, filter.put(), nullptr) == S_OK && filter) {
        ComPtr<IPin> pin;
        if (SUCCEEDED(filter->FindPin(kRendererPinName, pin.put())) && pin) {
            return pin.try_query<IPin>();
        }
    }
    return ComPtr<IPin>();
}

CriticalSection& RendererLock() noexcept { return g_rendererLock; }

}  // namespace trn

void CM4aConverter::BuildGraph(const std::wstring& path) {
    using namespace trn;
    ReleaseGraph();

    TRN_THROW_IF_FAILED(
        ::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_ALL, IID_IGraphBuilder, m_pGraph.put_void()));
    TRN_THROW_HR_IF(E_UNEXPECTED, !m_pGraph);
    m_pControl = m_pGraph.query<IMediaControl>();
    m_pEvent = m_pGraph.query<IMediaEventEx>(IID_IMediaEventEx);
    m_pSeeking = m_pGraph.query<IMediaSeeking>();
    TRN_THROW_IF_FAILED(m_pSeeking->SetTimeFormat(&TIME_FORMAT_MEDIA_TIME));

    const ComPtr<IBaseFilter> source = CreatePlatformFilter(CLSID_AsyncReader);
    TRN_THROW_IF_FAILED(m_pGraph->AddFilter(source.get(), nullptr));
    const ComPtr<IFileSourceFilter> fileSource = source.try_query<IFileSourceFilter>();
    TRN_THROW_HR_IF(E_UNEXPECTED, !fileSource);
    AM_MEDIA_TYPE streamType = {};
    streamType.majortype = MEDIATYPE_Stream;
    TRN_THROW_IF_FAILED(fileSource->Load(path.c_str(), &streamType));

    const ComPtr<IBaseFilter> decoder = CreateLocalFilter(kDecoderDllName, CLSID_KisoMp4AacDecoder);
    TRN_THROW_IF_FAILED(m_pGraph->AddFilter(decoder.get(), L"KisoMp4AacDecoder"));
    TRN_THROW_IF_FAILED(
        m_pGraph->Connect(GetPin(source.get(), PINDIR_OUTPUT).get(), GetPin(decoder.get(), PINDIR_INPUT).get()));

    // Render completes the chain to an audio renderer; its pin is then freed
    // so that the wave fitter can take the decoder's output.
    const ComPtr<IPin> decoderOutput = GetPin(decoder.get(), PINDIR_OUTPUT);
    {
        const CriticalSectionGuard renderer(RendererLock());
        TRN_THROW_IF_FAILED(m_pGraph->Render(decoderOutput.get()));
    }
    const ComPtr<IPin> rendererInput = FindRendererInputPin(m_pGraph.get());
    TRN_THROW_HR_IF(E_FAIL, !rendererInput);
    ComPtr<IPin> rendererFeed;
    TRN_THROW_IF_FAILED(rendererInput->ConnectedTo(rendererFeed.put()));
    TRN_THROW_IF_FAILED(m_pGraph->Disconnect(rendererFeed.get()));

    const ComPtr<IBaseFilter> fitter = CreateLocalFilter(kWaveFitterDllName, CLSID_KisoWaveFitter);
    TRN_THROW_IF_FAILED(m_pGraph->AddFilter(fitter.get(), nullptr));
    TRN_THROW_IF_FAILED(fitter.query<IWaveFitterFormat>()->SetFormat(
        static_cast<DWORD>(m_nBitsPerSample), static_cast<DWORD>(m_nSampleRate), static_cast<DWORD>(m_nChannels)));
    TRN_THROW_IF_FAILED(fitter.query<IWaveFitterOption>()->SetOption(kWaveFitterOption));
    TRN_THROW_IF_FAILED(m_pGraph->Connect(decoderOutput.get(), GetPin(fitter.get(), PINDIR_INPUT).get()));

    const ComPtr<IBaseFilter> sink = CreatePlatformFilter(CLSID_DlnaSrc);
    m_pSink = sink.query<IDlnaSrcBuffer>();
    TRN_THROW_IF_FAILED(m_pSink->SetBufferSize(kSinkBufferBytes));
    TRN_THROW_IF_FAILED(m_pGraph->AddFilter(sink.get(), kSinkFilterName));
    TRN_THROW_IF_FAILED(
        m_pGraph->Connect(GetPin(fitter.get(), PINDIR_OUTPUT).get(), GetPin(sink.get(), PINDIR_INPUT).get()));
}
