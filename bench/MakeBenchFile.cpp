// trn_bench_mkfile: writes the generated reference files of the open
// benchmarks from a short ADTS piece that ffmpeg encodes.
//   trn_bench_mkfile long ADTS HOURS OUT   the piece repeated for HOURS, as
//                                         one .m4b with full-length tables
//   trn_bench_mkfile tags ADTS COVER OUT   the piece once, with hundreds of
//                                         metadata items, a cover, chapters
// Encoding hours of AAC takes far longer than repeating frames: a decoder
// takes each AAC-LC frame on its own, so the result still plays.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/Mp4DsiParser.h"
#include "tests/mp4/BoxWriter.h"

namespace {

using namespace boxw;

struct AdtsPiece {
    uint32_t objectType = 0;
    uint32_t rateIndex = 0;
    uint32_t channels = 0;
    std::vector<Bytes> frames;  // raw data blocks, headers removed
};

Bytes ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool ParseAdts(const Bytes& data, AdtsPiece& piece) {
    size_t pos = 0;
    while (pos + 7 <= data.size()) {
        const uint8_t* h = &data[pos];
        if (h[0] != 0xFF || (h[1] & 0xF0) != 0xF0) return false;
        const bool crc = (h[1] & 1) == 0;
        const uint32_t length = ((h[3] & 3u) << 11) | (uint32_t(h[4]) << 3) | (h[5] >> 5);
        const size_t header = crc ? 9 : 7;
        if (length <= header || pos + length > data.size() || (h[6] & 3) != 0) return false;
        piece.objectType = ((h[2] >> 6) & 3u) + 1;
        piece.rateIndex = (h[2] >> 2) & 15u;
        piece.channels = ((h[2] & 1u) << 2) | (h[3] >> 6);
        piece.frames.emplace_back(data.begin() + pos + header, data.begin() + pos + length);
        pos += length;
    }
    return !piece.frames.empty() && piece.rateIndex < DSI_SAMPLING_FREQUENCY_INDICES;
}

Bytes AudioSpecificConfig(const AdtsPiece& p) {
    const uint32_t v = (p.objectType << 11) | (p.rateIndex << 7) | (p.channels << 3);
    return {uint8_t(v >> 8), uint8_t(v)};
}

Bytes TrackHeader(uint32_t durationMs) {
    Writer w;
    w.U32(0).U32(0).U32(1).U32(0).U32(durationMs).U32(0).U32(0).U16(0).U16(0).U16(0x0100).U16(0);
    const uint32_t matrix[9] = {0x10000, 0, 0, 0, 0x10000, 0, 0, 0, 0x40000000};
    for (uint32_t m : matrix) w.U32(m);
    w.U32(0).U32(0);
    return FullBox("tkhd", 0, 7, w);
}

// The layout of the audio in mdat: sample sizes and chunks of about a second.
struct Layout {
    std::vector<uint32_t> sizes;
    uint32_t perChunk = 1;
    uint64_t mdatPayload = 0;
};

Layout MakeLayout(const AdtsPiece& piece, uint64_t samples) {
    Layout l;
    l.sizes.reserve(size_t(samples));
    for (uint64_t i = 0; i < samples; ++i) {
        const uint32_t size = uint32_t(piece.frames[size_t(i % piece.frames.size())].size());
        l.sizes.push_back(size);
        l.mdatPayload += size;
    }
    l.perChunk = (DsiSamplingFrequency(piece.rateIndex) + 1023) / 1024;
    return l;
}

Bytes SampleTables(const AdtsPiece& piece, const Layout& l, uint32_t firstOffset) {
    const uint32_t samples = uint32_t(l.sizes.size());
    const uint32_t fullChunks = samples / l.perChunk;
    const uint32_t rest = samples % l.perChunk;
    std::vector<uint32_t> stsc = {1, l.perChunk, 1};
    if (rest != 0) {
        if (fullChunks == 0)
            stsc = {1, rest, 1};
        else
            stsc.insert(stsc.end(), {fullChunks + 1, rest, 1});
    }
    std::vector<uint32_t> stco;
    uint32_t offset = firstOffset;
    for (uint32_t i = 0; i < samples; ++i) {
        if (i % l.perChunk == 0) stco.push_back(offset);
        offset += l.sizes[i];
    }
    const uint32_t rate = DsiSamplingFrequency(piece.rateIndex);
    const uint32_t avgBitrate = uint32_t(l.mdatPayload * 8 * rate / (uint64_t(samples) * 1024));
    const Bytes esds = Esds(EsDescriptor(AudioSpecificConfig(piece), avgBitrate, avgBitrate));
    const Bytes stsd = Stsd({Mp4a(uint16_t(piece.channels), 16, rate << 16, esds)});
    return Box("stbl", Cat({stsd, Table("stts", {samples, 1024}, 2), Table("stsc", stsc, 3), Stsz(0, l.sizes),
                            Table("stco", stco, 1)}));
}

Bytes Movie(const AdtsPiece& piece, const Layout& l, uint32_t firstOffset, const Bytes& udta) {
    const uint32_t rate = DsiSamplingFrequency(piece.rateIndex);
    const uint64_t ticks = uint64_t(l.sizes.size()) * 1024;
    const uint32_t ms = uint32_t(ticks * 1000 / rate);
    const Bytes minf = Box("minf", Cat({Smhd(), Dinf(), SampleTables(piece, l, firstOffset)}));
    const Bytes mdia =
        Box("mdia", Cat({Mdhd(rate, uint32_t(ticks)), Hdlr("soun", std::string("SoundHandler\0", 13)), minf}));
    const Bytes trak = Box("trak", Cat({TrackHeader(ms), mdia}));
    return Box("moov", Cat({Mvhd(1000, ms), trak, udta}));
}

// Writes ftyp, moov, mdat. Chunk offsets depend on the moov size, which does
// not depend on their values: lay out once with zeros, then for real.
bool WriteFile(const std::string& out, const Bytes& ftyp, const AdtsPiece& piece, const Layout& l, const Bytes& udta) {
    const size_t moovSize = Movie(piece, l, 0, udta).size();
    const uint32_t firstOffset = uint32_t(ftyp.size() + moovSize + 8);
    if (uint64_t(firstOffset) + l.mdatPayload > 0xFFFFFFFFu) {
        std::fprintf(stderr, "too large for 32-bit offsets\n");
        return false;
    }
    const Bytes moov = Movie(piece, l, firstOffset, udta);
    std::ofstream f(out, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(ftyp.data()), std::streamsize(ftyp.size()));
    f.write(reinterpret_cast<const char*>(moov.data()), std::streamsize(moov.size()));
    const Bytes mdat = Writer().U32(uint32_t(8 + l.mdatPayload)).Type("mdat");
    f.write(reinterpret_cast<const char*>(mdat.data()), 8);
    for (size_t i = 0; i < l.sizes.size(); ++i) {
        const Bytes& frame = piece.frames[i % piece.frames.size()];
        f.write(reinterpret_cast<const char*>(frame.data()), std::streamsize(frame.size()));
    }
    return bool(f);
}

// 3GPP text item: version, flags, language "eng", UTF-8 text with its NUL.
Bytes Text3gpp(const char* type, const std::string& text, const Bytes& before = {}) {
    return FullBox(type, 0, 0, Cat({before, Writer().U16(0x15C7).Text(text).U8(0)}));
}

Bytes UserData3gpp() {
    Writer keywords;
    keywords.U16(0x15C7).U8(60);
    for (int i = 0; i < 60; ++i) {
        const std::string k = "keyword " + std::to_string(i);
        keywords.U8(uint32_t(k.size() + 1)).Text(k).U8(0);
    }
    Writer loci;
    loci.U16(0x15C7)
        .Text("Studio")
        .U8(0)
        .U8(0)
        .U32(0x000D0000)
        .U32(0x00340000)
        .U32(0)
        .Text("earth")
        .U8(0)
        .Text("generated")
        .U8(0);
    return Cat({Text3gpp("titl", "Benchmark Book"), Text3gpp("dscp", std::string(2000, 'd')),
                Text3gpp("cprt", "(c) nobody"), Text3gpp("perf", "Reader"), Text3gpp("auth", "Writer"),
                Text3gpp("gnre", "Audiobook"), Text3gpp("rtng", "none", Writer().Type("NONE").Type("ALL ")),
                Text3gpp("clsf", "none", Writer().Type("NONE").U16(0)), FullBox("kywd", 0, 0, keywords),
                FullBox("loci", 0, 0, loci), Text3gpp("albm", "Benchmarks", {}),
                FullBox("yrrc", 0, 0, Writer().U16(2024))});
}

// iTunes-style item list: the usual items, `freeform` custom items, a cover.
Bytes ItemData(const char* type, uint32_t dataType, const Bytes& value) {
    return Box(type, Box("data", Cat({Writer().U32(dataType).U32(0), value})));
}

Bytes TextItem(const char* type, const std::string& text) { return ItemData(type, 1, Writer().Text(text)); }

Bytes ItemList(const Bytes& cover, int freeform) {
    // clang-format off
    Bytes items = Cat({TextItem("\xA9nam", "Benchmark Book"), TextItem("\xA9" "ART", "Reader"),
                       TextItem("aART", "Reader"), TextItem("\xA9" "alb", "Benchmarks"),
                       TextItem("\xA9" "day", "2024"), TextItem("\xA9gen", "Audiobook"),
                       TextItem("\xA9wrt", "Writer"), TextItem("\xA9too", "trn_bench_mkfile"),
                       TextItem("\xA9" "cmt", std::string(500, 'c')), TextItem("desc", std::string(250, 'e')),
                       TextItem("ldes", std::string(4000, 'l')), TextItem("\xA9lyr", std::string(8000, 'y')),
                       ItemData("trkn", 0, Writer().U16(0).U16(3).U16(12).U16(0)),
                       ItemData("disk", 0, Writer().U16(0).U16(1).U16(2)),
                       ItemData("cpil", 21, Writer().U8(0)), ItemData("stik", 21, Writer().U8(2)),
                       ItemData("covr", 13, cover)});
    // clang-format on
    for (int i = 0; i < freeform; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "BENCH_TAG_%03d", i);
        const Bytes item = Box("----", Cat({FullBox("mean", 0, 0, Writer().Text("com.apple.iTunes")),
                                            FullBox("name", 0, 0, Writer().Text(name)),
                                            Box("data", Writer().U32(1).U32(0).Text("value " + std::to_string(i)))}));
        items.insert(items.end(), item.begin(), item.end());
    }
    const Bytes hdlr = FullBox("hdlr", 0, 0, Writer().U32(0).Type("mdir").Type("appl").U32(0).U32(0).U8(0));
    return FullBox("meta", 0, 0, Cat({hdlr, Box("ilst", items)}));
}

