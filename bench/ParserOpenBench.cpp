// trn_open_bench FILE...: what the parser's Open costs on real files, through
// the file stream adapter: microseconds per open (median of repeated opens,
// wall and processor time), stream calls per open, and peak live heap bytes
// during one open beside the file's sample-table bytes (aim: at most 1.5
// times) and its moov bytes (for a file whose moov is mostly metadata).
//
// The parser facade is Windows code; this runs the same sequence its Open
// does (header probe, Initialize on a file stream, first audio track, codec
// configuration, sample description, duration), so the figures are the
// library's and the adapter's, without Wine in the way.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include <time.h>

#include "common/AacCodecInfo.h"
#include "base/ComPtr.h"
#include "common/Mp4DsiParser.h"
#include "common/SmfAbsStreamImpl.h"
#include "mp4/Mp4File.h"

// Heap accounting: every operator new of the process goes through here, so
// the bench can tell the live bytes at any moment and their peak.
namespace {

struct HeapCounter {
    size_t live = 0;
    size_t peak = 0;
    size_t allocations = 0;
};
HeapCounter g_heap;

// The block size is kept in front of each block, padded to keep alignment.
constexpr size_t kHeader = alignof(std::max_align_t);

void* CountedAlloc(size_t size) noexcept {
    unsigned char* block = static_cast<unsigned char*>(std::malloc(size + kHeader));
    if (!block) return nullptr;
    std::memcpy(block, &size, sizeof size);
    g_heap.live += size;
    g_heap.peak = std::max(g_heap.peak, g_heap.live);
    ++g_heap.allocations;
    return block + kHeader;
}

void CountedFree(void* p) noexcept {
    if (!p) return;
    unsigned char* block = static_cast<unsigned char*>(p) - kHeader;
    size_t size;
    std::memcpy(&size, block, sizeof size);
    g_heap.live -= size;
    std::free(block);
}

void* CountedAllocOrThrow(size_t size) {
    void* p = CountedAlloc(size);
    if (!p) throw std::bad_alloc();
    return p;
}

}  // namespace

