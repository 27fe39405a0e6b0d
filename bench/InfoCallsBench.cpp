// Prints how many GetFormatsForSource and GetProperties calls per second the
// registered info object answers, reached as a media server reaches it
// (CoCreateInstance, the host's format and property classes), on every
// sample of ffprobe's record and on a generated three-hour audiobook.
//
//   trn_info_bench SERVER_DLL SAMPLE_DIR [HOST_OBJECTS_DLL]
//   trn_info_bench --write-long FILE     writes the audiobook and stops
//
// Paths are Unix paths, as CTest passes them. The figures are printed, never
// judged by an exit code: only a failed set-up makes the program fail.
#include <objbase.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/ComPtr.h"
#include "base/UniqueResource.h"
#include "tests/host/HostSupport.h"
#include "tests/mp4/BoxWriter.h"

using namespace hosttest;

namespace {

// Aims in calls per second: on every committed sample, and on the 3-hour file.
const double kAimFormatsPerSecond = 2000.0;
const double kAimPropertiesPerSecond = 1000.0;
const double kAimLongFilePerSecond = 300.0;
const int kRounds = 5;
const double kSecondsPerRound = 0.2;

// Three hours of AAC-LC at 44.1 kHz in 1024-sample frames; the last frame is
// short so that the track lasts exactly 03:00:00.000.
const uint32_t kLongRate = 44100;
const uint32_t kLongTicks = 3u * 3600u * kLongRate;
const uint32_t kFramesPerChunk = 43;  // about one second per chunk

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    ::QueryPerformanceCounter(&counter);
    return double(counter.QuadPart) / double(frequency.QuadPart);
}

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out.push_back(c < 128 ? static_cast<char>(c) : '?');
    return out;
}

// The tkhd of the box writer leaves the duration at zero; a real file states it.
boxw::Bytes TkhdWithDuration(uint32_t trackId, uint32_t duration) {
    boxw::Writer w;
    w.U32(0).U32(0).U32(trackId).U32(0).U32(duration).U32(0).U32(0).U16(0).U16(0).U16(0x0100).U16(0);
    const uint32_t matrix[9] = {0x10000, 0, 0, 0, 0x10000, 0, 0, 0, 0x40000000};
    for (uint32_t m : matrix) w.U32(m);
    w.U32(0).U32(0);
    return boxw::FullBox("tkhd", 0, 7, w);
}

struct LongFileLayout {
    boxw::Bytes head;  // ftyp, moov and the mdat header
    uint64_t totalSize = 0;
    uint32_t frames = 0;
};

// Everything but the media data, which stays zeros: the info object reads
// the boxes, never the frames.
LongFileLayout LongFile() {
    using namespace boxw;
    const uint32_t fullFrames = kLongTicks / 1024;
    const uint32_t lastFrame = kLongTicks % 1024;
    LongFileLayout layout;
    layout.frames = fullFrames + (lastFrame ? 1 : 0);

    std::vector<uint32_t> sizes(layout.frames);
    uint64_t mediaBytes = 0;
    for (uint32_t i = 0; i < layout.frames; ++i) {
        sizes[i] = 340 + (i * 7919u) % 64;  // varied around 128 kbit/s
        mediaBytes += sizes[i];
    }
    std::vector<uint32_t> stts = {fullFrames, 1024};
    if (lastFrame) stts.insert(stts.end(), {1, lastFrame});
    const uint32_t chunks = (layout.frames + kFramesPerChunk - 1) / kFramesPerChunk;
    std::vector<uint32_t> stsc = {1, kFramesPerChunk, 1};
    if (layout.frames % kFramesPerChunk) stsc.insert(stsc.end(), {chunks, layout.frames % kFramesPerChunk, 1});
    const uint32_t averageBitrate = uint32_t(mediaBytes * 8 * kLongRate / kLongTicks);
    const uint32_t durationMs = kLongTicks / kLongRate * 1000;

    auto build = [&](const std::vector<uint32_t>& chunkOffsets) {
        AudioTrack t;
        t.timescale = kLongRate;
        t.duration = kLongTicks;
        t.esds = Esds(EsDescriptor(AacDsi(), 160000, averageBitrate));
        const Bytes stbl = Box("stbl", Cat({AudioStsd(t), Table("stts", stts, 2), Table("stsc", stsc, 3),
                                            Stsz(0, sizes), Table("stco", chunkOffsets, 1)}));
        const Bytes minf = Box("minf", Cat({Smhd(), Dinf(), stbl}));
        const Bytes mdia =
            Box("mdia", Cat({Mdhd(t.timescale, t.duration), Hdlr("soun", std::string("SoundHandler\0", 13)), minf}));
        const Bytes trak = Box("trak", Cat({TkhdWithDuration(1, durationMs), mdia}));
        const Bytes moov = Box("moov", Cat({Mvhd(1000, durationMs), trak}));
        return Cat({Ftyp("M4B ", 0, {"M4B ", "M4A ", "mp42", "isom"}), moov, Box("mdat", {}, int64_t(8 + mediaBytes))});
    };
    // The offsets do not change the size of the boxes, so a first pass with
    // zeros tells where the media data starts.
    std::vector<uint32_t> offsets(chunks, 0);
    uint64_t at = build(offsets).size();
    for (uint32_t c = 0; c < chunks; ++c) {
        offsets[c] = uint32_t(at);
        for (uint32_t f = c * kFramesPerChunk; f < layout.frames && f < (c + 1) * kFramesPerChunk; ++f) at += sizes[f];
    }
    layout.head = build(offsets);
    layout.totalSize = at;
    return layout;
}

