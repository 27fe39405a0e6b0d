#include "M4aConverterInfo.h"

#include "common/ITrnMp4Parser.h"
#include "base/StatusException.h"
#include "base/CriticalSection.h"
#include "info/FormatEntries.h"
#include "info/ItemProperties.h"
#include "module/ErrorBoundary.h"
#include "module/HostObjects.h"
#include "transcoder/FormatList.h"
#include "transcoder/M4aConverter.h"
#include "transcoder/PcmFormatDescriptor.h"
#include "transcoder/VariantList.h"

namespace {

const wchar_t kSource[] = L".\\M4aConverterInfo";
const wchar_t kLpcmProfile[] = L"LPCM";

bool IsPathSource(const VARIANT& source) { return source.vt == VT_BSTR && source.bstrVal != nullptr; }

std::wstring SourcePath(const VARIANT& source) { return trn::BstrToString(source.bstrVal); }

// GetFormatsForSource and CanConvert answer a status exception as a refusal,
// except running out of memory: that is a failure and goes on as one.
void ThrowUnlessRefusal(HRESULT hr) { TRN_THROW_HR_IF(hr, hr == E_OUTOFMEMORY); }

// The source check: one of the four extensions, else the status E_INVALIDARG.
void CheckSourceExtension(const std::wstring& path) { TRN_THROW_HR_IF(E_INVALIDARG, !TrnHasSourceExtension(path)); }

TrnMp4ParserPtr OpenParser(const std::wstring& path) {
    TrnMp4ParserPtr parser = CreateMp4Parser();
    parser->Open(path.c_str());
    return parser;
}

// An LPCM target this component can deliver: 16-bit stereo at 44.1 or 48 kHz.
CPcmFormatDescriptor AcceptedLpcmTarget(const std::wstring& mimeType) {
    const CPcmFormatDescriptor descriptor(mimeType.c_str());
    const int32_t rate = descriptor.GetSampleRate();
    TRN_THROW_HR_IF(E_INVALIDARG, (rate != 44100 && rate != 48000) || descriptor.GetChannels() != 2 ||
                                      descriptor.GetBitsPerSample() != 16);
    return descriptor;
}

// Steps of GetFormatsForSource up to the arranging; a status exception ends
// them early and keeps what was gathered.
void GatherFormatsForSource(const std::wstring& path, trn::CHostClass& formats, trn::CVariantList& list) {
    CheckSourceExtension(path);
    const TrnMp4ParserPtr parser = OpenParser(path);
    if (parser->HasVideo()) return;
    if (parser->Is3gppBrand()) {
        list.AppendUnknown(trn::CreateFormatEntry(formats, trn::FormatEntry::Native3gpp).get());
    } else if (parser->IsMp4Brand()) {
        list.AppendUnknown(trn::CreateFormatEntry(formats, trn::FormatEntry::NativeMp4).get());
    }
    TRN_THROW_HR_IF(E_INVALIDARG, !parser->IsSupportedAudio());
    const trn::FormatEntry lpcm =
        parser->GetSamplingFrequency() > 44100 ? trn::FormatEntry::Lpcm48000 : trn::FormatEntry::Lpcm44100;
    list.AppendUnknown(trn::CreateFormatEntry(formats, lpcm).get());
}

// Whether source converts to target; status exceptions are refusals.
bool EvaluateConversion(const std::wstring& path, IMediaFormat* target) {
    CheckSourceExtension(path);
    const trn::CHostMediaFormat format(target);
    const std::wstring mimeType = format.GetMimeType();
    const std::wstring profile = format.GetProfileName();
    const TrnMp4ParserPtr parser = OpenParser(path);
    if (profile == kLpcmProfile) {
        AcceptedLpcmTarget(mimeType);
        TRN_THROW_HR_IF(E_INVALIDARG, format.GetByteSeekable() == VARIANT_TRUE);
        TRN_THROW_HR_IF(E_INVALIDARG, format.GetTimeSeekable() != VARIANT_TRUE);
        return parser->IsSupportedAudio();
    }
    TRN_THROW_HR_IF(E_INVALIDARG, !profile.empty());
    if (parser->HasVideo()) return false;
    // Flags compare exactly: a value other than VARIANT_TRUE or 0 passes neither test.
    const auto nativeFlags = [&format] {
        return format.GetConverted() == VARIANT_FALSE && format.GetByteSeekable() == VARIANT_TRUE &&
               format.GetTimeSeekable() == VARIANT_FALSE;
    };
    bool result = false;
    if (mimeType == L"audio/mp4" && parser->IsMp4Brand() && nativeFlags()) result = true;
    if (mimeType == L"audio/3gpp" && (parser->IsMp4Brand() || parser->Is3gppBrand()) && nativeFlags()) result = true;
    return result;
}

void AppendNativeProperties(ITrnMp4Parser& parser, trn::CHostClass& properties, trn::CVariantList& list) {
    trn::AppendProperty(properties, list, L"size", trn::DecimalText(parser.GetFileSize()));
    if (parser.GetChannelCount() > 0)
        trn::AppendProperty(properties, list, L"nrAudioChannels", trn::DecimalText(parser.GetChannelCount()));
    if (parser.GetAvgBitRate() > 0)
        trn::AppendProperty(properties, list, L"bitrate", trn::DecimalText(parser.GetAvgBitRate() >> 3));
    if (parser.GetSamplingFrequency() > 0)
        trn::AppendProperty(properties, list, L"sampleFrequency", trn::DecimalText(parser.GetSamplingFrequency()));
}

void AppendLpcmProperties(const std::wstring& mimeType, trn::CHostClass& properties, trn::CVariantList& list) {
    const CPcmFormatDescriptor descriptor(mimeType.c_str());
    trn::AppendProperty(properties, list, L"nrAudioChannels", std::to_wstring(descriptor.GetChannels()));
    trn::AppendProperty(properties, list, L"bitPerSample", std::to_wstring(descriptor.GetBitsPerSample()));
    trn::AppendProperty(properties, list, L"sampleFrequency", std::to_wstring(descriptor.GetSampleRate()));
}

// A host class for one call: at its end, a class object that another
// apartment may not use is dropped.
class HostClassForCall {
public:
    explicit HostClassForCall(trn::CHostClass& hostClass) noexcept : m_class(hostClass) {}
    HostClassForCall(const HostClassForCall&) = delete;
    HostClassForCall& operator=(const HostClassForCall&) = delete;
    ~HostClassForCall() { m_class.EndCall(); }
    operator trn::CHostClass&() const noexcept { return m_class; }

private:
    trn::CHostClass& m_class;
};

}  // namespace

