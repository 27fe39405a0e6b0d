// The info object as a media server drives it: through CoCreateInstance and
// its interface only, with the stand-in host classes and the committed samples.
#include <gtest/gtest.h>

#include <objbase.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/host/HostSupport.h"

using namespace hosttest;

namespace {

typedef std::vector<std::pair<std::wstring, std::wstring>> Properties;

// Every object of a list handed out is held by the list alone.
void ExpectOnlyTheListHoldsItsObjects(SAFEARRAY* list) {
    for (ULONG count : ElementReferenceCounts(list)) EXPECT_EQ(1u, count);
}

std::vector<FormatFacts> FormatsFor(const std::wstring& path, HRESULT expected = S_OK) {
    const ComPtr<ITrnMediaTranscoderInfo> info = CreateInfo();
    EXPECT_TRUE(info);
    if (!info) return {};
    SAFEARRAY* list = nullptr;
    const SourceVariant source(path);
    EXPECT_EQ(expected, info->GetFormatsForSource(source.get(), &list));
    ExpectOnlyTheListHoldsItsObjects(list);
    return TakeFormatList(list);
}

std::string Describe(const std::vector<FormatFacts>& list) {
    std::string out;
    for (const FormatFacts& f : list) out += hosttest::Describe(f) + " ";
    return out;
}

void ExpectFormats(const wchar_t* sample, const std::vector<FormatFacts>& expected) {
    const std::vector<FormatFacts> got = FormatsFor(SamplePath(sample));
    EXPECT_TRUE(got == expected) << "got " << Describe(got);
}

VARIANT_BOOL CanConvert(const std::wstring& path, const FormatFacts& target, HRESULT expected = S_OK) {
    const ComPtr<ITrnMediaTranscoderInfo> info = CreateInfo();
    const ComPtr<IMediaFormat> format = MakeFormat(target);
    VARIANT_BOOL result = 0x1234;
    const SourceVariant source(path);
    const ULONG references = ReferenceCount(format.get());
    EXPECT_EQ(expected, info->CanConvert(source.get(), format.get(), &result));
    EXPECT_EQ(references, ReferenceCount(format.get())) << "the call changed the target's references";
    return result;
}

Properties PropertiesFor(const std::wstring& path, const FormatFacts& target, HRESULT expected = S_OK) {
    const ComPtr<ITrnMediaTranscoderInfo> info = CreateInfo();
    const ComPtr<IMediaFormat> format = MakeFormat(target);
    SAFEARRAY* list = nullptr;
    const SourceVariant source(path);
    const ULONG references = ReferenceCount(format.get());
    EXPECT_EQ(expected, info->GetProperties(source.get(), format.get(), &list));
    EXPECT_EQ(references, ReferenceCount(format.get())) << "the call changed the target's references";
    ExpectOnlyTheListHoldsItsObjects(list);
    return TakePropertyList(list);
}

const std::wstring* Find(const Properties& properties, const wchar_t* name) {
    for (const auto& p : properties)
        if (p.first == name) return &p.second;
    return nullptr;
}

std::wstring WholeSecondsText(long long ticks, long timescale) {
    const long long seconds = ticks / timescale;
    wchar_t text[32];
    swprintf(text, 32, L"%02lld:%02lld:%02lld.000", seconds / 3600, seconds % 3600 / 60, seconds % 60);
    return text;
}

long long FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// A path whose BSTR runs on past a NUL into a source extension: the file
// system sees only the part before the NUL.
std::wstring WithHiddenExtension(const std::wstring& path) { return path + std::wstring(1, L'\0') + L".m4a"; }

TEST(SupportedFormats, FourEntriesInCreationOrder) {
    const ComPtr<ITrnMediaTranscoderInfo> info = CreateInfo();
    ASSERT_TRUE(info);
    SAFEARRAY* list = nullptr;
    ASSERT_EQ(S_OK, info->GetSupportedFormats(&list));
    ExpectOnlyTheListHoldsItsObjects(list);
    EXPECT_EQ(4u, ElementReferenceCounts(list).size());
    const std::vector<FormatFacts> got = TakeFormatList(list);
    const std::vector<FormatFacts> expected = {Lpcm44100(), Lpcm48000(), Native3gpp(), NativeMp4()};
    EXPECT_TRUE(got == expected) << Describe(got);
    EXPECT_EQ(E_POINTER, info->GetSupportedFormats(nullptr));
}

TEST(FormatsForSource, OneLpcmEntryByRateThenTheNativeEntry) {
    ExpectFormats(L"aac-48000-mp42.mp4", {Lpcm48000(), NativeMp4()});
    ExpectFormats(L"aac-32000-mp42.mp4", {Lpcm44100(), NativeMp4()});
    // "M4A " and isom files are supported audio without a native entry.
    ExpectFormats(L"aac-44100-stereo.m4a", {Lpcm44100()});
    ExpectFormats(L"aac-22050-mono.mp4", {Lpcm44100()});
    ExpectFormats(L"aac-48000-stereo.mp4", {Lpcm48000()});
}

// Offset of the AudioSpecificConfig in the esds (after the average bitrate),
// or npos.
size_t FindAudioSpecificConfig(const std::vector<unsigned char>& bytes) {
    size_t at = FindEsdsAverageBitrate(bytes);
    if (at == std::string::npos) return at;
    at += 4;
    if (at >= bytes.size() || bytes[at] != 0x05) return std::string::npos;
    ++at;
    for (int k = 0; k < 4 && at < bytes.size(); ++k)
        if ((bytes[at++] & 0x80) == 0) break;
    return at + 2 <= bytes.size() ? at : std::string::npos;
}

TEST(FormatsForSource, LpcmIsOfferedForTheNineRatesFrom8000To48000) {
    ScratchCopy copy(L"aac-48000-mp42.mp4", L".mp4");
    std::vector<unsigned char> bytes = copy.Read();
    const size_t config = FindAudioSpecificConfig(bytes);
    ASSERT_NE(std::string::npos, config);
    ASSERT_EQ(2, bytes[config] >> 3) << "AAC LC";
    const std::vector<FormatFacts> none = {NativeMp4()};
    const std::vector<FormatFacts> at44100 = {Lpcm44100(), NativeMp4()};
    const std::vector<FormatFacts> at48000 = {Lpcm48000(), NativeMp4()};
    const struct {
        unsigned index;  // the configuration's sampling frequency index
        long hz;
        const std::vector<FormatFacts>& expected;
    } rows[] = {
        {0, 96000, none},     {1, 88200, none},    {2, 64000, none},    {3, 48000, at48000}, {4, 44100, at44100},
        {5, 32000, at44100},  {6, 24000, at44100}, {7, 22050, at44100}, {8, 16000, at44100}, {9, 12000, at44100},
        {10, 11025, at44100}, {11, 8000, at44100}, {12, 7350, none},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.hz);
        bytes[config] = static_cast<unsigned char>((bytes[config] & 0xF8) | (row.index >> 1));
        bytes[config + 1] = static_cast<unsigned char>((bytes[config + 1] & 0x7F) | ((row.index & 1) << 7));
        copy.Write(bytes);
        const std::vector<FormatFacts> got = FormatsFor(copy.path());
        EXPECT_TRUE(got == row.expected) << "got " << Describe(got);
    }
}

