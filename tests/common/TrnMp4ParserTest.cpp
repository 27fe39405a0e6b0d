// The MP4 audio parser facade on the committed samples and on files built
// here: brand classification, codec values, duration, failures and their
// log entries.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "BoxWriter.h"
#include "common/ITrnMp4Parser.h"
#include "base/StatusException.h"
#include "common/TrnMp4ParserImpl.h"
#include "module/ModuleGlobals.h"
#include "oplogsys/LogSysInfo.h"
#include "oplogsys/ModuleLogger.h"

namespace {

using boxw::Bytes;

// Keeps error entries instead of writing the shared error log.
class CaptureSystem : public opLogSys::COutputLogSystem {
public:
    CaptureSystem(opLogSys::ILogSysInfo* info, std::vector<std::wstring>* sink)
        : COutputLogSystem(L"tarn.debug", info, L"", 0xA00000, false), m_sink(sink) {}
    HRESULT ErrorWrite(const wchar_t* text) override {
        m_sink->push_back(text);
        return S_OK;
    }

private:
    std::vector<std::wstring>* m_sink;
};

std::wstring Widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }

// Wine maps the Unix root to drive Z:.
std::wstring SamplePath(const char* name) {
    std::wstring path = L"Z:" + Widen(TRN_TESTDATA_DIR) + L"/" + Widen(name);
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    return path;
}

Bytes ReadAll(const std::wstring& path) {
    Bytes bytes;
    FILE* f = _wfopen(path.c_str(), L"rb");
    if (!f) return bytes;
    unsigned char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
    std::fclose(f);
    return bytes;
}

// A plain AAC file padded past the 512 bytes of the header probe.
Bytes PaddedAudioFile(const boxw::AudioTrack& track = boxw::AudioTrack()) {
    return boxw::Cat({boxw::AudioFile(track), boxw::Box("free", Bytes(512, 0))});
}

Bytes AudioFileWithDsi(const Bytes& dsi) {
    boxw::AudioTrack track;
    track.esds = boxw::Esds(boxw::EsDescriptor(dsi));
    return PaddedAudioFile(track);
}

bool StartsWith(const std::wstring& text, const std::wstring& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// "[ERR] <api-fail> <expression> (<hex>:<text>) {<source>,<line>}".
void ExpectApiFailEntry(const std::wstring& entry, const std::wstring& expressionAndCode) {
    const std::wstring prefix = L"[ERR] <api-fail> " + expressionAndCode;
    EXPECT_TRUE(StartsWith(entry, prefix)) << entry.c_str();
    const std::wstring source = L") {..\\..\\..\\common\\TrnMp4ParserImpl,";
    const size_t at = entry.rfind(source);
    ASSERT_NE(std::wstring::npos, at) << entry.c_str();
    const std::wstring line = entry.substr(at + source.size());
    ASSERT_GE(line.size(), 2u) << entry.c_str();
    EXPECT_EQ(L'}', line.back());
    EXPECT_EQ(std::wstring::npos, line.substr(0, line.size() - 1).find_first_not_of(L"0123456789")) << entry.c_str();
}

class ParserTest : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        ASSERT_NE(0u, ::GetTempPathW(MAX_PATH, temp));
        m_dir = std::wstring(temp) + L"trn_parser_" + std::to_wstring(::GetCurrentProcessId());
        ::CreateDirectoryW(m_dir.c_str(), nullptr);
        InstallLog(1);
    }
    void TearDown() override {
        InstallLog(-1);
        for (const std::wstring& f : m_files) ::DeleteFileW(f.c_str());
        ::RemoveDirectoryW(m_dir.c_str());
    }

    // Admits the subject "Default" at levels 0 to maxLevel; -1 admits nothing.
    void InstallLog(int maxLevel) {
        opLogSys::CLogSysInfo* info = new opLogSys::CLogSysInfo();
        if (maxLevel >= 0) info->GetOutputLogState()->AddFilter(L"Default", 0, maxLevel);
        std::unique_ptr<opLogSys::COutputLogSystem> system(new CaptureSystem(info, &m_entries));
        info->Release();
        trn::ModuleLogger()->ReplaceLogSystemForTest(std::move(system));
    }

    std::wstring Write(const wchar_t* name, const Bytes& bytes) {
        const std::wstring path = m_dir + L"\\" + name;
        FILE* f = _wfopen(path.c_str(), L"wb");
        EXPECT_TRUE(f != nullptr);
        if (f) {
            if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
        m_files.push_back(path);
        return path;
    }

    // A committed sample with its compatible brands replaced in place.
    std::wstring WithBrands(const char* sample, const char* major, const char* const (&compatible)[3]) {
        Bytes bytes = ReadAll(SamplePath(sample));
        EXPECT_GE(bytes.size(), 28u);
        EXPECT_EQ(28u, bytes[3]) << "sample's ftyp holds three compatible brands";
        if (bytes.size() < 28) return std::wstring();
        std::copy(major, major + 4, bytes.begin() + 8);
        for (int i = 0; i < 3; ++i) std::copy(compatible[i], compatible[i] + 4, bytes.begin() + 16 + 4 * i);
        return Write(L"rebranded.mp4", bytes);
    }

    // Open that must raise the parser's logged exception; returns its status.
    HRESULT OpenExpectingLoggedFailure(ITrnMp4Parser& parser, const std::wstring& path) {
        try {
            parser.Open(path.c_str());
        } catch (const log4tarn::Exception& e) {
            return e.m_hr;
        } catch (...) {
            ADD_FAILURE() << "not a log4tarn::Exception";
            return S_OK;
        }
        ADD_FAILURE() << "Open completed";
        return S_OK;
    }

    // Open that must raise a bare status; returns it.
    HRESULT OpenExpectingStatus(ITrnMp4Parser& parser, const std::wstring& path) {
        try {
            parser.Open(path.c_str());
        } catch (HRESULT hr) {
            return hr;
        } catch (...) {
            ADD_FAILURE() << "not a bare HRESULT";
            return S_OK;
        }
        ADD_FAILURE() << "Open completed";
        return S_OK;
    }

    std::wstring m_dir;
    std::vector<std::wstring> m_files;
    std::vector<std::wstring> m_entries;
};