// Writes the boxes and extends the file to its full size (sparse where the
// file system allows it).
bool WriteLongFile(const std::wstring& path, const LongFileLayout& layout) {
    const UniqueFileHandle file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    if (!::WriteFile(file.get(), layout.head.data(), DWORD(layout.head.size()), &written, nullptr) ||
        written != layout.head.size())
        return false;
    LARGE_INTEGER end;
    end.QuadPart = LONGLONG(layout.totalSize);
    return ::SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) && ::SetEndOfFile(file.get());
}

// The generated file, deleted when the run ends.
class TempFile {
public:
    explicit TempFile(const wchar_t* name) {
        wchar_t folder[MAX_PATH];
        ::GetTempPathW(MAX_PATH, folder);
        m_path = std::wstring(folder) + std::to_wstring(::GetCurrentProcessId()) + L"-" + name;
    }
    ~TempFile() { ::DeleteFileW(m_path.c_str()); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::wstring& path() const { return m_path; }

private:
    std::wstring m_path;
};

// One figure: a call on one file (and target), timed in kRounds rounds.
struct Case {
    std::wstring file;
    const char* call = "";
    std::wstring target;
    size_t entries = 0;  // of the list the call hands back
    double aim = 0;      // calls per second
    std::function<HRESULT()> run;
    HRESULT hr = S_OK;  // of the last call
    std::vector<double> rates;
    double median() const {
        std::vector<double> sorted = rates;
        std::sort(sorted.begin(), sorted.end());
        return sorted.empty() ? 0 : sorted[sorted.size() / 2];
    }
    double best() const { return rates.empty() ? 0 : *std::max_element(rates.begin(), rates.end()); }
    bool met() const { return hr == S_OK && median() >= aim; }
    bool metByBest() const { return hr == S_OK && best() >= aim; }
};

void TimeOneRound(Case& c) {
    long calls = 0;
    const double start = Now();
    double now = start;
    do {
        c.hr = c.run();
        ++calls;
        now = Now();
    } while (now - start < kSecondsPerRound);
    c.rates.push_back(calls / (now - start));
}

// Other work on a shared machine comes in bursts; rounds that take turns
// across all figures spread a burst over many figures instead of spoiling
// every round of one, and the median round is the figure.
void TimeAll(std::vector<Case>& cases) {
    for (Case& c : cases) c.hr = c.run();  // untimed first call
    for (int round = 0; round < kRounds; ++round)
        for (Case& c : cases) TimeOneRound(c);
}

void PrintHeader() {
    std::printf("%-26s %-19s %-32s %-10s %3s %10s %9s %10s  %s\n", "file", "call", "target", "hr", "n", "calls/s",
                "us/call", "best", "aim");
}

void PrintRow(const Case& c) {
    char verdict[48];
    std::snprintf(verdict, sizeof verdict, "%.0f/s %s", c.aim, c.met() ? "met" : "NOT met");
    const double median = c.median();
    std::printf("%-26s %-19s %-32s 0x%08lX %3u %10.1f %9.1f %10.1f  %s\n", Narrow(c.file).c_str(), c.call,
                Narrow(c.target).c_str(), static_cast<unsigned long>(c.hr), unsigned(c.entries), median,
                median > 0 ? 1e6 / median : 0, c.best(), verdict);
}

typedef std::vector<std::pair<std::wstring, std::wstring>> Properties;

// The figures of one file: GetFormatsForSource, then GetProperties for each
// format the file is offered in. The host frees every list it is handed, so
// that is part of each call. Returns the properties for the first format.
Properties AddFileCases(const ComPtr<ITrnMediaTranscoderInfo>& info, const std::wstring& path,
                        const std::wstring& label, bool longFile, std::vector<Case>& cases) {
    const std::shared_ptr<SourceVariant> source = std::make_shared<SourceVariant>(path);
    SAFEARRAY* first = nullptr;
    info->GetFormatsForSource(source->get(), &first);
    const std::vector<FormatFacts> formats = TakeFormatList(first);

    Case listing;
    listing.file = label;
    listing.call = "GetFormatsForSource";
    listing.entries = formats.size();
    listing.aim = longFile ? kAimLongFilePerSecond : kAimFormatsPerSecond;
    listing.run = [info, source] {
        SAFEARRAY* list = nullptr;
        const HRESULT hr = info->GetFormatsForSource(source->get(), &list);
        const UniqueSafeArray owner(list);
        return hr;
    };
    cases.push_back(listing);

    Properties firstProperties;
    for (const FormatFacts& facts : formats) {
        const ComPtr<IMediaFormat> target = MakeFormat(facts);
        SAFEARRAY* list = nullptr;
        info->GetProperties(source->get(), target.get(), &list);
        const Properties properties = TakePropertyList(list);
        if (firstProperties.empty()) firstProperties = properties;
        Case c;
        c.file = label;
        c.call = "GetProperties";
        c.target = facts.mimeType;
        c.entries = properties.size();
        c.aim = longFile ? kAimLongFilePerSecond : kAimPropertiesPerSecond;
        c.run = [info, source, target] {
            SAFEARRAY* list = nullptr;
            const HRESULT hr = info->GetProperties(source->get(), target.get(), &list);
            const UniqueSafeArray owner(list);
            return hr;
        };
        cases.push_back(c);
    }
    return firstProperties;
}

int WriteLongOnly(const char* unixPath) {
    const LongFileLayout layout = LongFile();
    if (!WriteLongFile(WindowsPath(unixPath), layout)) {
        std::fprintf(stderr, "cannot write %s\n", unixPath);
        return 1;
    }
    std::printf("%s: %u frames, %llu bytes\n", unixPath, layout.frames,
                static_cast<unsigned long long>(layout.totalSize));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--write-long") return WriteLongOnly(argv[2]);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s SERVER_DLL SAMPLE_DIR [HOST_OBJECTS_DLL]\n", argv[0]);
        return 2;
    }
    SetArguments(argc, argv);
    ComScope com;
    if (!RegisterServer() || (argc > 3 && !RegisterDll(WindowsPath(argv[3])))) {
        std::fprintf(stderr, "cannot register the server or the host classes\n");
        return 1;
    }
    const ComPtr<ITrnMediaTranscoderInfo> info = CreateInfo();
    if (!info || !MakeFormat(NativeMp4())) {
        std::fprintf(stderr, "cannot create the info object or a host format object\n");
        return 1;
    }
    const std::vector<SampleFacts> samples = ReadSampleRecord();
    if (samples.empty()) {
        std::fprintf(stderr, "no samples listed in ffprobe.txt\n");
        return 1;
    }

    const TempFile longFile(L"trn-bench-3h.m4b");
    const LongFileLayout layout = LongFile();
    if (!WriteLongFile(longFile.path(), layout)) {
        std::fprintf(stderr, "cannot write %s\n", Narrow(longFile.path()).c_str());
        return 1;
    }

    std::vector<Case> cases;
    for (const SampleFacts& sample : samples)
        AddFileCases(info, SamplePath(sample.name.c_str()), sample.name, false, cases);
    const Properties longProperties = AddFileCases(info, longFile.path(), L"3-hour.m4b (generated)", true, cases);
    TimeAll(cases);

    std::printf("info object calls, %s build, one info object; calls/s is the median of %d rounds of %.1f s\n",
                sizeof(void*) == 8 ? "x86_64" : "i686", kRounds, kSecondsPerRound);
    PrintHeader();
    int missed = 0, missedByBest = 0;
    for (const Case& c : cases) {
        PrintRow(c);
        missed += !c.met();
        missedByBest += !c.metByBest();
    }
    for (const SampleFacts& sample : samples) {
        const bool offered = std::any_of(cases.begin(), cases.end(), [&sample](const Case& c) {
            return c.file == sample.name && std::string(c.call) == "GetProperties";
        });
        if (!offered) std::printf("%s: no format offered, so no GetProperties figure\n", Narrow(sample.name).c_str());
    }
    std::printf("3-hour.m4b: %u frames, %llu bytes;", layout.frames, static_cast<unsigned long long>(layout.totalSize));
    for (const auto& p : longProperties) std::printf(" %s=%s", Narrow(p.first).c_str(), Narrow(p.second).c_str());
    std::printf("\n");
    // The best rounds tell what the calls cost when nothing else competes for
    // the processor; the median is what this machine gave meanwhile.
    std::printf(
        "aims (GetFormatsForSource %.0f/s, GetProperties %.0f/s on every sample; both %.0f/s on the 3-hour file): "
        "%d of %zu figures miss by the median, %d by the best round\n",
        kAimFormatsPerSecond, kAimPropertiesPerSecond, kAimLongFilePerSecond, missed, cases.size(), missedByBest);
    return 0;
}
