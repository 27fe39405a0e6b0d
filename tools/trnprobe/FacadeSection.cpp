// The "facade" object: what the module's MP4 audio parser reports for the
// file, as the info object and the transcoder see it.
#include "ProbeSections.h"
#include "base/StatusException.h"
#include "common/TrnMp4ParserImpl.h"
#include "module/ModuleGlobals.h"

#include <objbase.h>

namespace {

// A host process runs with COM initialised; the module logger needs it to
// read its configuration.
class ComApartment {
public:
    ComApartment() : m_hr(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~ComApartment() {
        if (SUCCEEDED(m_hr)) ::CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    HRESULT m_hr;
};

// Linking the module's process-wide objects brings in its logger, which
// installs the trace sink that carries the parser's failure entries.
CModuleLogger* const g_pLinkedLogger = trn::ModuleLogger();

// What Open raised, as a status.
HRESULT OpenParser(ITrnMp4Parser& parser, const std::wstring& path) {
    try {
        parser.Open(path.c_str());
        return S_OK;
    } catch (const log4tarn::Exception& e) {
        return e.m_hr;
    } catch (const CAtlException& e) {
        return e.m_hr;
    } catch (HRESULT hr) {
        return hr;
    } catch (...) {
        return E_FAIL;
    }
}

}  // namespace

void WriteFacadeSection(JsonWriter& json, ProbeContext& ctx) {
    ComApartment apartment;
    json.Key("facade").BeginObject();
    boost::shared_ptr<CTrnMp4ParserImpl> parser;
    HRESULT hr = S_OK;
    try {
        parser = boost::dynamic_pointer_cast<CTrnMp4ParserImpl>(CreateMp4Parser());
    } catch (const CAtlException& e) {
        hr = e.m_hr;
    } catch (HRESULT status) {
        hr = status;
    } catch (...) {
        hr = E_FAIL;
    }
    if (parser) hr = OpenParser(*parser, ctx.path);
    json.Key("hr").String(HresultText(hr));
    if (parser) {
        const AacCodecInfo codec = parser->GetCodecInfo();
        json.Key("file_size").Number(parser->GetFileSize());
        json.Key("mp4_brand").Bool(parser->IsMp4Brand());
        json.Key("gpp_brand").Bool(parser->Is3gppBrand());
        json.Key("has_video").Bool(parser->HasVideo());
        json.Key("sampling_frequency").Number(codec.m_dwSamplingFrequency);
        json.Key("channels").Number(codec.m_dwChannels);
        json.Key("frame_length").Number(codec.m_dwFrameLength);
        json.Key("object_type").Number(codec.m_dwObjectType);
        json.Key("sbr_mode").Number(codec.m_dwSbrMode);
        json.Key("sbr_signalling").Number(codec.m_dwSbrSignalling);
        json.Key("max_bitrate").Number(codec.m_dwMaxBitRate);
        json.Key("avg_bitrate").Number(codec.m_dwAvgBitRate);
        json.Key("quantized_bits").Number(codec.m_dwQuantizedBit);
        json.Key("duration_ms").Number(parser->GetDurationMs());
        json.Key("supported").Bool(parser->IsSupportedAudio());
    }
    json.EndObject();
}