TEST(FormatsForSource, BothBrandKindsGiveOnlyThe3gppEntry) {
    ExpectFormats(L"aac-16000-mono.3gp", {Lpcm44100(), Native3gpp()});
}

TEST(FormatsForSource, UnsupportedAudioKeepsOnlyWhatWasGathered) {
    ExpectFormats(L"aac-48000-6ch-mp42.mp4", {NativeMp4()});
    ExpectFormats(L"aac-96000-mp42.mp4", {NativeMp4()});
    ExpectFormats(L"aac-96000-stereo.mp4", {});
    ExpectFormats(L"video-and-audio.mp4", {});
}

TEST(FormatsForSource, RefusedPathsGiveAnEmptyList) {
    EXPECT_TRUE(FormatsFor(SamplePath(L"song.wav")).empty());
    EXPECT_TRUE(FormatsFor(SamplePath(L"aac-48000-mp42.mp4") + L" ").empty());
    const ScratchCopy disguised(L"aac-48000-mp42.mp4", L".wav");
    EXPECT_TRUE(FormatsFor(WithHiddenExtension(disguised.path())).empty());
    // The extension check ignores case.
    ScratchCopy upper(L"aac-48000-mp42.mp4", L".MP4");
    EXPECT_EQ(2u, FormatsFor(upper.path()).size());
}