void* operator new(size_t size) { return CountedAllocOrThrow(size); }
void* operator new[](size_t size) { return CountedAllocOrThrow(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return CountedAlloc(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return CountedAlloc(size); }
void operator delete(void* p) noexcept { CountedFree(p); }
void operator delete[](void* p) noexcept { CountedFree(p); }
void operator delete(void* p, size_t) noexcept { CountedFree(p); }
void operator delete[](void* p, size_t) noexcept { CountedFree(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { CountedFree(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { CountedFree(p); }

namespace {

// Passes every call on to the file stream and counts them.
class CCountingStream : public ISmfAbsStream {
public:
    explicit CCountingStream(ISmfAbsStream* inner) : m_inner(inner) {}

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ISmfAbsStream)) {
            AddRef();
            *ppv = static_cast<ISmfAbsStream*>(this);
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ULONG(++m_cRef); }
    STDMETHOD_(ULONG, Release)() override {
        const ULONG left = ULONG(--m_cRef);
        if (left == 0) delete this;
        return left;
    }
    STDMETHOD(Tell)(int32_t* position) override {
        ++tells;
        return m_inner->Tell(position);
    }
    STDMETHOD(Seek)(int32_t offset, int32_t origin) override {
        ++seeks;
        return m_inner->Seek(offset, origin);
    }
    STDMETHOD(Read)(void* buffer, uint32_t count, uint32_t* bytesRead) override {
        ++reads;
        const HRESULT hr = m_inner->Read(buffer, count, bytesRead);
        if (SUCCEEDED(hr) && bytesRead) bytes += *bytesRead;
        return hr;
    }
    STDMETHOD(Write)(const void* data, uint32_t count, uint32_t* bytesWritten) override {
        return m_inner->Write(data, count, bytesWritten);
    }
    STDMETHOD(Reserved)(intptr_t first, intptr_t second) override { return m_inner->Reserved(first, second); }

    uint64_t reads = 0, seeks = 0, tells = 0, bytes = 0;

private:
    virtual ~CCountingStream() = default;
    ComPtr<ISmfAbsStream> m_inner;
    int32_t m_cRef = 0;
};

struct StreamCalls {
    uint64_t reads = 0, seeks = 0, tells = 0, bytes = 0;
};

// What one open learnt, to check that every round did the same work.
struct OpenResult {
    HRESULT hr = S_OK;
    bool supported = false;
    uint32_t durationMs = 0;
    StreamCalls calls;
};

// The header probe: size and the first 512 bytes, through a handle of its own.
bool ProbeHeader(const char* path, uint64_t& fileSize) {
    FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    unsigned char header[512] = {};
    const bool ok = std::fseek(f, 0, SEEK_END) == 0 && (fileSize = uint64_t(std::ftell(f)), true) &&
                    std::fseek(f, 0, SEEK_SET) == 0 && std::fread(header, 1, sizeof header, f) == sizeof header;
    std::fclose(f);
    return ok;
}

// Tracks, codec and duration; a failure here leaves the file unsupported.
void ReadAudio(CMp4File& file, OpenResult& r) {
    std::vector<uint32_t> audio, video;
    if (FAILED(file.GetTrackIds(audio, video)) || audio.empty() || FAILED(file.SetAudioTrackId(audio[0]))) return;
    std::vector<uint8_t> dsi;
    uint32_t maxBitrate = 0, avgBitrate = 0;
    if (FAILED(file.GetDecoderSpecificInformation(dsi, &maxBitrate, &avgBitrate, nullptr)) || dsi.empty()) return;
    AacCodecInfo codec;
    try {
        FillCodecInfo(dsi.data(), dsi.size(), &codec);
    } catch (...) {
        return;
    }
    uint32_t bits = 0, rate = 0, channels = 0, duration = 0, timescale = 0;
    if (FAILED(file.GetAudioSampleDescription(&bits, &rate, &channels)) || FAILED(file.GetMediaDuration(&duration)) ||
        FAILED(file.GetMediaTimescale(&timescale)) || timescale == 0)
        return;
    r.durationMs = duration / timescale * 1000;
    r.supported = codec.m_dwSamplingFrequency != 0;
}

std::wstring Widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }

// One open as the parser does it; the file object stays alive in `file` so
// that the caller decides when its memory is given back.
OpenResult OpenOnce(const std::string& path, CMp4File& file) {
    OpenResult r;
    uint64_t size = 0;
    if (!ProbeHeader(path.c_str(), size)) {
        r.hr = E_FAIL;
        return r;
    }
    CCountingStream* counter = nullptr;
    try {
        const ComPtr<ISmfAbsStream> inner = AdoptComPtr(OpenFileStream(Widen(path).c_str()));
        counter = new CCountingStream(inner.get());
    } catch (HRESULT hr) {
        r.hr = hr;
        return r;
    }
    const ComPtr<ISmfAbsStream> stream(counter);
    r.hr = file.Initialize(stream.get());
    if (SUCCEEDED(r.hr)) ReadAudio(file, r);
    r.calls = {counter->reads, counter->seeks, counter->tells, counter->bytes};
    return r;
}

// Sample-table bytes: the sizes of every stts, ctts, stsc, stsz, stco, co64
// and stss box, found by walking the containers that can hold them.
uint64_t SampleTableBytes(FILE* f, uint64_t begin, uint64_t end) {
    static const char* const kContainers[] = {"moov", "trak", "mdia", "minf", "stbl"};
    static const char* const kTables[] = {"stts", "ctts", "stsc", "stsz", "stco", "co64", "stss"};
    uint64_t total = 0;
    uint64_t pos = begin;
    while (pos + 8 <= end) {
        unsigned char h[8];
        if (std::fseek(f, long(pos), SEEK_SET) != 0 || std::fread(h, 1, 8, f) != 8) break;
        const uint64_t size = (uint64_t(h[0]) << 24) | (uint64_t(h[1]) << 16) | (uint64_t(h[2]) << 8) | h[3];
        if (size < 8 || pos + size > end) break;
        const char* type = reinterpret_cast<const char*>(h + 4);
        for (const char* t : kTables)
            if (std::memcmp(type, t, 4) == 0) total += size;
        for (const char* c : kContainers)
            if (std::memcmp(type, c, 4) == 0) total += SampleTableBytes(f, pos + 8, pos + size);
        pos += size;
    }
    return total;
}

// Size of the first top-level moov box.
uint64_t MoovBytes(FILE* f, uint64_t end) {
    uint64_t pos = 0;
    while (pos + 8 <= end) {
        unsigned char h[8];
        if (std::fseek(f, long(pos), SEEK_SET) != 0 || std::fread(h, 1, 8, f) != 8) break;
        const uint64_t size = (uint64_t(h[0]) << 24) | (uint64_t(h[1]) << 16) | (uint64_t(h[2]) << 8) | h[3];
        if (size < 8) break;
        if (std::memcmp(h + 4, "moov", 4) == 0) return size;
        pos += size;
    }
    return 0;
}

struct BoxBytes {
    uint64_t tables = 0;
    uint64_t moov = 0;
};

BoxBytes MeasureBoxes(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return BoxBytes();
    std::fseek(f, 0, SEEK_END);
    const uint64_t size = uint64_t(std::ftell(f));
    BoxBytes b;
    b.tables = SampleTableBytes(f, 0, size);
    b.moov = MoovBytes(f, size);
    std::fclose(f);
    return b;
}

struct Figures {
    OpenResult result;
    int rounds = 0;
    double medianMicros = 0;
    double medianCpuMicros = 0;
    size_t peakBytes = 0;      // live heap bytes above the start, at the worst moment of an open
    size_t retainedBytes = 0;  // what the opened file object holds afterwards
    size_t allocations = 0;
};

double CpuMicros() {
    timespec t = {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e6 + double(t.tv_nsec) / 1e3;
}

// Opens the file repeatedly for about `seconds` (at least 5 rounds) and
// takes the median time; the heap figures come from the first round.
Figures Measure(const std::string& path, double seconds) {
    Figures f;
    std::vector<double> micros, cpuMicros;
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    do {
        const size_t before = g_heap.live;
        const size_t allocationsBefore = g_heap.allocations;
        g_heap.peak = before;
        const double cpuStart = CpuMicros();
        const auto start = std::chrono::steady_clock::now();
        {
            CMp4File file;
            f.result = OpenOnce(path, file);
            if (micros.empty()) {
                f.retainedBytes = g_heap.live - before;
                f.peakBytes = g_heap.peak - before;
                f.allocations = g_heap.allocations - allocationsBefore;
            }
        }
        const auto elapsed = std::chrono::steady_clock::now() - start;
        micros.push_back(std::chrono::duration<double, std::micro>(elapsed).count());
        cpuMicros.push_back(CpuMicros() - cpuStart);
    } while (micros.size() < 5 || std::chrono::steady_clock::now() < until);
    std::sort(micros.begin(), micros.end());
    f.rounds = int(micros.size());
    f.medianMicros = micros[micros.size() / 2];
    std::sort(cpuMicros.begin(), cpuMicros.end());
    f.medianCpuMicros = cpuMicros[cpuMicros.size() / 2];
    return f;
}

std::string BaseName(const std::string& path) { return path.substr(path.find_last_of("/\\") + 1); }

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: trn_open_bench FILE...\n");
        return 2;
    }
    std::printf("%-12s %10s %4s %9s %9s %6s %5s %5s %9s %6s %9s %9s %9s %7s %9s %7s\n", "file", "hr", "sup", "us/open",
                "cpu us", "rounds", "reads", "seeks", "read KiB", "allocs", "peak KiB", "kept KiB", "stbl KiB",
                "peak/st", "moov KiB", "peak/mv");
    bool allOpened = true;
    for (int i = 1; i < argc; ++i) {
        const Figures f = Measure(argv[i], 2.0);
        const BoxBytes boxes = MeasureBoxes(argv[i]);
        char ratio[16] = "-", moovRatio[16] = "-";
        if (boxes.tables > 0) std::snprintf(ratio, sizeof ratio, "%.2fx", double(f.peakBytes) / double(boxes.tables));
        if (boxes.moov > 0)
            std::snprintf(moovRatio, sizeof moovRatio, "%.2fx", double(f.peakBytes) / double(boxes.moov));
        std::printf("%-12s 0x%08X %4s %9.1f %9.1f %6d %5llu %5llu %9.1f %6zu %9.1f %9.1f %9.1f %7s %9.1f %7s\n",
                    BaseName(argv[i]).c_str(), unsigned(f.result.hr), f.result.supported ? "yes" : "no", f.medianMicros,
                    f.medianCpuMicros, f.rounds, (unsigned long long)f.result.calls.reads,
                    (unsigned long long)f.result.calls.seeks, double(f.result.calls.bytes) / 1024.0, f.allocations,
                    double(f.peakBytes) / 1024.0, double(f.retainedBytes) / 1024.0, double(boxes.tables) / 1024.0,
                    ratio, double(boxes.moov) / 1024.0, moovRatio);
        allOpened = allOpened && SUCCEEDED(f.result.hr);
    }
    std::printf("aim: peak/st (peak heap of one open over the sample-table bytes) at most 1.50x\n");
    return allOpened ? 0 : 1;
}