struct SampleFacts {
    const char* name;
    DWORD samplingFrequency;
    DWORD channels;
    bool supported;
    bool hasVideo;
    bool is3gpp;
    bool isMp4;
    DWORD durationMs;  // whole seconds of the track
};

TEST_F(ParserTest, CommittedSamples) {
    const SampleFacts samples[] = {
        {"aac-22050-mono.mp4", 22050, 1, true, false, false, false, 1000},
        {"aac-44100-stereo.mp4", 44100, 2, true, false, false, false, 2000},
        {"aac-48000-stereo.mp4", 48000, 2, true, false, false, false, 1000},
        {"aac-48000-6ch.mp4", 48000, 6, false, false, false, false, 1000},
        {"aac-96000-stereo.mp4", 96000, 2, false, false, false, false, 1000},
        {"aac-44100-stereo.m4a", 44100, 2, true, false, false, false, 1000},
        {"aac-16000-mono.3gp", 16000, 1, true, false, true, true, 1000},
        {"video-and-audio.mp4", 44100, 1, true, true, false, true, 1000},
    };
    for (const SampleFacts& s : samples) {
        SCOPED_TRACE(s.name);
        TrnMp4ParserPtr parser = CreateMp4Parser();
        const std::wstring path = SamplePath(s.name);
        ASSERT_NO_THROW(parser->Open(path.c_str()));
        EXPECT_EQ(path, parser->GetFilePath());
        EXPECT_EQ(ReadAll(path).size(), parser->GetFileSize());
        EXPECT_EQ(s.samplingFrequency, parser->GetSamplingFrequency());
        EXPECT_EQ(s.channels, parser->GetChannelCount());
        EXPECT_EQ(s.supported, parser->IsSupportedAudio());
        EXPECT_EQ(s.hasVideo, parser->HasVideo());
        EXPECT_EQ(s.is3gpp, parser->Is3gppBrand());
        EXPECT_EQ(s.isMp4, parser->IsMp4Brand());
        EXPECT_EQ(16u, parser->GetQuantizedBits());
        EXPECT_LT(0u, parser->GetAvgBitRate());
        EXPECT_EQ(s.durationMs, parser->GetDurationMs());
    }
    EXPECT_TRUE(m_entries.empty());
}