TEST(FormatsForSource, ArgumentChecks) {
    const ComPtr<ITrnMediaTranscoderInfo> info = CreateInfo();
    VARIANT notText;
    ::VariantInit(&notText);
    notText.vt = VT_I4;
    SAFEARRAY* list = nullptr;
    EXPECT_EQ(E_INVALIDARG, info->GetFormatsForSource(notText, &list));
    VARIANT nullText;
    ::VariantInit(&nullText);
    nullText.vt = VT_BSTR;
    nullText.bstrVal = nullptr;
    EXPECT_EQ(E_INVALIDARG, info->GetFormatsForSource(nullText, &list));
    const SourceVariant source(SamplePath(L"aac-48000-mp42.mp4"));
    EXPECT_EQ(E_POINTER, info->GetFormatsForSource(source.get(), nullptr));
    EXPECT_EQ(nullptr, list);
}

std::string ReadTextFile(const std::wstring& path) {
    std::string text;
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file) return text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
    std::fclose(file);
    return text;
}

std::wstring ExecutableFolder() {
    wchar_t path[MAX_PATH];
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.rfind(L'\\') + 1);
}

TEST(FormatsForSource, MissingFileIsTheWin32ErrorAndIsLogged) {
    const std::vector<FormatFacts> got = FormatsFor(SamplePath(L"missing.m4a"), HRESULT(0x80070002));
    EXPECT_TRUE(got.empty());
    const std::string log = ReadTextFile(ExecutableFolder() + L"tarn.log");
    EXPECT_NE(std::string::npos, log.find("[ERR] <api-fail> INVALID_HANDLE_VALUE != hFile (80070002:")) << log;
}

TEST(CanConvert, ProfileRateAndFlagsDecide) {
    const std::wstring file = SamplePath(L"aac-48000-mp42.mp4");
    const VARIANT_BOOL T = VARIANT_TRUE, F = VARIANT_FALSE;
    const wchar_t* const l16 = L"audio/L16;rate=48000;channels=2";
    const struct {
        FormatFacts target;  // profile, MIME type, time seeks, converted, byte seeks
        VARIANT_BOOL expected;
    } rows[] = {
        {Lpcm48000(), T},
        {Lpcm44100(), T},
        {NativeMp4(), T},
        {Native3gpp(), T},  // an MP4 brand may travel as 3GPP
        {{L"lpcm", l16, T, T, F}, F},
        {{L"LPCM", L"audio/L16;rate=22050;channels=2", T, T, F}, F},
        {{L"LPCM", L"audio/L16;rate=48000;channels=1", T, T, F}, F},
        {{L"LPCM", L"audio/L24;rate=48000;channels=2", T, T, F}, F},
        {{L"LPCM", l16, T, T, T}, F},
        {{L"LPCM", l16, F, T, F}, F},
        // Flags count only as exactly VARIANT_TRUE or 0.
        {{L"LPCM", l16, 1, T, F}, F},
        {{L"", L"audio/mp4", T, F, T}, F},
        {{L"", L"audio/mp4", F, 2, T}, F},
        {{L"", L"audio/mp4", F, T, T}, F},
        {{L"", L"audio/mp4", F, F, F}, F},
        {{L"", L"audio/mp4", F, F, 1}, F},
        {{L"", L"audio/3gpp", F, F, F}, F},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(hosttest::Describe(row.target));
        EXPECT_EQ(row.expected, CanConvert(file, row.target));
    }

    // A 3GPP file travels as audio/mp4 only when it also carries an MP4 brand.
    EXPECT_EQ(VARIANT_TRUE, CanConvert(SamplePath(L"aac-16000-mono.3gp"), NativeMp4()));
    EXPECT_EQ(VARIANT_FALSE, CanConvert(SamplePath(L"aac-16000-tagged.3gp"), NativeMp4()));
    EXPECT_EQ(VARIANT_TRUE, CanConvert(SamplePath(L"aac-16000-tagged.3gp"), Native3gpp()));
    EXPECT_EQ(VARIANT_FALSE, CanConvert(SamplePath(L"aac-48000-stereo.mp4"), NativeMp4()));
    EXPECT_EQ(VARIANT_FALSE, CanConvert(SamplePath(L"video-and-audio.mp4"), NativeMp4()));
    EXPECT_EQ(VARIANT_FALSE, CanConvert(SamplePath(L"aac-96000-mp42.mp4"), Lpcm48000()));
    EXPECT_EQ(VARIANT_FALSE, CanConvert(SamplePath(L"song.wav"), Lpcm44100()));
    const ScratchCopy disguised(L"aac-48000-mp42.mp4", L".wav");
    EXPECT_EQ(VARIANT_FALSE, CanConvert(WithHiddenExtension(disguised.path()), Lpcm48000()));
    // A failure leaves the result unwritten.
    EXPECT_EQ(0x1234, CanConvert(SamplePath(L"missing.m4a"), Lpcm44100(), HRESULT(0x80070002)));
}