// Nero chapter list, start times in 100 ns units; at most 255 entries.
Bytes Chapters(int count, uint64_t durationMs) {
    Writer w;
    w.U32(0).U8(uint32_t(count));
    for (int i = 0; i < count; ++i) {
        const uint64_t start = durationMs * 10000 * uint64_t(i) / uint64_t(count);
        const std::string title = "Chapter " + std::to_string(i + 1);
        w.U32(uint32_t(start >> 32)).U32(uint32_t(start)).U8(uint32_t(title.size())).Text(title);
    }
    return FullBox("chpl", 1, 0, w);
}

int Usage() {
    std::fprintf(stderr,
                 "usage: trn_bench_mkfile long ADTS HOURS OUT\n"
                 "       trn_bench_mkfile tags ADTS COVER OUT\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) return Usage();
    const std::string mode = argv[1];
    AdtsPiece piece;
    if (!ParseAdts(ReadAll(argv[2]), piece)) {
        std::fprintf(stderr, "%s: not an ADTS stream of AAC frames\n", argv[2]);
        return 1;
    }
    const uint32_t rate = DsiSamplingFrequency(piece.rateIndex);
    if (mode == "long") {
        const double hours = std::atof(argv[3]);
        if (hours <= 0) return Usage();
        const uint64_t samples = uint64_t(hours * 3600.0 * rate / 1024.0);
        const Layout layout = MakeLayout(piece, samples);
        return WriteFile(argv[4], Ftyp("M4B ", 0, {"M4B ", "mp42", "isom"}), piece, layout, {}) ? 0 : 1;
    }
    if (mode == "tags") {
        const Bytes cover = ReadAll(argv[3]);
        if (cover.empty()) {
            std::fprintf(stderr, "%s: no cover image\n", argv[3]);
            return 1;
        }
        const Layout layout = MakeLayout(piece, piece.frames.size());
        const uint64_t ms = uint64_t(layout.sizes.size()) * 1024 * 1000 / rate;
        const Bytes udta = Box("udta", Cat({UserData3gpp(), Chapters(200, ms), ItemList(cover, 400)}));
        return WriteFile(argv[4], Ftyp("M4A ", 0, {"M4A ", "mp42", "isom"}), piece, layout, udta) ? 0 : 1;
    }
    return Usage();
}
