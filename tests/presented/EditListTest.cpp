// The raw edit list reader: the sample files (version 0, as ffmpeg writes
// them) against the MP4 library's own parse, their version-1 twins, small
// hand-built movies, and damaged boxes.
#include <gtest/gtest.h>

#include "BoxWriter.h"
#include "EditList.h"
#include "ElstRewrite.h"
#include "MemoryStream.h"
#include "mp4/Mp4File.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using boxw::Box;
using boxw::Bytes;
using boxw::Cat;
using boxw::FullBox;
using boxw::Writer;
using presented::EditList;
using presented::EditStatus;

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> SampleFiles() {
    std::vector<std::string> files;
    for (const char* dir : {TRN_TESTDATA_DIR, TRN_TESTDATA_DIR "/aac"})
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            const std::string ext = entry.path().extension().string();
            if (ext == ".mp4" || ext == ".m4a" || ext == ".m4b" || ext == ".3gp")
                files.push_back(entry.path().string());
        }
    std::sort(files.begin(), files.end());
    return files;
}

EditStatus Read(const Bytes& bytes, uint32_t trackId, EditList* out, uint64_t fileSize = UINT64_MAX) {
    MemoryStreamRef stream(bytes);
    return presented::ReadEditList(stream.stream, fileSize == UINT64_MAX ? bytes.size() : fileSize, trackId, out);
}

std::string Str(EditStatus s) { return presented::EditStatusName(s); }

// Every version-0 edit list of the samples reads as the library reads it,
// and the version-1 twin of each file reads the same.
TEST(EditList, SamplesAgreeWithTheLibraryAndTheirVersion1Twins) {
    int withEdits = 0;
    for (const std::string& path : SampleFiles()) {
        SCOPED_TRACE(path);
        const Bytes bytes = ReadFile(path);
        MemoryStreamRef stream(bytes);
        CMp4File file;
        if (FAILED(file.Initialize(stream.stream)) || !file.Movie()) {
            EditList list;
            EXPECT_NE("Found", Str(Read(bytes, 1, &list)));
            continue;
        }
        int rewritten = 0;
        const Bytes twin = elstv1::ToVersion1(bytes, &rewritten);
        for (const auto& track : file.Movie()->tracks) {
            const uint32_t id = track->tkhd.trackId;
            EditList list;
            const EditStatus status = Read(bytes, id, &list);
            EXPECT_EQ(file.Movie()->mvhd.timescale, list.movieTimescale);
            EXPECT_EQ(track->mdhd.timescale, list.mediaTimescale);
            if (!track->elst) {
                EXPECT_EQ("Absent", Str(status));
                continue;
            }
            ++withEdits;
            ASSERT_EQ("Found", Str(status));
            EXPECT_EQ(0, list.version);
            ASSERT_EQ(track->elst->Count(), list.entries.size());
            for (size_t i = 0; i < list.entries.size(); ++i) {
                const uint32_t* e = track->elst->Entry(i);
                EXPECT_EQ(e[0], list.entries[i].segmentDuration);
                EXPECT_EQ(e[1] == 0xFFFFFFFFu ? -1 : int64_t(e[1]), list.entries[i].mediaTime);
                EXPECT_EQ(int32_t(e[2]), list.entries[i].mediaRate);
            }
            EditList v1;
            ASSERT_EQ("Found", Str(Read(twin, id, &v1)));
            EXPECT_EQ(1, v1.version);
            EXPECT_EQ(list.movieTimescale, v1.movieTimescale);
            EXPECT_EQ(list.mediaTimescale, v1.mediaTimescale);
            ASSERT_EQ(list.entries.size(), v1.entries.size());
            for (size_t i = 0; i < list.entries.size(); ++i) {
                EXPECT_EQ(list.entries[i].segmentDuration, v1.entries[i].segmentDuration);
                EXPECT_EQ(list.entries[i].mediaTime, v1.entries[i].mediaTime);
                EXPECT_EQ(list.entries[i].mediaRate, v1.entries[i].mediaRate);
            }
        }
        // The library keeps no version-1 edit list: the reason for this reader.
        MemoryStreamRef twinStream(twin);
        CMp4File twinFile;
        if (rewritten > 0 && SUCCEEDED(twinFile.Initialize(twinStream.stream)) && twinFile.Movie()) {
            for (const auto& track : twinFile.Movie()->tracks) EXPECT_EQ(nullptr, track->elst.get());
        }
    }
    EXPECT_GE(withEdits, 25);
}

