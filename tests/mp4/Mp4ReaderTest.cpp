#include "Mp4TestUtil.h"

#include <gtest/gtest.h>

using namespace boxw;

namespace {

constexpr HRESULT kStructure = HRESULT(0x80040405);

Bytes FtypM4a() { return Ftyp("M4A ", 0, {"M4A ", "isom"}); }
Bytes Mdat() { return Box("mdat", Bytes(8, 0)); }

// An audio track whose mdia children are given by hand.
Bytes TrakWithMdia(const Bytes& mdiaChildren, uint32_t id = 1) {
    return Box("trak", Cat({Tkhd(id), Box("mdia", mdiaChildren)}));
}

Bytes AudioMinf(const Bytes& stsd) { return Box("minf", Cat({Smhd(), Dinf(), Stbl(stsd)})); }

Bytes FileWith(const Bytes& moovChildren) {
    return Cat({FtypM4a(), Box("moov", Cat({Mvhd(1000, 1000), moovChildren})), Mdat()});
}

struct StatusCase {
    const char* name;
    Bytes file;
    uint32_t status;  // exact status word after the parse
    int code;         // core result
    HRESULT hr;       // CMp4File::Initialize
};

void PrintTo(const StatusCase& c, std::ostream* os) { *os << c.name; }

class StatusTable : public ::testing::TestWithParam<StatusCase> {};

TEST_P(StatusTable, ParseAndOpenAgreeWithTheStatusWord) {
    const StatusCase& c = GetParam();
    ParseOutcome out = ParseBytes(c.file);
    EXPECT_EQ(c.status, out.status) << std::hex << out.status;
    EXPECT_EQ(c.code, out.code) << std::hex << out.code;
    CMp4File file;
    EXPECT_EQ(c.hr, OpenBytes(file, c.file));
}

AudioTrack WithChildren(const Bytes& children) {
    AudioTrack t;
    t.entryChildren = children;
    return t;
}

Bytes TrafCount(size_t n) {
    Bytes trafs;
    for (size_t i = 0; i < n; ++i) {
        Bytes traf = Box("traf", FullBox("tfhd", 0, 0, Writer().U32(1)));
        trafs.insert(trafs.end(), traf.begin(), traf.end());
    }
    return Box("moof", Cat({FullBox("mfhd", 0, 0, Writer().U32(1)), trafs}));
}

Bytes TrexCount(size_t n) {
    Bytes all;
    for (size_t i = 0; i < n; ++i) {
        Bytes t = FullBox("trex", 0, 0, Writer().U32(1).U32(1).U32(1024).U32(0).U32(0));
        all.insert(all.end(), t.begin(), t.end());
    }
    return Box("mvex", all);
}

Bytes Fragmented(const Bytes& extraTop = {}) {
    return Cat(
        {FtypM4a(), Moov({Trak(AudioTrack()), Mvex(1)}), Moof(1, 1, Trun({}, 4)), Box("mdat", Bytes(8, 0)), extraTop});
}

const uint8_t kOtherUuid[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

std::vector<StatusCase> StatusCases() {
    AudioTrack plain;
    Bytes goodTrak = Trak(plain);
    Bytes goodMdia = Cat({Mdhd(44100, 1024), Hdlr("soun"), AudioMinf(AudioStsd(plain))});
    std::vector<StatusCase> cases = {
        {"clean", AudioFile(), 0, 0, S_OK},
        {"box of size 1", FileWith(Cat({goodTrak, Box("free", {}, 1)})), 0x1, SMF_ERR_ABSENT, kStructure},
        {"top-level box of size 0", Cat({AudioFile(), Box("free", Bytes(4, 0), 0)}), 0x1, SMF_ERR_ABSENT, kStructure},
        {"three stray bytes at the end", Cat({AudioFile(), Bytes{1, 2, 3}}), 0x1, SMF_ERR_ABSENT, kStructure},
        {"child larger than its parent", FileWith(Cat({goodTrak, Box("free", {}, 400)})), 0x1, SMF_ERR_ABSENT,
         kStructure},
        {"parser stops before the box end",
         FileWith(TrakWithMdia(
             Cat({Mdhd(44100, 1024), Hdlr("soun"),
                  Box("minf", Cat({FullBox("smhd", 0, 0, Bytes(8, 0)), Dinf(), Stbl(AudioStsd(plain))}))}))),
         0x1, SMF_ERR_ABSENT, kStructure},
        {"ftyp of 18 bytes", Cat({Box("ftyp", Writer().Type("M4A ").U32(0).U16(0)), Moov({goodTrak}), Mdat()}), 0x1,
         SMF_ERR_ABSENT, kStructure},
        {"ftyp of 15 bytes", Cat({Box("ftyp", Writer().Type("M4A ").U24(0)), Moov({goodTrak})}), 0x20000000,
         SMF_ERR_STRUCTURE, kStructure},
        {"unknown top-level uuid", Cat({AudioFile(), Uuid(kOtherUuid, Bytes(4, 0))}), 0x4, 0, S_OK},
        {"unknown moov-level uuid", FileWith(Cat({goodTrak, Uuid(kOtherUuid, {})})), 0x4, 0, S_OK},
        {"mvhd of version 1", Cat({FtypM4a(), Box("moov", Cat({FullBox("mvhd", 1, 0, Bytes(108, 0)), goodTrak}))}), 0x4,
         0, S_OK},
        {"stts count beyond the box",
         FileWith(TrakWithMdia(Cat({Mdhd(44100, 1024), Hdlr("soun"),
                                    Box("minf", Cat({Smhd(), Dinf(),
                                                     Box("stbl", Cat({AudioStsd(plain), Table("stts", {1, 1024}, 2, 5),
                                                                      Table("stsc", {1, 1, 1}, 3), Stsz(100, {}, 1),
                                                                      Table("stco", {0}, 1)}))}))}))),
         0x2, SMF_ERR_ABSENT, kStructure},
        {"stsd entries beyond the declared count",
         FileWith(
             TrakWithMdia(Cat({Mdhd(44100, 1024), Hdlr("soun"),
                               AudioMinf(Stsd({Mp4a(2, 16, 44100u << 16, {}), Mp4a(2, 16, 44100u << 16, {})}, 1))}))),
         0x2, SMF_ERR_ABSENT, kStructure},
        {"fewer dref entries than declared",
         FileWith(
             TrakWithMdia(Cat({Mdhd(44100, 1024), Hdlr("soun"),
                               Box("minf", Cat({Smhd(),
                                                Box("dinf", FullBox("dref", 0, 0,
                                                                    Cat({Writer().U32(2), FullBox("url ", 0, 1, {}),
                                                                         FullBox("urn ", 0, 1, {})}))),
                                                Stbl(AudioStsd(plain))}))}))),
         0x2 | 0x4, SMF_ERR_ABSENT, kStructure},
        {"tref sync size not a multiple of 4",
         FileWith(Box("trak", Cat({Tkhd(1), Box("tref", Box("sync", Bytes(6, 0))), Box("mdia", goodMdia)}))), 0x2,
         SMF_ERR_ABSENT, kStructure},
        {"fourth unknown child of a sample entry",
         AudioFile(WithChildren(Cat({Box("abcd", {}), Box("abce", {}), Box("abcf", {}), Box("abcg", {})}))), 0x2,
         SMF_ERR_ABSENT, kStructure},
        {"second ftyp", Cat({FtypM4a(), FtypM4a(), Moov({goodTrak})}), 0x8, SMF_ERR_ABSENT, kStructure},
        {"second moov", Cat({FtypM4a(), Moov({goodTrak}), Moov({goodTrak})}), 0x8, SMF_ERR_ABSENT, kStructure},
        {"second mdhd", FileWith(TrakWithMdia(Cat({Mdhd(44100, 1024), goodMdia}))), 0x8, SMF_ERR_ABSENT, kStructure},
        {"128 trex", Cat({FtypM4a(), Moov({goodTrak, TrexCount(128)})}), 0x10 | 0x40000, SMF_ERR_ABSENT, kStructure},
        {"128 traf in one moof", Cat({FtypM4a(), Moov({goodTrak, Mvex(1)}), TrafCount(128)}), 0x10 | 0x10000 | 0x40000,
         SMF_ERR_ABSENT, kStructure},
        {"data reference index not in dref",
         FileWith(TrakWithMdia(
             Cat({Mdhd(44100, 1024), Hdlr("soun"), AudioMinf(Stsd({Mp4a(2, 16, 44100u << 16, {}, "mp4a", 2)}))}))),
         0x20, SMF_ERR_ABSENT, kStructure},
        {"'soun' entry other than mp4a",
         FileWith(TrakWithMdia(
             Cat({Mdhd(44100, 1024), Hdlr("soun"), AudioMinf(Stsd({Mp4a(1, 16, 8000u << 16, {}, "samr")}))}))),
         0x20000000, SMF_ERR_STRUCTURE, kStructure},
        {"no moov", Cat({FtypM4a(), Mdat()}), 0, SMF_ERR_NO_MOOV, E_FAIL},
        {"fragmented", Fragmented(), 0x10000 | 0x40000, 0, S_OK},
        {"fragmented with an unknown top-level box", Fragmented(Box("mfra", Bytes(8, 0))), 0x4 | 0x10000 | 0x40000, 0,
         kStructure},
        {"trun entries overrun their box",
         Cat({FtypM4a(), Moov({goodTrak, Mvex(1)}), Moof(1, 1, Trun({1024, 1024}, 3))}), 0x1 | 0x10000 | 0x40000,
         SMF_ERR_ABSENT, kStructure},
        {"trun too small for its data offset",
         Cat({FtypM4a(), Moov({goodTrak, Mvex(1)}), Moof(1, 1, FullBox("trun", 0, 0x5, Writer().U32(1).U32(0)))}),
         0x20000000, SMF_ERR_STRUCTURE, kStructure},
        {"tfhd with bytes after its fields",
         Cat({FtypM4a(), Moov({goodTrak, Mvex(1)}),
              Box("moof", Box("traf", FullBox("tfhd", 0, 0, Writer().U32(1).U32(7))))}),
         0x20000000, SMF_ERR_STRUCTURE, kStructure},
        {"moof in a file without mvex", Cat({AudioFile(), Moof(1, 1, Trun({}, 1))}), 0x10000, 0, S_OK},
    };
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Reader, StatusTable, ::testing::ValuesIn(StatusCases()),
                         [](const ::testing::TestParamInfo<StatusCase>& info) {
                             std::string n = info.param.name;
                             for (char& ch : n)
                                 if (!isalnum(uint8_t(ch))) ch = '_';
                             return n;
                         });

TEST(Reader, UnknownBoxesAloneOpenWithTheFlag) {
    CMp4File file;
    ASSERT_EQ(S_OK, OpenBytes(file, Cat({AudioFile(), Uuid(kOtherUuid, {})})));
    EXPECT_TRUE(file.HadUnknownBoxes());
    CMp4File clean;
    ASSERT_EQ(S_OK, OpenBytes(clean, AudioFile()));
    EXPECT_FALSE(clean.HadUnknownBoxes());
}

// A stream that reports a larger size than it holds.
class LyingStream : public CMemoryStream {
public:
    LyingStream(Bytes data, int32_t extra) : CMemoryStream(std::move(data)), m_extra(extra) {}
    STDMETHOD(Seek)(int32_t offset, int32_t origin) override {
        return CMemoryStream::Seek(origin == SMF_SEEK_END ? offset + m_extra : offset, origin);
    }

private:
    int32_t m_extra;
};

TEST(Reader, ShortReadFailsTheOpenWithAReadError) {
    Bytes file = AudioFile();
    Bytes truncated(file.begin(), file.end() - 60);
    auto* lying = new LyingStream(truncated, 60);
    const ComPtr<ISmfAbsStream> ref(lying);
    SmfMovieHandle* raw = nullptr;
    SmfCreateHandle(&raw);
    SmfHandlePtr handle(raw);
    SmfAttachStream(raw, lying);
    uint32_t status = 0;
    EXPECT_EQ(SMF_ERR_NO_STREAM, SmfParse(raw, &status, SMF_PARSE_FRAGMENTS));
    EXPECT_TRUE(status & 0x80000000u);
    EXPECT_EQ(nullptr, raw->movie.get());

    auto* lying2 = new LyingStream(truncated, 60);
    const ComPtr<ISmfAbsStream> ref2(lying2);
    CMp4File mp4;
    EXPECT_EQ(HRESULT(0x80040403), mp4.Initialize(lying2));
}

TEST(Reader, ParseModesTreatFragmentsDifferently) {
    Bytes file = Fragmented();
    EXPECT_EQ(0x4u, ParseBytes(file, SMF_PARSE_NO_FRAGMENTS).status);
    EXPECT_EQ(0x50000u, ParseBytes(file, SMF_PARSE_NOTE_FRAGMENTS).status);
}

TEST(Reader, StateGuardRefusesASecondParseButAllowsARetry) {
    MemoryStreamRef good(AudioFile());
    SmfMovieHandle* raw = nullptr;
    SmfCreateHandle(&raw);
    SmfHandlePtr handle(raw);
    SmfAttachStream(raw, good.stream);
    uint32_t status = 0;
    ASSERT_EQ(0, SmfParse(raw, &status, 1));
    EXPECT_EQ(8, raw->ctx.guard.current);
    EXPECT_EQ(SMF_ERR_STATE, SmfParse(raw, &status, 1));
    EXPECT_NE(nullptr, raw->movie.get());

    MemoryStreamRef bad(Cat({AudioFile(), Bytes{1}}));
    SmfMovieHandle* raw2 = nullptr;
    SmfCreateHandle(&raw2);
    SmfHandlePtr handle2(raw2);
    SmfAttachStream(raw2, bad.stream);
    EXPECT_EQ(SMF_ERR_ABSENT, SmfParse(raw2, &status, 1));
    EXPECT_EQ(0, raw2->ctx.guard.current);
    SmfAttachStream(raw2, good.stream);
    EXPECT_EQ(0, SmfParse(raw2, &status, 1));

    MemoryStreamRef frag(Fragmented());
    SmfMovieHandle* raw3 = nullptr;
    SmfCreateHandle(&raw3);
    SmfHandlePtr handle3(raw3);
    SmfAttachStream(raw3, frag.stream);
    ASSERT_EQ(0, SmfParse(raw3, &status, 1));
    EXPECT_EQ(9, raw3->ctx.guard.current);
    EXPECT_EQ(SMF_ERR_STATE, SmfCreateMovie(raw3, 0, SMF_BRAND_3GP6, 0, nullptr, 1000));
}

TEST(Reader, EmptyStreamYieldsANew3gppMovie) {
    CMp4File file;
    ASSERT_EQ(S_OK, OpenBytes(file, {}));
    const SmfMovie* movie = file.Movie();
    ASSERT_NE(nullptr, movie);
    EXPECT_EQ(SMF_BRAND_3GP6, movie->ftyp.majorBrand);
    EXPECT_EQ(1024u, movie->ftyp.minorVersion);
    const std::vector<uint32_t> brands = {SMF_BRAND_3GP6, SMF_BRAND_3GP5, SMF_BRAND_3GP4, SMF_BRAND_MP42,
                                          SMF_BRAND_MP41, SMF_BRAND_ISO2, SMF_BRAND_ISOM};
    EXPECT_EQ(brands, movie->ftyp.brands);
    EXPECT_EQ(0u, movie->ftyp.brands.capacity() % 5);
    EXPECT_EQ(44100u, movie->mvhd.timescale);
    EXPECT_EQ(0x40000000, movie->mvhd.matrix[8]);
    EXPECT_TRUE(movie->tracks.empty());
    std::vector<uint32_t> audio, video;
    EXPECT_EQ(S_OK, file.GetTrackIds(audio, video));
    EXPECT_TRUE(audio.empty());
}

TEST(Reader, DuplicateAndZeroTrackIdsBecomeTheSmallestUnused) {
    AudioTrack a, b, c;
    a.trackId = 2;
    b.trackId = 2;
    c.trackId = 0;
    Bytes file = Cat({FtypM4a(), Moov({Trak(a), Trak(b), Trak(c)}), Mdat()});
    CMp4File mp4;
    ASSERT_EQ(S_OK, OpenBytes(mp4, file));
    std::vector<uint32_t> audio, video;
    ASSERT_EQ(S_OK, mp4.GetTrackIds(audio, video));
    EXPECT_EQ((std::vector<uint32_t>{1, 2, 3}), audio);
    EXPECT_EQ(4u, mp4.Movie()->nextTrackId);
}

TEST(Reader, HdlrNamesAreCutAndCountedStringsUnwrapped) {
    AudioTrack t;
    Bytes longName(70, 'a');
    Bytes file = FileWith(TrakWithMdia(
        Cat({Mdhd(44100, 1024), FullBox("hdlr", 0, 0, Writer().U32(0).Type("soun").Zeros(12).Raw(longName)),
             AudioMinf(AudioStsd(t))})));
    CMp4File mp4;
    ASSERT_EQ(S_OK, OpenBytes(mp4, file));
    const SmfTrack& track = *mp4.Movie()->tracks[0];
    // Not NUL-terminated: taken as a counted string, so its first byte goes.
    EXPECT_EQ(std::string(63, 'a'), track.hdlr.name);
    EXPECT_EQ(96u, track.hdlr.head.size);

    Bytes counted = FileWith(TrakWithMdia(
        Cat({Mdhd(44100, 1024), FullBox("hdlr", 0, 0, Writer().U32(0).Type("soun").Zeros(12).U8(5).Text("Sound")),
             AudioMinf(AudioStsd(t))})));
    CMp4File mp4b;
    ASSERT_EQ(S_OK, OpenBytes(mp4b, counted));
    EXPECT_EQ("Sound", mp4b.Movie()->tracks[0]->hdlr.name);
}

TEST(Reader, HdlrAfterMinfKeepsEntriesRaw) {
    AudioTrack t;
    Bytes file = FileWith(TrakWithMdia(Cat({Mdhd(44100, 1024), AudioMinf(AudioStsd(t)), Hdlr("soun")})));
    CMp4File mp4;
    ASSERT_EQ(S_OK, OpenAudio(mp4, file));
    EXPECT_TRUE(mp4.HadUnknownBoxes());
    uint32_t bits, rate, channels;
    EXPECT_EQ(HRESULT(0x80040404), mp4.GetAudioSampleDescription(&bits, &rate, &channels));
    EXPECT_FALSE(mp4.Movie()->tracks[0]->stbl->entries[0]->raw.empty());
}

TEST(Reader, VersionOneHeadersAreSkipped) {
    AudioTrack t;
    Bytes mdhd1 = FullBox("mdhd", 1, 0, Bytes(32, 0));
    Bytes file = FileWith(TrakWithMdia(Cat({mdhd1, Hdlr("soun"), AudioMinf(AudioStsd(t))})));
    CMp4File mp4;
    ASSERT_EQ(S_OK, OpenAudio(mp4, file));
    uint32_t value = 1;
    EXPECT_EQ(kStructure, mp4.GetMediaTimescale(&value));
    EXPECT_EQ(0u, value);
    EXPECT_EQ(kStructure, mp4.GetMediaDuration(&value));

    Bytes tkhd1 = Box("trak", Cat({FullBox("tkhd", 1, 0, Bytes(92, 0)),
                                   Box("mdia", Cat({Mdhd(44100, 1024), Hdlr("soun"), AudioMinf(AudioStsd(t))}))}));
    CMp4File mp4b;
    ASSERT_EQ(S_OK, OpenAudio(mp4b, FileWith(tkhd1)));
    EXPECT_FALSE(mp4b.Movie()->tracks[0]->hasTkhd);
    EXPECT_EQ(1u, mp4b.Movie()->tracks[0]->tkhd.trackId);
}

TEST(Reader, FixedSampleSizeAndCo64) {
    AudioTrack t;
    Bytes stbl = Box("stbl", Cat({AudioStsd(t), Table("stts", {4, 1024}, 2), Table("stsc", {1, 4, 1}, 3),
                                  Stsz(300, {}, 4), Box("co64", Writer().U32(0).U32(1).U32(0).U32(0))}));
    Bytes file =
        FileWith(TrakWithMdia(Cat({Mdhd(44100, 4096), Hdlr("soun"), Box("minf", Cat({Smhd(), Dinf(), stbl}))})));
    CMp4File mp4;
    ASSERT_EQ(S_OK, OpenAudio(mp4, file));
    const SmfTrack& track = *mp4.Movie()->tracks[0];
    EXPECT_EQ(0u, track.stbl->stsz->Count());
    EXPECT_EQ(4u, track.stbl->sampleCount);
    EXPECT_FALSE(track.hasCursor);
}

TEST(Reader, LayoutFactsAreRecorded) {
    Bytes ftyp = FtypM4a();
    Bytes mdat = Mdat();
    Bytes moov = Moov({Trak(AudioTrack()), Udta({Box("titl", Bytes(4, 0))})});
    Bytes file = Cat({ftyp, mdat, moov, Box("free", Bytes(12, 0))});
    CMp4File mp4;
    ASSERT_EQ(S_OK, OpenBytes(mp4, file));
    const CMp4File::LayoutFacts& f = mp4.Layout();
    EXPECT_EQ(int64_t(ftyp.size() + mdat.size()), f.moovOffset);
    EXPECT_EQ(int64_t(moov.size()), f.moovSize);
    EXPECT_EQ(f.moovOffset + f.moovSize, f.moovEnd);
    EXPECT_TRUE(f.mdatBeforeMoov);
    EXPECT_EQ(f.moovEnd, f.freeAfterMoovOffset);
    EXPECT_EQ(20, f.freeAfterMoovSize);
    EXPECT_GT(f.udtaOffset, f.moovOffset);
    ASSERT_NE(nullptr, mp4.Movie()->udta);
    ASSERT_EQ(1u, mp4.Movie()->udta->children.size());
    EXPECT_EQ(FourCC("titl"), mp4.Movie()->udta->children[0].type);
}

TEST(Reader, UsmtUuidEntriesAreKept) {
    Bytes mtdt = Box("MTDT", Cat({Writer().U16(2), Writer().U16(12).U32(1).U16(0x15C7).U16(1).U16(0xABCD),
                                  Writer().U16(10).U32(2).U16(0).U16(0)}));
    Bytes usmt = Uuid(SMF_UUID_USMT, mtdt);
    CMp4File mp4;
    ASSERT_EQ(S_OK, OpenBytes(mp4, FileWith(Cat({Trak(AudioTrack()), usmt}))));
    ASSERT_NE(nullptr, mp4.Movie()->usmt);
    ASSERT_EQ(2u, mp4.Movie()->usmt->mtdt.size());
    EXPECT_EQ((Bytes{0xAB, 0xCD}), mp4.Movie()->usmt->mtdt[0].data);
}

// Reads of a file whose stts holds `entries` entries.
int ReadsForSttsEntries(uint32_t entries) {
    AudioTrack t;
    std::vector<uint32_t> stts;
    for (uint32_t i = 0; i < entries; ++i) {
        stts.push_back(1);
        stts.push_back(1024);
    }
    Bytes stbl = Box("stbl", Cat({AudioStsd(t), Table("stts", stts, 2), Table("stsc", {1, 1, 1}, 3),
                                  Stsz(10, {}, entries), Table("stco", {0}, 1)}));
    Bytes file =
        FileWith(TrakWithMdia(Cat({Mdhd(44100, 1024), Hdlr("soun"), Box("minf", Cat({Smhd(), Dinf(), stbl}))})));
    MemoryStreamRef stream(file);
    SmfMovieHandle* raw = nullptr;
    SmfCreateHandle(&raw);
    SmfHandlePtr handle(raw);
    SmfAttachStream(raw, stream.stream);
    uint32_t status = 0;
    EXPECT_EQ(0, SmfParse(raw, &status, 1));
    EXPECT_EQ(entries, raw->movie->tracks[0]->stbl->stts->Count());
    return stream->readCalls;
}

TEST(Reader, TablesCostOneReadPerThousandEntries) {
    const int base = ReadsForSttsEntries(1);
    EXPECT_EQ(base, ReadsForSttsEntries(1000));
    EXPECT_EQ(base + 1, ReadsForSttsEntries(1001));
    EXPECT_EQ(base + 2, ReadsForSttsEntries(2500));
    EXPECT_EQ(base + 9, ReadsForSttsEntries(10000));
}

TEST(Reader, ValueTableEntriesSpanBlocks) {
    AudioTrack t;
    std::vector<uint32_t> stco;
    for (uint32_t i = 0; i < 2345; ++i) stco.push_back(i * 3);
    Bytes stbl = Box("stbl", Cat({AudioStsd(t), Table("stts", {1, 1}, 2), Table("stsc", {1, 1, 1}, 3), Stsz(10, {}, 1),
                                  Table("stco", stco, 1)}));
    CMp4File mp4;
    ASSERT_EQ(S_OK, OpenBytes(mp4, FileWith(TrakWithMdia(Cat(
                                       {Mdhd(44100, 1024), Hdlr("soun"), Box("minf", Cat({Smhd(), Dinf(), stbl}))})))));
    const SmfValueTable& table = *mp4.Movie()->tracks[0]->stbl->stco;
    EXPECT_EQ(3u, table.BlockCount());
    for (uint64_t i : {0u, 999u, 1000u, 2344u}) EXPECT_EQ(uint32_t(i * 3), table.Entry(i)[0]);
    EXPECT_EQ(nullptr, table.Entry(2345));
}

TEST(Reader, ReusedTableBlocksHoldOnlyTheirOwnTable) {
    // Full blocks go back to a shared pool when a movie is released; tables
    // of every width, opened one after another and side by side, must each
    // read back exactly what their file holds.
    const auto open = [](uint32_t seed, CMp4File& mp4) {
        AudioTrack t;
        std::vector<uint32_t> stts, stsc, stco;
        for (uint32_t i = 0; i < 2100; ++i) {
            stts.insert(stts.end(), {1, seed + i});
            stsc.insert(stsc.end(), {i + 1, 1, seed});
            stco.push_back(seed * 7 + i);
        }
        const Bytes stbl = Box("stbl", Cat({AudioStsd(t), Table("stts", stts, 2), Table("stsc", stsc, 3),
                                            Stsz(10, {}, 1), Table("stco", stco, 1)}));
        return OpenBytes(
            mp4,
            FileWith(TrakWithMdia(Cat({Mdhd(44100, 1024), Hdlr("soun"), Box("minf", Cat({Smhd(), Dinf(), stbl}))}))));
    };
    const auto check = [](uint32_t seed, const CMp4File& mp4) {
        const SmfStbl& stbl = *mp4.Movie()->tracks[0]->stbl;
        for (uint64_t i : {0u, 999u, 1000u, 1999u, 2000u, 2099u}) {
            EXPECT_EQ(seed + i, stbl.stts->Entry(i)[1]);
            EXPECT_EQ(seed, stbl.stsc->Entry(i)[2]);
            EXPECT_EQ(seed * 7 + i, stbl.stco->Entry(i)[0]);
        }
    };
    for (uint32_t round = 0; round < 3; ++round) {
        CMp4File first, second;
        ASSERT_EQ(S_OK, open(100 + round, first));
        ASSERT_EQ(S_OK, open(5000 + round, second));
        check(100 + round, first);
        check(5000 + round, second);
    }
}

TEST(Reader, ReleaseRecordRefusesUnknownKinds) {
    EXPECT_EQ(SMF_ERR_BOX, SmfReleaseRecord(FourCC("abcd"), nullptr));
    EXPECT_EQ(0, SmfReleaseRecord(FourCC("vtbl"), new SmfValueTable(2)));
    EXPECT_EQ(0, SmfReleaseRecord(FourCC("trak"), new SmfTrack()));
}

TEST(Reader, HandleOperationsCheckTheirArguments) {
    EXPECT_EQ(SMF_ERR_MISSING, SmfAttachStream(nullptr, nullptr));
    EXPECT_EQ(SMF_ERR_MISSING, SmfParse(nullptr, nullptr, 1));
    SmfMovieHandle* raw = nullptr;
    SmfCreateHandle(&raw);
    SmfHandlePtr handle(raw);
    uint32_t status = 0;
    EXPECT_EQ(SMF_ERR_NO_STREAM, SmfParse(raw, &status, 1));
    CMp4File file;
    EXPECT_EQ(E_POINTER, file.Initialize(nullptr));
}

}  // namespace

namespace {

// Records every seek instead of moving.
class SeekRecorder : public CMemoryStream {
public:
    SeekRecorder() : CMemoryStream({}) {}
    STDMETHOD(Seek)(int32_t offset, int32_t origin) override {
        seeks.push_back({offset, origin});
        return S_OK;
    }
    std::vector<std::pair<int32_t, int32_t>> seeks;
};

TEST(StreamHelpers, HighPositionsAreReachedInSteps) {
    SeekRecorder* s = new SeekRecorder();
    const ComPtr<ISmfAbsStream> ref(s);
    ASSERT_TRUE(s->SeekTo(0x7FFFFFFFu));
    ASSERT_TRUE(s->SeekTo(0xFFFFFFFFu));
    const std::vector<std::pair<int32_t, int32_t>> expected = {
        {0x7FFFFFFF, SMF_SEEK_SET}, {0x7FFFFFFF, SMF_SEEK_SET}, {0x7FFFFFFF, SMF_SEEK_CUR}, {1, SMF_SEEK_CUR}};
    EXPECT_EQ(expected, s->seeks);
}

TEST(StreamHelpers, FailuresBecomeValues) {
    MemoryStreamRef s(Bytes{1, 2, 3});
    uint32_t v = 7;
    EXPECT_FALSE(s->ReadU32(v));
    EXPECT_EQ(0u, v);
    s->failSeeks = true;
    EXPECT_EQ(0u, s->StreamSize());
    EXPECT_FALSE(s->SeekTo(0));
}

}  // namespace