CM4aConverterInfo::CM4aConverterInfo() noexcept = default;

CM4aConverterInfo::~CM4aConverterInfo() = default;

HRESULT CM4aConverterInfo::FinalConstruct(IUnknown* controlling) noexcept {
    if (!m_cs.TryInit()) return E_OUTOFMEMORY;
    return CTrnFtmObject::FinalConstruct(controlling);
}

STDMETHODIMP CM4aConverterInfo::SetContext(IUnknown*) { return S_OK; }

STDMETHODIMP CM4aConverterInfo::GetSupportedFormats(SAFEARRAY** formats) {
    if (formats == nullptr) return E_POINTER;
    CriticalSectionGuard lock(m_cs);
    try {
        const HostClassForCall formatClass(m_formatClass);
        trn::CVariantList list;
        for (trn::FormatEntry entry : {trn::FormatEntry::Lpcm44100, trn::FormatEntry::Lpcm48000,
                                       trn::FormatEntry::Native3gpp, trn::FormatEntry::NativeMp4}) {
            list.AppendUnknown(trn::CreateFormatEntry(formatClass, entry).get());
        }
        TRN_THROW_IF_FAILED(trn::ArrangeFormatList(list.get(), formats));
        return S_OK;
    }
    TRN_CATCH_RETURN(kSource)
}

STDMETHODIMP CM4aConverterInfo::GetFormatsForSource(VARIANT source, SAFEARRAY** formats) {
    if (!IsPathSource(source)) return E_INVALIDARG;
    if (formats == nullptr) return E_POINTER;
    CriticalSectionGuard lock(m_cs);
    try {
        const HostClassForCall formatClass(m_formatClass);
        trn::CVariantList list;
        try {
            GatherFormatsForSource(SourcePath(source), formatClass, list);
        } catch (HRESULT hr) {
            // A refusal: the host gets what was gathered so far.
            ThrowUnlessRefusal(hr);
        }
        TRN_THROW_IF_FAILED(trn::ArrangeFormatList(list.get(), formats));
        return S_OK;
    }
    TRN_CATCH_RETURN(kSource)
}

STDMETHODIMP CM4aConverterInfo::CanConvert(VARIANT source, IMediaFormat* target, VARIANT_BOOL* result) {
    if (!IsPathSource(source) || target == nullptr) return E_INVALIDARG;
    if (result == nullptr) return E_POINTER;
    CriticalSectionGuard lock(m_cs);
    try {
        bool convertible = false;
        try {
            convertible = EvaluateConversion(SourcePath(source), target);
        } catch (HRESULT hr) {
            ThrowUnlessRefusal(hr);
            convertible = false;
        }
        *result = convertible ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    TRN_CATCH_RETURN(kSource)
}

STDMETHODIMP CM4aConverterInfo::GetProperties(VARIANT source, IMediaFormat* target, SAFEARRAY** properties) {
    if (properties == nullptr) return E_POINTER;
    CriticalSectionGuard lock(m_cs);
    try {
        const HostClassForCall propertyClass(m_propertyClass);
        trn::CVariantList list;
        VARIANT_BOOL convertible = VARIANT_FALSE;
        // Through the interface, as a host would ask; m_cs is recursive. Its
        // failures are refusals here, except running out of memory.
        ThrowUnlessRefusal(static_cast<ITrnMediaTranscoderInfo*>(this)->CanConvert(source, target, &convertible));
        TRN_THROW_HR_IF(E_INVALIDARG, convertible != VARIANT_TRUE);

        const trn::CHostMediaFormat format(target);
        const std::wstring mimeType = format.GetMimeType();
        const std::wstring profile = format.GetProfileName();
        const TrnMp4ParserPtr parser = OpenParser(SourcePath(source));
        if (parser->GetDurationMs() > 0)
            trn::AppendProperty(propertyClass, list, L"duration", trn::DurationText(parser->GetDurationMs()));
        if (profile != kLpcmProfile) {
            AppendNativeProperties(*parser, propertyClass, list);
        } else {
            AppendLpcmProperties(mimeType, propertyClass, list);
        }
        *properties = list.Detach();
        return S_OK;
    }
    TRN_CATCH_RETURN(kSource)
}

STDMETHODIMP CM4aConverterInfo::CreateTranscoder(ITrnMediaTranscoder** transcoder) {
    if (transcoder == nullptr) return E_POINTER;
    CriticalSectionGuard lock(m_cs);
    try {
        *transcoder = nullptr;
        ComPtr<ITrnMediaTranscoder> created;
        TRN_THROW_IF_FAILED(CComObject<CM4aConverter>::CreateInstance(IID_ITrnMediaTranscoder, created.put_void()));
        TRN_THROW_HR_IF(E_UNEXPECTED, !created);
        *transcoder = created.detach();
        return S_OK;
    }
    TRN_CATCH_RETURN(kSource)
}