TEST(EditList, EveryCutOfASampleIsAStatusNotAFault) {
    const Bytes bytes = ReadFile(TRN_TESTDATA_DIR "/video-and-audio.mp4");
    const Bytes twin = elstv1::ToVersion1(bytes);
    MemoryStreamRef stream(bytes), twinStream(twin);
    for (uint64_t size = 0; size <= bytes.size(); ++size) {
        EditList list;
        const EditStatus status = presented::ReadEditList(stream.stream, size, 2, &list);
        EXPECT_EQ(status == EditStatus::Found, size == bytes.size()) << size;
        if (status != EditStatus::Found) {
            EXPECT_TRUE(list.entries.empty());
        }
        const EditStatus twinStatus = presented::ReadEditList(twinStream.stream, size, 2, &list);
        EXPECT_NE(EditStatus::ReadFailed, twinStatus) << size;  // the stream holds every byte asked for
    }
}

// A movie of one track with the given trak children after tkhd and mdia.
Bytes Movie(const Bytes& trakExtra, uint32_t trackId = 1, const Bytes& moovExtra = {}) {
    const Bytes mdia = Box("mdia", Cat({boxw::Mdhd(44100, 88200), boxw::Hdlr("soun")}));
    const Bytes trak = Box("trak", Cat({boxw::Tkhd(trackId), mdia, trakExtra}));
    return Cat({boxw::Ftyp("M4A ", 0, {"M4A "}), Box("mdat", Bytes(64, 0)),
                Box("moov", Cat({boxw::Mvhd(1000, 2000), moovExtra, trak}))});
}

Bytes Elst0(const std::vector<std::array<uint32_t, 3>>& entries, int64_t count = -1, int64_t size = -1) {
    Writer w;
    w.U32(count >= 0 ? uint32_t(count) : uint32_t(entries.size()));
    for (const auto& e : entries) w.U32(e[0]).U32(e[1]).U32(e[2]);
    return FullBox("elst", 0, 0, w, size);
}

Bytes Elst1(const std::vector<presented::EditEntry>& entries, int64_t count = -1, uint8_t version = 1) {
    Writer w;
    w.U32(count >= 0 ? uint32_t(count) : uint32_t(entries.size()));
    for (const auto& e : entries)
        w.U32(uint32_t(e.segmentDuration >> 32))
            .U32(uint32_t(e.segmentDuration))
            .U32(uint32_t(uint64_t(e.mediaTime) >> 32))
            .U32(uint32_t(e.mediaTime))
            .U32(uint32_t(e.mediaRate));
    return FullBox("elst", version, 0, w);
}

TEST(EditList, HandBuiltVersion1) {
    EditList list;
    const Bytes file = Movie(Box("edts", Elst1({{500, -1, 0x10000}, {uint64_t(1) << 40, int64_t(1) << 33, 0x10000}})));
    ASSERT_EQ("Found", Str(Read(file, 1, &list)));
    EXPECT_EQ(1, list.version);
    EXPECT_EQ(1000u, list.movieTimescale);
    EXPECT_EQ(44100u, list.mediaTimescale);
    ASSERT_EQ(2u, list.entries.size());
    EXPECT_EQ(500u, list.entries[0].segmentDuration);
    EXPECT_EQ(-1, list.entries[0].mediaTime);
    EXPECT_EQ(uint64_t(1) << 40, list.entries[1].segmentDuration);
    EXPECT_EQ(int64_t(1) << 33, list.entries[1].mediaTime);
    EXPECT_EQ(0x10000, list.entries[1].mediaRate);
}

