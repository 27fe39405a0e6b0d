// Prints what opening MP4 files costs: time and stream reads per Initialize
// for each sample file, and for a synthetic track whose time-to-sample table
// has a million entries.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "mp4/Mp4File.h"
#include "tests/mp4/BoxWriter.h"
#include "tests/mp4/MemoryStream.h"

namespace {

struct Figures {
    HRESULT hr = S_OK;
    double microsPerOpen = 0;
    int readsPerOpen = 0;
};

Figures Measure(const std::vector<uint8_t>& data, int rounds) {
    Figures f;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; ++i) {
        CMemoryStream* stream = new CMemoryStream(data);
        stream->AddRef();
        CMp4File file;
        f.hr = file.Initialize(stream);
        f.readsPerOpen = stream->readCalls;
        stream->Release();
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    f.microsPerOpen = std::chrono::duration<double, std::micro>(elapsed).count() / rounds;
    return f;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<uint8_t> LongTableFile(uint32_t entries) {
    using namespace boxw;
    std::vector<uint32_t> stts;
    stts.reserve(size_t(entries) * 2);
    for (uint32_t i = 0; i < entries; ++i) {
        stts.push_back(1);
        stts.push_back(1024);
    }
    AudioTrack t;
    t.duration = entries * 1024;
    Bytes stbl = Box("stbl", Cat({AudioStsd(t), Table("stts", stts, 2), Table("stsc", {1, entries, 1}, 3),
                                  Stsz(100, {}, entries), Table("stco", {0}, 1)}));
    Bytes minf = Box("minf", Cat({Smhd(), Dinf(), stbl}));
    Bytes mdia = Box("mdia", Cat({Mdhd(t.timescale, t.duration), Hdlr(t.handler), minf}));
    Bytes trak = Box("trak", Cat({Tkhd(t.trackId), mdia}));
    return Cat({Ftyp("M4A ", 0, {"M4A ", "mp42", "isom"}), Moov({trak})});
}

}  // namespace

int main(int argc, char** argv) {
    printf("%-28s %10s %12s %8s\n", "file", "hr", "us/open", "reads");
    for (int i = 1; i < argc; ++i) {
        const std::string path = argv[i];
        const Figures f = Measure(ReadFile(path), 500);
        const std::string name = path.substr(path.find_last_of("/\\") + 1);
        printf("%-28s 0x%08X %12.1f %8d\n", name.c_str(), unsigned(f.hr), f.microsPerOpen, f.readsPerOpen);
    }
    const Figures f = Measure(LongTableFile(1000000), 3);
    printf("%-28s 0x%08X %12.1f %8d\n", "stts with 1000000 entries", unsigned(f.hr), f.microsPerOpen, f.readsPerOpen);
    return 0;
}