TEST(Properties, LpcmTargetsDescribeTheDeliveredPcm) {
    const Properties got = PropertiesFor(SamplePath(L"aac-48000-mp42.mp4"), Lpcm48000());
    const Properties expected = {{L"duration", L"00:00:01.000"},
                                 {L"nrAudioChannels", L"2"},
                                 {L"bitPerSample", L"16"},
                                 {L"sampleFrequency", L"48000"}};
    EXPECT_TRUE(got == expected);
    EXPECT_EQ(nullptr, Find(got, L"size"));
    EXPECT_EQ(nullptr, Find(got, L"bitrate"));
}

TEST(Properties, RejectedTargetsAreInvalidArguments) {
    FormatFacts lower = Lpcm48000();
    lower.profile = L"lpcm";
    EXPECT_TRUE(PropertiesFor(SamplePath(L"aac-48000-mp42.mp4"), lower, E_INVALIDARG).empty());
    EXPECT_TRUE(PropertiesFor(SamplePath(L"missing.m4a"), Lpcm44100(), E_INVALIDARG).empty());
    EXPECT_TRUE(PropertiesFor(SamplePath(L"aac-16000-tagged.3gp"), NativeMp4(), E_INVALIDARG).empty());
    const ScratchCopy disguised(L"aac-48000-mp42.mp4", L".wav");
    EXPECT_TRUE(PropertiesFor(WithHiddenExtension(disguised.path()), NativeMp4(), E_INVALIDARG).empty());
}