TEST(EditList, VersionOneHeadersOnTheWay) {
    // mvhd, tkhd and mdhd of version 1 (64-bit times): their fields move.
    Writer mvhd;
    mvhd.U32(0).U32(1).U32(0).U32(2).U32(600).U32(0).U32(9000);
    mvhd.Zeros(80);
    Writer tkhd;
    tkhd.U32(0).U32(1).U32(0).U32(2).U32(7).Zeros(72);
    Writer mdhd;
    mdhd.U32(0).U32(1).U32(0).U32(2).U32(48000).U32(0).U32(96000).U32(0);
    const Bytes trak = Box("trak", Cat({FullBox("tkhd", 1, 7, tkhd), Box("mdia", FullBox("mdhd", 1, 0, mdhd)),
                                        Box("edts", Elst0({{600, 1024, 0x10000}}))}));
    const Bytes file = Cat({Box("moov", Cat({FullBox("mvhd", 1, 0, mvhd), trak}))});
    EditList list;
    ASSERT_EQ("Found", Str(Read(file, 7, &list)));
    EXPECT_EQ(600u, list.movieTimescale);
    EXPECT_EQ(48000u, list.mediaTimescale);
    ASSERT_EQ(1u, list.entries.size());
    EXPECT_EQ(1024, list.entries[0].mediaTime);
}

TEST(EditList, BoxSizesOneAndZero) {
    EditList list;
    // elst with size 0: to the end of its edts.
    const Bytes elst = Elst0({{2000, 1024, 0x10000}});
    Bytes zero = elst;
    zero[0] = zero[1] = zero[2] = zero[3] = 0;
    ASSERT_EQ("Found", Str(Read(Movie(Box("edts", zero)), 1, &list)));
    EXPECT_EQ(1024, list.entries.at(0).mediaTime);
    // moov with size 0 as the last box of the file.
    Bytes file = Movie(Box("edts", elst));
    // Find the moov and zero its size.
    for (size_t pos = 0; pos + 8 <= file.size();) {
        const uint32_t size = elstv1::Be32(file, pos);
        if (std::string(file.begin() + pos + 4, file.begin() + pos + 8) == "moov") {
            elstv1::Put32(file, pos, 0);
            break;
        }
        pos += size;
    }
    ASSERT_EQ("Found", Str(Read(file, 1, &list)));
    // A 64-bit size (1 and a largesize) on the edts and the elst.
    Writer big;
    big.U32(1).Type("edts").U32(0).U32(uint32_t(16 + elst.size() + 8));
    Writer bigElst;
    bigElst.U32(1).Type("elst").U32(0).U32(uint32_t(elst.size() + 8)).Raw(Bytes(elst.begin() + 8, elst.end()));
    ASSERT_EQ("Found", Str(Read(Movie(Cat({big, bigElst})), 1, &list)));
    EXPECT_EQ(2000u, list.entries.at(0).segmentDuration);
}

struct Damage {
    const char* name;
    Bytes file;
    uint32_t trackId;
    EditStatus status;
};