TEST_F(ParserTest, FreshParserIsAllZero) {
    TrnMp4ParserPtr parser = CreateMp4Parser();
    EXPECT_TRUE(parser->GetFilePath().empty());
    EXPECT_EQ(0u, parser->GetFileSize());
    EXPECT_FALSE(parser->HasVideo() || parser->Is3gppBrand() || parser->IsMp4Brand() || parser->IsSupportedAudio());
    EXPECT_EQ(0u, parser->GetSamplingFrequency() + parser->GetDurationMs() + parser->GetQuantizedBits() +
                      parser->GetChannelCount() + parser->GetAvgBitRate());
}

TEST_F(ParserTest, BrandsDecideTheFlags) {
    {
        const char* const brands[3] = {"M4A ", "mp42", "isom"};
        TrnMp4ParserPtr parser = CreateMp4Parser();
        parser->Open(WithBrands("aac-44100-stereo.m4a", "M4A ", brands).c_str());
        EXPECT_TRUE(parser->IsMp4Brand());
        EXPECT_FALSE(parser->Is3gppBrand());
        EXPECT_TRUE(parser->IsSupportedAudio());
    }
    {
        const char* const brands[3] = {"isom", "mp41", "isom"};
        TrnMp4ParserPtr parser = CreateMp4Parser();
        parser->Open(WithBrands("aac-22050-mono.mp4", "isom", brands).c_str());
        EXPECT_FALSE(parser->IsMp4Brand());
        EXPECT_FALSE(parser->Is3gppBrand());
    }
    {
        // The major brand counts as much as the compatible ones.
        const char* const brands[3] = {"isom", "iso2", "mp41"};
        TrnMp4ParserPtr parser = CreateMp4Parser();
        parser->Open(WithBrands("aac-22050-mono.mp4", "3gp4", brands).c_str());
        EXPECT_TRUE(parser->Is3gppBrand());
        EXPECT_FALSE(parser->IsMp4Brand());
    }
}

TEST_F(ParserTest, ProbeReadsOnlyTheFirstFileTypeBoxWithinTheHeader) {
    // After a leading box, and with a second ftyp that is never looked at.
    Bytes head =
        boxw::Cat({boxw::Box("free", Bytes(20, 0)), boxw::Ftyp("isom", 0, {"3gp5"}), boxw::Ftyp("mp42", 0, {"mp42"})});
    Mp4BrandFlags flags = ProbeFileTypeBrands(head.data(), head.size());
    EXPECT_TRUE(flags.b3gpp);
    EXPECT_FALSE(flags.bMp4);

    // Brands past the end of the bytes read are not examined.
    Bytes cut = boxw::Ftyp("isom", 0, {"isom", "mp42"});
    cut.resize(cut.size() - 1);
    flags = ProbeFileTypeBrands(cut.data(), cut.size());
    EXPECT_FALSE(flags.bMp4);
    // A box claiming far more brands than the header holds.
    Bytes huge = boxw::Ftyp("isom", 0, {"mpa2"});
    huge[0] = 0x7F;
    flags = ProbeFileTypeBrands(huge.data(), huge.size());
    EXPECT_TRUE(flags.bMp4);

    // "ftyp" in the last bytes, with no room for its major brand.
    Bytes tail(kTrnMp4HeaderProbeSize, 0);
    const Bytes box = boxw::Writer().U32(16).Type("ftyp");
    std::copy(box.begin(), box.end(), tail.end() - 8);
    flags = ProbeFileTypeBrands(tail.data(), tail.size());
    EXPECT_FALSE(flags.b3gpp || flags.bMp4);

    Bytes none(kTrnMp4HeaderProbeSize, 'x');
    flags = ProbeFileTypeBrands(none.data(), none.size());
    EXPECT_FALSE(flags.b3gpp || flags.bMp4);
}

TEST_F(ParserTest, MalformedFileTypeBoxSizeIsInvalidArgument) {
    for (uint32_t size : {0u, 12u, 15u, 18u, 23u}) {
        SCOPED_TRACE(size);
        Bytes file = PaddedAudioFile();
        file[0] = file[1] = file[2] = 0;
        file[3] = uint8_t(size);
        TrnMp4ParserPtr parser = CreateMp4Parser();
        EXPECT_EQ(E_INVALIDARG, OpenExpectingStatus(*parser, Write(L"badftyp.mp4", file)));
        EXPECT_TRUE(parser->GetFilePath().empty());
    }
    EXPECT_TRUE(m_entries.empty()) << "status failures are the caller's to log";
}