TEST(Properties, DurationTextAndBitrateFromTheFile) {
    ScratchCopy copy(L"aac-44100-stereo.m4a", L".m4a");
    std::vector<unsigned char> bytes = copy.Read();
    const size_t duration = FindMdhdDuration(bytes);
    ASSERT_NE(std::string::npos, duration);
    const size_t timescale = duration - 4;
    const struct {
        uint32_t timescale, duration;
        const wchar_t* text;  // whole seconds
    } rows[] = {
        {44100, 44100u * 2057u / 10u, L"00:03:25.000"},
        {1, 3599, L"00:59:59.000"},
        {1, 3600, L"01:00:00.000"},
        {1000, 3661999, L"01:01:01.000"},
        {1, 7199, L"01:59:59.000"},
        {1, 35999, L"09:59:59.000"},
        {1, 36000, L"10:00:00.000"},
        {1, 86399, L"23:59:59.000"},
        {1, 363540, L"100:59:00.000"},
        // The longest a 32-bit millisecond count holds.
        {1, 0xFFFFFFFFu, L"1193:02:47.000"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.duration);
        WriteBe32(bytes, timescale, row.timescale);
        WriteBe32(bytes, duration, row.duration);
        copy.Write(bytes);
        const Properties lpcm = PropertiesFor(copy.path(), Lpcm44100());
        ASSERT_NE(nullptr, Find(lpcm, L"duration"));
        EXPECT_EQ(row.text, *Find(lpcm, L"duration"));
    }

    ScratchCopy mp4(L"aac-48000-mp42.mp4", L".mp4");
    bytes = mp4.Read();
    WriteBe32(bytes, FindEsdsAverageBitrate(bytes), 128000);
    mp4.Write(bytes);
    const Properties native = PropertiesFor(mp4.path(), NativeMp4());
    ASSERT_NE(nullptr, Find(native, L"bitrate"));
    EXPECT_EQ(L"16000", *Find(native, L"bitrate"));
}

TEST(Properties, NativeValuesMatchTheRecordOfEverySample) {
    int checked = 0;
    for (const SampleFacts& facts : ReadSampleRecord()) {
        SCOPED_TRACE(std::string(facts.name.begin(), facts.name.end()));
        const std::wstring path = SamplePath(facts.name.c_str());
        const std::vector<FormatFacts> formats = FormatsFor(path);
        for (const FormatFacts& format : formats) {
            if (!format.profile.empty()) continue;
            const Properties got = PropertiesFor(path, format);
            const std::vector<unsigned char> bytes = ScratchCopy(facts.name.c_str(), L".bin").Read();
            const size_t bitrate = FindEsdsAverageBitrate(bytes);
            ASSERT_NE(std::string::npos, bitrate);
            Properties expected = {{L"duration", WholeSecondsText(facts.durationTicks, facts.timescale)},
                                   {L"size", std::to_wstring(FileSize(path))},
                                   {L"nrAudioChannels", std::to_wstring(facts.channels)},
                                   {L"bitrate", std::to_wstring(ReadBe32(bytes, bitrate) >> 3)},
                                   {L"sampleFrequency", std::to_wstring(facts.rate)}};
            EXPECT_TRUE(got == expected);
            ++checked;
        }
        for (const FormatFacts& format : formats) {
            if (format.profile.empty()) continue;
            const Properties got = PropertiesFor(path, format);
            ASSERT_FALSE(got.empty());
            EXPECT_EQ(WholeSecondsText(facts.durationTicks, facts.timescale), got[0].second);
            EXPECT_EQ(format.mimeType == Lpcm48000().mimeType ? L"48000" : L"44100", *Find(got, L"sampleFrequency"));
        }
    }
    EXPECT_GE(checked, 5);
}

TEST(HostFailures, AFailingSetterIsReturnedWithTheHostsErrorInformation) {
    const ComPtr<ITrnMediaTranscoderInfo> info = CreateInfo();
    {
        HostFault fault(L"IMediaFormat.put_MimeType=0x80070005:Format store locked");
        SAFEARRAY* list = nullptr;
        EXPECT_EQ(E_ACCESSDENIED, info->GetSupportedFormats(&list));
        EXPECT_EQ(nullptr, list);
        const auto error = TakeErrorInfo();
        EXPECT_EQ(L"HostMediaObjects", error.first);
        EXPECT_EQ(L"Format store locked", error.second);
    }
    {
        HostFault fault(L"IMediaProperty.put_Value=0x8007000E:No room for values");
        const ComPtr<IMediaFormat> format = MakeFormat(Lpcm44100());
        SAFEARRAY* list = nullptr;
        const SourceVariant source(SamplePath(L"aac-44100-stereo.m4a"));
        EXPECT_EQ(E_OUTOFMEMORY, info->GetProperties(source.get(), format.get(), &list));
        EXPECT_EQ(L"No room for values", TakeErrorInfo().second);
    }
}