TEST(EditList, Damage) {
    const Bytes good = Elst0({{2000, 1024, 0x10000}});
    Bytes elstTooBig = good;
    elstv1::Put32(elstTooBig, 0, uint32_t(good.size() + 1));
    Writer smallLarge;
    smallLarge.U32(1).Type("edts").U32(0).U32(15);
    Writer hugeLarge;
    hugeLarge.U32(1).Type("edts").U32(1).U32(0);
    Bytes truncated = Movie(Box("edts", good));
    truncated.resize(truncated.size() - 6);
    Bytes moovTooBig = Movie(Box("edts", good));
    const std::vector<Damage> rows = {
        {"no edts", Movie({}), 1, EditStatus::Absent},
        {"edts without elst", Movie(Box("edts", Box("free", {}))), 1, EditStatus::Absent},
        {"other track id", Movie(Box("edts", good)), 2, EditStatus::NoTrack},
        {"no moov", Cat({boxw::Ftyp("M4A ", 0, {}), Box("mdat", Bytes(8))}), 1, EditStatus::NoTrack},
        {"empty file", {}, 1, EditStatus::NoTrack},
        {"count beyond the box", Movie(Box("edts", Elst0({{2000, 1024, 0x10000}}, 2))), 1, EditStatus::BadCount},
        {"count 2^32-1", Movie(Box("edts", Elst0({}, 0xFFFFFFFFu))), 1, EditStatus::BadCount},
        {"v1 count beyond the box", Movie(Box("edts", Elst1({{1, 2, 3}}, 2))), 1, EditStatus::BadCount},
        {"elst a byte short of its entry", Movie(Box("edts", Elst0({{1, 2, 3}}, -1, 27))), 1, EditStatus::BadCount},
        {"elst version 2", Movie(Box("edts", Elst1({{1, 2, 3}}, -1, 2))), 1, EditStatus::BadVersion},
        {"v1 media_time -2", Movie(Box("edts", Elst1({{2000, -2, 0x10000}}))), 1, EditStatus::BadValue},
        {"elst larger than its edts", Movie(Box("edts", elstTooBig)), 1, EditStatus::BadBox},
        {"edts larger than its trak", Movie(Box("edts", good, int64_t(good.size()) + 9)), 1, EditStatus::BadBox},
        {"elst without its count", Movie(Box("edts", FullBox("elst", 0, 0, {}))), 1, EditStatus::BadBox},
        {"box size 4", Movie(Box("edts", Box("free", {}, 4))), 1, EditStatus::BadBox},
        {"largesize below 16", Movie(Cat({smallLarge, good})), 1, EditStatus::BadBox},
        {"largesize beyond 4 GiB", Movie(Cat({hugeLarge, good})), 1, EditStatus::BadBox},
        {"a stray 4 bytes after the edts", Movie(Cat({Box("edts", good), Bytes(4, 0)})), 1, EditStatus::Found},
        {"moov cut short", truncated, 1, EditStatus::BadBox},
        {"tkhd version 2", Movie({}, 1, Box("trak", FullBox("tkhd", 2, 0, Bytes(80)))), 1, EditStatus::BadVersion},
        {"too many entries",
         Movie(
             Box("edts", Elst0(std::vector<std::array<uint32_t, 3>>(presented::kMaxEditEntries + 1, {1, 0, 0x10000})))),
         1, EditStatus::TooLarge},
    };
    for (const Damage& row : rows) {
        SCOPED_TRACE(row.name);
        EditList list;
        EXPECT_EQ(Str(row.status), Str(Read(row.file, row.trackId, &list)));
        if (row.status != EditStatus::Found) {
            EXPECT_TRUE(list.entries.empty());
        }
    }
}

TEST(EditList, StreamFailures) {
    const Bytes file = Movie(Box("edts", Elst0({{2000, 1024, 0x10000}})));
    MemoryStreamRef stream(file);
    stream->failSeeks = true;
    EditList list;
    EXPECT_EQ(EditStatus::ReadFailed, presented::ReadEditList(stream.stream, file.size(), 1, &list));
    EXPECT_EQ(EditStatus::ReadFailed, presented::ReadEditList(nullptr, file.size(), 1, &list));
    EXPECT_EQ(EditStatus::ReadFailed, presented::ReadEditList(stream.stream, file.size(), 1, nullptr));
}

TEST(EditList, ManyTinyBoxesEndTheWalk) {
    // More 8-byte boxes before any moov than the walk visits: a status, quickly.
    Bytes file;
    for (uint32_t i = 0; i <= presented::kMaxBoxes; ++i) {
        const Bytes b = Box("free", {});
        file.insert(file.end(), b.begin(), b.end());
    }
    EditList list;
    EXPECT_EQ("TooLarge", Str(Read(file, 1, &list)));
}

TEST(EditList, AStatedSizeBeyondTheStreamIsAReadFailure) {
    Bytes file =
        Cat({boxw::Ftyp("M4A ", 0, {"M4A "}),
             Box("moov", Cat({boxw::Mvhd(1000, 2000),
                              Box("trak", Cat({boxw::Tkhd(1), Box("edts", Elst0({{2000, 1024, 0x10000}}))}))}))});
    const uint64_t stated = file.size();
    file.resize(file.size() - 6);  // the elst entry ends in the stated size, not in the stream
    EditList list;
    EXPECT_EQ("ReadFailed", Str(Read(file, 1, &list, stated)));
}

}  // namespace