TEST_F(ParserTest, ShortFileIsAFailureWithoutEntry) {
    Bytes file = PaddedAudioFile();
    file.resize(511);
    TrnMp4ParserPtr parser = CreateMp4Parser();
    EXPECT_EQ(E_FAIL, OpenExpectingStatus(*parser, Write(L"short.mp4", file)));
    EXPECT_TRUE(m_entries.empty());

    file.clear();
    EXPECT_EQ(E_FAIL, OpenExpectingStatus(*parser, Write(L"empty.mp4", file)));
}

TEST_F(ParserTest, MissingFileRaisesTheWin32ErrorAfterOneEntry) {
    TrnMp4ParserPtr parser = CreateMp4Parser();
    const std::wstring path = m_dir + L"\\missing.m4a";
    EXPECT_EQ(HRESULT(0x80070002), OpenExpectingLoggedFailure(*parser, path));
    EXPECT_TRUE(parser->GetFilePath().empty());
    ASSERT_EQ(1u, m_entries.size());
    ExpectApiFailEntry(m_entries[0], L"INVALID_HANDLE_VALUE != hFile (80070002:");

    // Nothing is written when the filter refuses errors; the failure stays.
    m_entries.clear();
    InstallLog(-1);
    EXPECT_EQ(HRESULT(0x80070003), OpenExpectingLoggedFailure(*parser, m_dir + L"\\no\\such.m4a"));
    EXPECT_TRUE(m_entries.empty());
}

TEST_F(ParserTest, LibraryRefusalIsLoggedAndRaised) {
    // No file-type box in the header: both flags false, then the library
    // refuses what follows.
    Bytes file = boxw::Box("junk", Bytes(600, 0x55));
    TrnMp4ParserPtr parser = CreateMp4Parser();
    const HRESULT hr = OpenExpectingLoggedFailure(*parser, Write(L"junk.mp4", file));
    EXPECT_TRUE(FAILED(hr));
    EXPECT_FALSE(parser->IsMp4Brand() || parser->Is3gppBrand());
    EXPECT_EQ(file.size(), parser->GetFileSize());
    ASSERT_EQ(1u, m_entries.size());
    ExpectApiFailEntry(m_entries[0], L"m_mp4File.Initialize(spUnk) (");
}

TEST_F(ParserTest, TrackAndCodecFailuresLeaveAnUnsupportedFile) {
    struct Case {
        const wchar_t* name;
        Bytes file;
        bool hasVideo;
    };
    boxw::AudioTrack emptyDsi;
    emptyDsi.esds = boxw::Esds(boxw::EsDescriptor({}));
    const Bytes moovless = boxw::Cat(
        {boxw::Ftyp("mp42", 0, {"mp42"}), boxw::Moov({boxw::VideoTrak(1)}), boxw::Box("free", Bytes(512, 0))});
    const Case cases[] = {
        {L"video-only.mp4", moovless, true},
        {L"empty-dsi.mp4", PaddedAudioFile(emptyDsi), false},
        {L"bad-dsi.mp4", AudioFileWithDsi({0x12}), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name, c.name + wcslen(c.name)));
        TrnMp4ParserPtr parser = CreateMp4Parser();
        const std::wstring path = Write(c.name, c.file);
        ASSERT_NO_THROW(parser->Open(path.c_str()));
        EXPECT_EQ(path, parser->GetFilePath());
        EXPECT_EQ(c.hasVideo, parser->HasVideo());
        EXPECT_EQ(0u, parser->GetDurationMs());
        const AacCodecInfo codec = static_cast<CTrnMp4ParserImpl&>(*parser).GetCodecInfo();
        EXPECT_EQ(0u, codec.m_dwSamplingFrequency + codec.m_dwChannels + codec.m_dwFrameLength + codec.m_dwObjectType +
                          codec.m_dwSbrMode + codec.m_dwSbrSignalling + codec.m_dwMaxBitRate + codec.m_dwAvgBitRate +
                          codec.m_dwQuantizedBit);
        EXPECT_FALSE(parser->IsSupportedAudio());
    }
}