TEST(HostFailures, AFailingTargetGetterIsReturnedByCanConvert) {
    const ComPtr<ITrnMediaTranscoderInfo> info = CreateInfo();
    const ComPtr<IMediaFormat> format = MakeFormat(Lpcm44100());
    HostFault fault(L"IMediaFormat.get_ProfileName=0x80004005:Profile unreadable");
    VARIANT_BOOL result = 0x1234;
    const SourceVariant source(SamplePath(L"aac-44100-stereo.m4a"));
    EXPECT_EQ(E_FAIL, info->CanConvert(source.get(), format.get(), &result));
    EXPECT_EQ(0x1234, result);
    EXPECT_EQ(L"Profile unreadable", TakeErrorInfo().second);
}

TEST(HostFailures, AHostObjectWithoutTheInterfaceIsANullPointer) {
    const ComPtr<ITrnMediaTranscoderInfo> info = CreateInfo();
    HostFault fault(L"IMediaFormat.QueryInterface=0x80004002");
    SAFEARRAY* list = nullptr;
    EXPECT_EQ(E_POINTER, info->GetSupportedFormats(&list));
}

// Class objects the host's DLL has made so far.
LONG HostClassObjectsMade() {
    using Count = LONG(WINAPI*)();
    const HMODULE host = ::GetModuleHandleW(L"HostMediaObjects.dll");
    const auto count =
        host ? reinterpret_cast<Count>(reinterpret_cast<void*>(::GetProcAddress(host, "HostObjectsClassObjectsMade")))
             : nullptr;
    return count ? count() : -1;
}

TEST(HostClasses, AFreeThreadedClassIsLookedUpOnceAnyOtherOncePerCall) {
    const SourceVariant source(SamplePath(L"aac-48000-mp42.mp4"));
    const ComPtr<IMediaFormat> native = MakeFormat(NativeMp4());
    const auto calls = [&](ITrnMediaTranscoderInfo* info) {
        for (int i = 0; i < 3; ++i) {
            SAFEARRAY* list = nullptr;
            ASSERT_EQ(S_OK, info->GetSupportedFormats(&list));
            EXPECT_EQ(4u, TakeFormatList(list).size());
            ASSERT_EQ(S_OK, info->GetProperties(source.get(), native.get(), &list));
            EXPECT_EQ(5u, TakePropertyList(list).size());
        }
    };
    {
        const ComPtr<ITrnMediaTranscoderInfo> info = CreateInfo();
        const LONG before = HostClassObjectsMade();
        ASSERT_GE(before, 0);
        calls(info.get());
        EXPECT_EQ(before + 2, HostClassObjectsMade());  // one per class
    }
    {
        // Class objects bound to their apartment serve one call only.
        HostFault fault(L"IClassFactory.IMarshal=0x80004002");
        const ComPtr<ITrnMediaTranscoderInfo> info = CreateInfo();
        const LONG before = HostClassObjectsMade();
        calls(info.get());
        EXPECT_EQ(before + 6, HostClassObjectsMade());
    }
}

TEST(CreateTranscoder, HandsOutANewTranscoder) {
    const ComPtr<ITrnMediaTranscoderInfo> info = CreateInfo();
    ComPtr<ITrnMediaTranscoder> first, second;
    ASSERT_EQ(S_OK, info->CreateTranscoder(first.put()));
    ASSERT_EQ(S_OK, info->CreateTranscoder(second.put()));
    EXPECT_TRUE(first && second && first.get() != second.get());
    EXPECT_EQ(E_POINTER, info->CreateTranscoder(nullptr));
    EXPECT_EQ(S_OK, info->SetContext(nullptr));
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    SetArguments(argc, argv);
    ComScope com;
    ::DeleteFileW((ExecutableFolder() + L"tarn.log").c_str());
    if (!RegisterServer()) {
        std::fprintf(stderr, "cannot register the server\n");
        return 1;
    }
    return RUN_ALL_TESTS();
}
