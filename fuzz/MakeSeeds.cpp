// Writes the seed corpora of the fuzz targets from the sample files: whole
// files and their header boxes, the esds payloads and decoder configurations
// found in them, their user-data boxes, hand-made ID3v2 frames and 3GPP
// boxes of every kind, and MIME texts. Seeds are named by content, so
// running it again adds nothing twice.
//
//   trn_fuzz_seeds OUTDIR SAMPLE...
#include "mp4/Mp4PropertyId3v2.h"
#include "mp4/SmfEsDescriptor.h"
#include "tests/mp4/BoxWriter.h"
#include "tests/mp4/MemoryStream.h"
#include "tests/presented/ElstRewrite.h"
#include "mp4/Mp4File.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using boxw::Bytes;

namespace {

int g_written = 0;

void Put(const fs::path& dir, const Bytes& bytes) {
    uint64_t hash = 1469598103934665603ull;
    for (uint8_t b : bytes) hash = (hash ^ b) * 1099511628211ull;
    char name[32];
    std::snprintf(name, sizeof name, "seed-%016llx", static_cast<unsigned long long>(hash));
    fs::create_directories(dir);
    const fs::path path = dir / name;
    if (fs::exists(path)) return;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    ++g_written;
}

uint32_t Be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

// The top-level boxes without any mdat: what a parse reads.
Bytes HeaderBoxes(const Bytes& file) {
    Bytes out;
    for (size_t pos = 0; file.size() - pos >= 8;) {
        const uint32_t size = Be32(&file[pos]);
        if (size < 8 || size > file.size() - pos) break;
        if (Be32(&file[pos + 4]) != boxw::FourCC("mdat"))
            out.insert(out.end(), file.begin() + pos, file.begin() + pos + size);
        pos += size;
    }
    return out;
}

void FromSample(const fs::path& out, const fs::path& sample) {
    std::ifstream in(sample, std::ios::binary);
    const Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (file.empty()) return;
    Put(out / "mp4file", file);
    Put(out / "frames", file);
    // The edit list reader: the file, its header boxes, and both again with
    // every version-0 elst rewritten as version 1.
    Put(out / "editlist", file);
    Put(out / "editlist", HeaderBoxes(file));
    const Bytes v1 = elstv1::ToVersion1(file);
    Put(out / "editlist", v1);
    Put(out / "editlist", HeaderBoxes(v1));
    const Bytes header = HeaderBoxes(file);
    if (!header.empty() && header.size() < file.size()) Put(out / "mp4file", header);

    MemoryStreamRef stream(file);
    CMp4File mp4;
    if (FAILED(mp4.Initialize(stream.stream)) || !mp4.Movie()) return;
    const SmfMovie& movie = *mp4.Movie();
    for (const auto& track : movie.tracks) {
        if (!track->stbl) continue;
        for (const auto& entry : track->stbl->entries) {
            if (!entry->esds) continue;
            Put(out / "esds", entry->esds->payload);
            SmfEsDescriptor es;
            if (SMF_SUCCEEDED(SmfParseEsDescriptor(entry->esds->payload.data(), entry->esds->payload.size(), &es)))
                Put(out / "dsi", es.decoderSpecificInfo);
        }
    }
    if (movie.udta) {
        Bytes all;
        for (const SmfRawBox& child : movie.udta->children) {
            const Bytes box = boxw::Writer().U32(child.size).U32(child.type).Raw(child.payload);
            Put(out / "properties", box);
            all.insert(all.end(), box.begin(), box.end());
        }
        Put(out / "properties", all);
    }
}

Bytes Utf16(const std::u16string& text) {
    boxw::Writer w;
    w.U16(0xFEFF);
    for (char16_t c : text) w.U16(c);
    return w.U16(0);
}

Bytes Sz(const std::string& text) { return boxw::Writer().Text(text).U8(0); }

Bytes Frame(const char* id, const Bytes& body) {
    boxw::Writer w;
    for (BYTE b : kMp4Id3v2FrameUuid) w.U8(b);
    return boxw::Box("uuid", w.Type(id).U16(0).Raw(body));
}

void HandMade(const fs::path& out) {
    using boxw::Cat;
    using boxw::FullBox;
    const fs::path props = out / "properties";
    const Bytes lang = boxw::Writer().U16(0x15C7);  // "eng"
    const Bytes title = Utf16(u"Title");
    Bytes all;
    for (const Bytes& box : {
             FullBox("titl", 0, 0, Cat({lang, title})),
             FullBox("perf", 0, 0, Cat({lang, Sz("Artist")})),
             FullBox("rtng", 0, 0, Cat({boxw::Writer().Type("MPAA").Type("PG13"), lang, title})),
             FullBox("clsf", 0, 0, Cat({boxw::Writer().Type("ENTI").U16(7), lang, title})),
             FullBox("kywd", 0, 0, Cat({lang, boxw::Writer().U8(2).U8(4).Text("one").U8(0).U8(4).Text("two").U8(0)})),
             FullBox("loci", 0, 0,
                     Cat({lang, Sz("Home"), boxw::Writer().U8(1).U32(0x10000).U32(0x20000).U32(0), Sz("earth"),
                          Sz("notes")})),
             FullBox("albm", 0, 0, Cat({lang, Utf16(u"Album"), boxw::Writer().U8(3)})),
             FullBox("yrrc", 0, 0, boxw::Writer().U16(2010)),
             Frame("TXXX", Cat({boxw::Writer().U8(1), Utf16(u"E_TIT2S"), Utf16(u"Titel")})),
             Frame("TXXX", Cat({boxw::Writer().U8(0), Sz("E_FPRTH1"), Sz("x")})),
             Frame("WXXX", Cat({boxw::Writer().U8(0), Sz("BBPUB"), Sz("http://example.invalid/")})),
             Frame("USLT", Cat({boxw::Writer().U8(1).Text("eng"), Utf16(u"d"), Utf16(u"Lyrics")})),
             Frame("TCOM", Cat({boxw::Writer().U8(0), Sz("One/Two")})),
             Frame("TPUB", Cat({boxw::Writer().U8(2), Utf16(u"Pub")})),
             Frame("GEOB", Cat({boxw::Writer().U8(0), Sz("binary"), Sz("f.bin"), Sz("PQZ_BKLSI"),
                                boxw::Writer().U32(0xDEADBEEF)})),
             Frame("APIC", Cat({boxw::Writer().U8(0), Sz("image/jpeg"), boxw::Writer().U8(3), Sz("FTHBL"),
                                boxw::Writer().U32(0xFFD8FFE0)})),
             Frame("UFID", Cat({Sz("owner"), boxw::Writer().Text("identifier")})),
         }) {
        Put(props, box);
        all.insert(all.end(), box.begin(), box.end());
    }
    Put(props, all);

    // Configurations: LC, backward-compatible SBR, explicit SBR, explicit
    // PS, a program config element, 8 channels, a reserved rate, AAC Main.
    for (const Bytes& dsi :
         {Bytes{0x12, 0x10}, Bytes{0x13, 0x10, 0x56, 0xE5, 0x98}, Bytes{0x2B, 0x11, 0x88, 0x00},
          Bytes{0xEB, 0x11, 0x88, 0x00}, Bytes{0x12, 0x00, 0x05, 0x08, 0x48, 0x00, 0x20, 0x00}, Bytes{0x12, 0x38},
          Bytes{0x16, 0x90}, Bytes{0x0A, 0x10}, Bytes{0x17, 0x80, 0x12, 0x34, 0x10}})
        Put(out / "dsi", dsi);

    // MIME texts; the first byte 0 means one byte per character.
    for (const char* mime :
         {"audio/L16;rate=44100;channels=2", "audio/L16", "AUDIO/l16;channels=2", "audio/L24;rate=96000;channels=6",
          "audio/L16;rate=48000;rate=32000;channels=2", "audio/L16;rate;channels=2", "audio/L16; rate=48000;channels=2",
          "audio/mp4", "audio/L16;rate=-99999999999;channels=+2", ";;;audio/L16==;"}) {
        Put(out / "pcmformat", Cat({Bytes{0}, Bytes(mime, mime + std::char_traits<char>::length(mime))}));
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTDIR SAMPLE...\n", argv[0]);
        return 2;
    }
    const fs::path out = argv[1];
    for (int i = 2; i < argc; ++i) FromSample(out, argv[i]);
    HandMade(out);
    std::printf("%d new seeds in %s\n", g_written, out.c_str());
    return 0;
}