TEST_F(ParserTest, SbrAndParametricStereo) {
    {
        // AAC LC 24000 Hz stereo with backward-compatible SBR to 48000 Hz.
        TrnMp4ParserPtr parser = CreateMp4Parser();
        parser->Open(Write(L"he-aac.mp4", AudioFileWithDsi({0x13, 0x10, 0x56, 0xE5, 0x98})).c_str());
        const AacCodecInfo codec = static_cast<CTrnMp4ParserImpl&>(*parser).GetCodecInfo();
        EXPECT_EQ(48000u, parser->GetSamplingFrequency());
        EXPECT_EQ(1u, codec.m_dwSbrMode);
        EXPECT_EQ(128000u, codec.m_dwMaxBitRate);
        EXPECT_EQ(96000u, parser->GetAvgBitRate());
        EXPECT_TRUE(parser->IsSupportedAudio());
    }
    {
        // Object type 29 first: parametric stereo, which is not supported.
        TrnMp4ParserPtr parser = CreateMp4Parser();
        parser->Open(Write(L"he-aac-v2.mp4", AudioFileWithDsi({0xEB, 0x09, 0x88, 0x00})).c_str());
        const AacCodecInfo codec = static_cast<CTrnMp4ParserImpl&>(*parser).GetCodecInfo();
        EXPECT_EQ(2u, codec.m_dwSbrMode);
        EXPECT_EQ(2u, codec.m_dwObjectType);
        EXPECT_FALSE(parser->IsSupportedAudio());
    }
}

TEST_F(ParserTest, DurationIsWholeSeconds) {
    struct Case {
        uint32_t timescale, duration, expectedMs;
    };
    const Case cases[] = {
        {1000, 205700, 205000},
        {44100, 44099, 0},
        {1, 4294967u, 4294967000u},
        // Too long for 32-bit milliseconds: the largest whole second, not a wrapped value.
        {1, 0xFFFFFFFFu, 4294967000u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.duration);
        boxw::AudioTrack track;
        track.timescale = c.timescale;
        track.duration = c.duration;
        TrnMp4ParserPtr parser = CreateMp4Parser();
        parser->Open(Write(L"duration.mp4", PaddedAudioFile(track)).c_str());
        EXPECT_EQ(c.expectedMs, parser->GetDurationMs());
        EXPECT_EQ(44100u, parser->GetSamplingFrequency());
    }
}

TEST_F(ParserTest, Win32ErrorsBecomeFailureCodes) {
    EXPECT_EQ(HRESULT(0x80070002), TrnHresultFromWin32Error(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(HRESULT(0x80070020), TrnHresultFromWin32Error(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(HRESULT(0x80004005), TrnHresultFromWin32Error(0x80004005));
    // No error recorded must still read as a failure.
    EXPECT_EQ(E_FAIL, TrnHresultFromWin32Error(0));
}

struct SharedParser {
    TrnMp4ParserPtr parser;
    LONG wrong;
};

// A thread procedure must be WINAPI: a plain lambda has the wrong calling
// convention on 32-bit Windows.
DWORD WINAPI ReadSamplingFrequency(void* p) {
    SharedParser* s = static_cast<SharedParser*>(p);
    for (int i = 0; i < 2000; ++i) {
        const DWORD hz = s->parser->GetSamplingFrequency();
        if (hz != 0 && hz != 16000) ::InterlockedIncrement(&s->wrong);
    }
    return 0;
}

TEST_F(ParserTest, SharedParserAnswersFromManyThreads) {
    TrnMp4ParserPtr parser = CreateMp4Parser();
    const std::wstring path = SamplePath("aac-16000-mono.3gp");
    SharedParser shared{parser, 0};
    HANDLE threads[2];
    for (HANDLE& t : threads) t = ::CreateThread(nullptr, 0, ReadSamplingFrequency, &shared, 0, nullptr);
    parser->Open(path.c_str());
    ::WaitForMultipleObjects(2, threads, TRUE, INFINITE);
    for (HANDLE t : threads) ::CloseHandle(t);
    EXPECT_EQ(0, shared.wrong);
    EXPECT_TRUE(parser->IsSupportedAudio());
}

}  // namespace
