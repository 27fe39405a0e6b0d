// Figures of the transcoder under Wine, reached as a host reaches it:
// pass-through Read throughput against a plain ReadFile loop over the same
// file, LPCM output speed on a generated four-minute file, and the time from
// Start to the first non-empty Read. Prints figures; asserts nothing.
#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/host/HostSupport.h"
#include "tests/mp4/BoxWriter.h"

using namespace hosttest;

namespace {

const double kAimPassThroughShare = 0.80;
const int kRounds = 5;
const uint32_t kRate = 44100;
const uint32_t kLongSeconds = 240;
const uint32_t kFrames = (kLongSeconds * kRate + 1023) / 1024;

double Now() {
    static const LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    ::QueryPerformanceCounter(&counter);
    return double(counter.QuadPart) / double(frequency.QuadPart);
}

// AAC-LC, 44.1 kHz stereo, kFrames frames of frameBytes each in one chunk.
// The decoder stand-in turns every frame into tone, so the frames' bytes do
// not matter; their count and size do.
boxw::Bytes AacFile(uint32_t frameBytes) {
    using namespace boxw;
    const auto moovWith = [&](uint32_t mdatOffset) {
        AudioTrack t;
        t.duration = kFrames * 1024;
        const Bytes stbl =
            Box("stbl", Cat({AudioStsd(t), Table("stts", {kFrames, 1024}, 2), Table("stsc", {1, kFrames, 1}, 3),
                             Stsz(frameBytes, {}, kFrames), Table("stco", {mdatOffset}, 1)}));
        const Bytes minf = Box("minf", Cat({Smhd(), Dinf(), stbl}));
        const Bytes mdia = Box("mdia", Cat({Mdhd(t.timescale, t.duration), Hdlr("soun"), minf}));
        const Bytes trak = Box("trak", Cat({Tkhd(1), mdia}));
        return Box("moov", Cat({Mvhd(1000, kFrames * 1024ull * 1000 / kRate), trak}));
    };
    const Bytes ftyp = Ftyp("M4A ", 0, {"M4A ", "mp42", "isom"});
    const uint32_t offset = uint32_t(ftyp.size() + moovWith(0).size() + 8);
    Bytes file = Cat({ftyp, moovWith(offset)});
    const uint64_t mediaBytes = uint64_t(kFrames) * frameBytes;
    const Bytes header = Writer().U32(uint32_t(8 + mediaBytes)).Type("mdat");
    file.insert(file.end(), header.begin(), header.end());
    const size_t at = file.size();
    file.resize(at + mediaBytes);
    for (size_t i = at; i < file.size(); ++i) file[i] = static_cast<unsigned char>(i * 131);
    return file;
}

// A generated file in the temporary folder, deleted at the end of the scope.
class TempFile {
public:
    TempFile(const wchar_t* name, const boxw::Bytes& bytes) {
        wchar_t folder[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, folder);
        m_path = std::wstring(folder) + name;
        UniqueFileHandle file(
            ::CreateFileW(m_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        m_ok = file.valid() && ::WriteFile(file.get(), bytes.data(), DWORD(bytes.size()), &written, nullptr) &&
               written == bytes.size();
    }
    ~TempFile() { ::DeleteFileW(m_path.c_str()); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    bool ok() const { return m_ok; }
    const std::wstring& path() const { return m_path; }

private:
    std::wstring m_path;
    bool m_ok = false;
};

ComPtr<ITrnMediaTranscoder> OpenTranscoder(const std::wstring& path, const FormatFacts& target) {
    ComPtr<ITrnMediaTranscoder> transcoder;
    if (FAILED(::CoCreateInstance(CLSID_M4aConverter, nullptr, CLSCTX_INPROC_SERVER, IID_ITrnMediaTranscoder,
                                  transcoder.put_void())))
        return transcoder;
    const SourceVariant source(path);
    const ComPtr<IMediaFormat> format = MakeFormat(target);
    if (!format || FAILED(transcoder->Open(source.get(), format.get()))) transcoder.reset();
    return transcoder;
}

// Seconds for one pass of plain ReadFile calls of block bytes; 0 on failure.
double ReadFilePass(const std::wstring& path, DWORD block, unsigned long long& total) {
    std::vector<unsigned char> buffer(block);
    const double start = Now();
    UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return 0;
    total = 0;
    DWORD read = 0;
    while (::ReadFile(file.get(), buffer.data(), block, &read, nullptr) && read > 0) total += read;
    return Now() - start;
}

// Seconds for one pass of transcoder Reads of block bytes (Start included).
double TranscoderPass(ITrnMediaTranscoder* transcoder, DWORD block, unsigned long long& total) {
    const double start = Now();
    if (FAILED(transcoder->Start())) return 0;
    total = 0;
    for (;;) {
        SAFEARRAY* array = nullptr;
        VARIANT_BOOL end = 0;
        if (FAILED(transcoder->Read(block, &array, &end))) return 0;
        const UniqueSafeArray owner(array);
        total += array->rgsabound[0].cElements;
        if (end == VARIANT_TRUE) break;
    }
    const double seconds = Now() - start;
    transcoder->Stop();
    return seconds;
}

void PassThrough(const std::wstring& path) {
    const ComPtr<ITrnMediaTranscoder> transcoder = OpenTranscoder(path, NativeMp4());
    if (!transcoder) {
        std::printf("pass-through: cannot open the generated file\n");
        return;
    }
    unsigned long long bytes = 0;
    ReadFilePass(path, 1 << 20, bytes);  // into the cache first
    std::printf("pass-through over %.1f MB (best of %d passes each, file in the cache):\n", bytes / 1e6, kRounds);
    for (const DWORD block : {DWORD(16384), DWORD(65536), DWORD(1 << 20)}) {
        double plain = 1e9, ours = 1e9;
        unsigned long long plainBytes = 0, ourBytes = 0;
        for (int round = 0; round < kRounds; ++round) {
            const double p = ReadFilePass(path, block, plainBytes);
            const double t = TranscoderPass(transcoder.get(), block, ourBytes);
            if (p > 0) plain = std::min(plain, p);
            if (t > 0) ours = std::min(ours, t);
        }
        if (ourBytes != plainBytes)
            std::printf("  block %lu: transcoder delivered %llu of %llu bytes\n", static_cast<unsigned long>(block),
                        ourBytes, plainBytes);
        const double plainRate = plainBytes / plain / 1e6;
        const double ourRate = ourBytes / ours / 1e6;
        std::printf("  block %7lu: ReadFile %8.1f MB/s, Read %8.1f MB/s = %5.1f%% (aim >= %.0f%%)\n",
                    static_cast<unsigned long>(block), plainRate, ourRate, 100.0 * ourRate / plainRate,
                    100.0 * kAimPassThroughShare);
    }
}

struct LpcmRun {
    double firstRead = 0;  // seconds from Start to the first non-empty Read
    double total = 0;      // seconds from Start to the end of the stream
    unsigned long long bytes = 0;
    bool ok = false;
};

LpcmRun RunLpcm(ITrnMediaTranscoder* transcoder, DWORD block) {
    LpcmRun run;
    const double start = Now();
    if (FAILED(transcoder->Start())) return run;
    for (;;) {
        SAFEARRAY* array = nullptr;
        VARIANT_BOOL end = 0;
        if (FAILED(transcoder->Read(block, &array, &end))) return run;
        const UniqueSafeArray owner(array);
        const ULONG got = array->rgsabound[0].cElements;
        if (got > 0 && run.bytes == 0) run.firstRead = Now() - start;
        run.bytes += got;
        if (end == VARIANT_TRUE) break;
    }
    run.total = Now() - start;
    run.ok = transcoder->Stop() == S_OK;
    return run;
}

void Lpcm(const std::wstring& path) {
    std::printf("LPCM from a %u-second AAC-LC 44.1 kHz stereo file (%u frames), 64 KiB Reads:\n", kLongSeconds,
                kFrames);
    for (const FormatFacts& target : {Lpcm44100(), Lpcm48000()}) {
        const ComPtr<ITrnMediaTranscoder> transcoder = OpenTranscoder(path, target);
        if (!transcoder) {
            std::printf("  %ls: cannot open\n", target.mimeType.c_str());
            continue;
        }
        const double rate = target.mimeType.find(L"48000") != std::wstring::npos ? 48000 : 44100;
        for (int round = 0; round < 3; ++round) {
            const LpcmRun run = RunLpcm(transcoder.get(), 65536);
            if (!run.ok) {
                std::printf("  %ls: a run failed\n", target.mimeType.c_str());
                break;
            }
            const double audio = run.bytes / (rate * 4);
            std::printf("  %ls: %.1f s of audio in %.2f s = %.1f s of audio per second; first bytes after %.1f ms\n",
                        target.mimeType.c_str(), audio, run.total, audio / run.total, run.firstRead * 1e3);
        }
    }
}

// Start to the first non-empty Read on a short committed sample, repeated.
void FirstRead(const std::wstring& path) {
    const ComPtr<ITrnMediaTranscoder> transcoder = OpenTranscoder(path, Lpcm48000());
    if (!transcoder) {
        std::printf("first read: cannot open the sample\n");
        return;
    }
    const int kStarts = 20;
    std::vector<double> times;
    for (int i = 0; i < kStarts; ++i) {
        const LpcmRun run = RunLpcm(transcoder.get(), 65536);
        if (run.ok) times.push_back(run.firstRead * 1e3);
    }
    if (times.empty()) return;
    std::sort(times.begin(), times.end());
    std::printf(
        "Start to first non-empty Read (1-second sample, %zu starts): min %.1f ms, median %.1f ms, max %.1f ms\n",
        times.size(), times.front(), times[times.size() / 2], times.back());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s SERVER_DLL SAMPLE_DIR\n", argv[0]);
        return 2;
    }
    SetArguments(argc, argv);
    ComScope com;
    if (!RegisterServer()) {
        std::fprintf(stderr, "cannot register the server\n");
        return 1;
    }
    if (!MakeFormat(NativeMp4())) {
        std::fprintf(stderr, "the stand-in host classes are not registered\n");
        return 1;
    }
    const TempFile longFile(L"trn-bench-4min.m4a", AacFile(372));  // about 128 kbit/s
    const TempFile bigFile(L"trn-bench-big.m4a", AacFile(6144));   // about 65 MB
    if (!longFile.ok() || !bigFile.ok()) {
        std::fprintf(stderr, "cannot write the generated files\n");
        return 1;
    }
    PassThrough(bigFile.path());
    Lpcm(longFile.path());
    FirstRead(SamplePath(L"aac-48000-mp42.mp4"));
    return 0;
}
