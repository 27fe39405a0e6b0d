#include "MetaBoxBuilder.h"

#include "mp4/Mp4Property3gpp.h"

#include <gtest/gtest.h>

namespace {

const WORD kEng = 0x15C7;

std::vector<std::wstring> Values(const CMp4PropertyString& p, DWORD id) {
    std::vector<std::wstring> values;
    EXPECT_EQ(S_OK, p.GetValues(id, values));
    return values;
}

}  // namespace

TEST(Property3gpp, LanguageCodeReadsAsLettersAndPacksBack) {
    MetaBox box("titl", MetaBytes().u32(0).u16(kEng).str("Song").get());
    CMp4PropertyString3gpp p;
    ASSERT_EQ(S_OK, p.ReadFromBox(0x1001, box.ref()));
    EXPECT_EQ("eng", p.GetLanguage());
    EXPECT_EQ(0, p.GetPad());
    EXPECT_EQ(kEng, p.PackLanguage());
    EXPECT_EQ(std::vector<std::wstring>{L"Song"}, Values(p, 0x1001));

    MetaBox padded("titl", MetaBytes().u32(0).u16(0x8000 | kEng).str("x").get());
    ASSERT_EQ(S_OK, p.ReadFromBox(0x1001, padded.ref()));
    EXPECT_EQ(1, p.GetPad());
    EXPECT_EQ(0x8000 | kEng, p.PackLanguage());
}

TEST(Property3gpp, WriteThenReadGivesTheSameValueAndLanguage) {
    CMp4PropertyString3gpp written;
    ASSERT_EQ(S_OK, written.SetValues(0x1004, {L"Ärzte \U0001F3B8"}));
    written.SetLanguage("deu");
    Mp4BoxList boxes;
    ASSERT_EQ(S_OK, written.WriteToBoxes(boxes));
    ASSERT_EQ(1u, boxes.size());
    const std::vector<BYTE>& box = boxes[0];
    EXPECT_EQ(MP4_FOURCC('p', 'e', 'r', 'f'), MetaRefOf(box).dwType);
    EXPECT_EQ(box.size(), MetaRefOf(box).dwSize);
    // Version, flags, language, then UTF-16 big-endian with its mark.
    EXPECT_EQ(0xFE, box[14]);
    EXPECT_EQ(0xFF, box[15]);

    CMp4PropertyString3gpp read;
    ASSERT_EQ(S_OK, read.ReadFromBox(0x1004, MetaRefOf(box)));
    EXPECT_EQ(Values(written, 0x1004), Values(read, 0x1004));
    EXPECT_EQ("deu", read.GetLanguage());
    EXPECT_EQ(written.PackLanguage(), read.PackLanguage());

    // Without a value or with an ID outside the table nothing is written.
    CMp4PropertyString3gpp empty;
    EXPECT_EQ(E_INVALIDARG, empty.WriteToBoxes(boxes));
    EXPECT_TRUE(boxes.empty());
}

TEST(Property3gpp, TextEncodings) {
    CMp4PropertyString3gpp p;
    MetaBox be("titl", MetaBytes().u32(0).u16(kEng).utf16(u"Tit\u00E9").get());
    ASSERT_EQ(S_OK, p.ReadFromBox(0x1001, be.ref()));
    EXPECT_EQ(L"Tit\u00E9", Values(p, 0x1001)[0]);
    MetaBox le("titl", MetaBytes().u32(0).u16(kEng).utf16(u"LE", false).get());
    ASSERT_EQ(S_OK, p.ReadFromBox(0x1001, le.ref()));
    EXPECT_EQ(L"LE", Values(p, 0x1001)[0]);
    MetaBox utf8("titl", MetaBytes().u32(0).u16(kEng).str("Tit\xC3\xA9").get());
    ASSERT_EQ(S_OK, p.ReadFromBox(0x1001, utf8.ref()));
    EXPECT_EQ(L"Tit\u00E9", Values(p, 0x1001)[0]);
}

TEST(Property3gpp, MalformedBoxesFailAndLeaveThePropertyEmpty) {
    CMp4PropertyString3gpp p;
    MetaBox good("titl", MetaBytes().u32(0x01000002).u16(kEng).str("ok").get());
    const MetaBox bad[] = {
        MetaBox("titl", MetaBytes().u32(0).u16(kEng).str("no end", false).get()),
        MetaBox("titl", MetaBytes().u32(0).get()),           // ends right after version and flags
        MetaBox("titl", MetaBytes().u8(0).u16(0).get()),     // ends inside them
        MetaBox("titl", MetaBytes().u32(0).u8(0x15).get()),  // half a language code
        MetaBox("titl", MetaBytes().u32(0).u16(kEng).utf16(u"odd", true, false).u8(0).get()),
    };
    for (const MetaBox& box : bad) {
        ASSERT_EQ(S_OK, p.ReadFromBox(0x1001, good.ref()));
        EXPECT_EQ(1, p.GetVersion());
        EXPECT_EQ(E_INVALIDARG, p.ReadFromBox(0x1001, box.ref()));
        std::vector<std::wstring> values;
        EXPECT_EQ(E_UNEXPECTED, p.GetValues(0x1001, values));
        EXPECT_EQ(0, p.GetVersion());
        EXPECT_EQ(0u, p.GetFlags());
        EXPECT_EQ(0, p.PackLanguage());
    }
    Mp4BoxRef zero = good.ref();
    zero.dwSize = 0;
    EXPECT_EQ(E_INVALIDARG, p.ReadFromBox(0x1001, zero));
    // A size claiming more than the record holds is refused, not over-read.
    Mp4BoxRef longer = good.ref();
    longer.dwSize += 4;
    EXPECT_EQ(E_INVALIDARG, p.ReadFromBox(0x1001, longer));
}

TEST(Property3gpp, RatingAndClassificationFields) {
    CMp4PropertyRating3gpp rating;
    MetaBox rtng("rtng", MetaBytes().u32(0).fourcc("MPAA").fourcc("PG13").u16(kEng).str("teens").get());
    ASSERT_EQ(S_OK, rating.ReadFromBox(0x1007, rtng.ref()));
    EXPECT_EQ(0, std::memcmp(rating.GetRatingEntity(), "MPAA", 4));
    EXPECT_EQ(0, std::memcmp(rating.GetRatingCriteria(), "PG13", 4));
    EXPECT_EQ(L"teens", Values(rating, 0x1007)[0]);
    Mp4BoxList boxes;
    ASSERT_EQ(S_OK, rating.WriteToBoxes(boxes));
    CMp4PropertyRating3gpp again;
    ASSERT_EQ(S_OK, again.ReadFromBox(0x1007, MetaRefOf(boxes[0])));
    EXPECT_EQ(0, std::memcmp(again.GetRatingCriteria(), "PG13", 4));
    MetaBox shortRating("rtng", MetaBytes().u32(0).fourcc("MPAA").u16(1).get());
    EXPECT_EQ(E_INVALIDARG, rating.ReadFromBox(0x1007, shortRating.ref()));
    EXPECT_EQ(0, rating.GetRatingEntity()[0]);

    CMp4PropertyClassification3gpp clsf;
    MetaBox box("clsf", MetaBytes().u32(0).fourcc("NICA").u16(7).u16(kEng).str("all").get());
    ASSERT_EQ(S_OK, clsf.ReadFromBox(0x1008, box.ref()));
    EXPECT_EQ(7, clsf.GetClassificationTable());
    EXPECT_EQ(L"all", Values(clsf, 0x1008)[0]);
}

TEST(Property3gpp, KeywordsStayInsideTheirSizes) {
    CMp4PropertyKeywords3gpp p;
    MetaBox box("kywd", MetaBytes().u32(0).u16(kEng).u8(2).u8(4).str("one").u8(5).str("two").u8(0).get());
    ASSERT_EQ(S_OK, p.ReadFromBox(0x1009, box.ref()));
    EXPECT_EQ((std::vector<std::wstring>{L"one", L"two"}), Values(p, 0x1009));
    Mp4BoxList boxes;
    ASSERT_EQ(S_OK, p.WriteToBoxes(boxes));
    CMp4PropertyKeywords3gpp again;
    ASSERT_EQ(S_OK, again.ReadFromBox(0x1009, MetaRefOf(boxes[0])));
    EXPECT_EQ(Values(p, 0x1009), Values(again, 0x1009));

    // The terminator lies beyond the keyword's own size.
    MetaBox spill("kywd", MetaBytes().u32(0).u16(kEng).u8(1).u8(2).str("abc").get());
    EXPECT_EQ(E_INVALIDARG, p.ReadFromBox(0x1009, spill.ref()));
    MetaBox tooMany("kywd", MetaBytes().u32(0).u16(kEng).u8(3).u8(2).str("a").get());
    EXPECT_EQ(E_INVALIDARG, p.ReadFromBox(0x1009, tooMany.ref()));
}

TEST(Property3gpp, LocationFields) {
    CMp4PropertyLocationInfo3gpp p;
    MetaBox box("loci", MetaBytes()
                            .u32(0)
                            .u16(kEng)
                            .str("Home")
                            .u8(1)
                            .u32(0x00018000)
                            .u32(0xFFFF0000)
                            .u32(0x00640000)
                            .str("earth")
                            .str("")
                            .get());
    ASSERT_EQ(S_OK, p.ReadFromBox(0x100A, box.ref()));
    EXPECT_EQ(L"Home", Values(p, 0x100A)[0]);
    EXPECT_EQ(1, p.GetRole());
    EXPECT_EQ(0x00018000u, p.GetLongitude());
    EXPECT_EQ(0xFFFF0000u, p.GetLatitude());
    EXPECT_EQ(L"earth", p.GetAstronomicalBody());
    Mp4BoxList boxes;
    ASSERT_EQ(S_OK, p.WriteToBoxes(boxes));
    CMp4PropertyLocationInfo3gpp again;
    ASSERT_EQ(S_OK, again.ReadFromBox(0x100A, MetaRefOf(boxes[0])));
    EXPECT_EQ(0x00640000u, again.GetAltitude());
    MetaBox cut("loci", MetaBytes().u32(0).u16(kEng).str("Home").u8(1).u32(0).get());
    EXPECT_EQ(E_INVALIDARG, p.ReadFromBox(0x100A, cut.ref()));
    EXPECT_TRUE(p.GetAstronomicalBody().empty());
}

TEST(Property3gpp, AlbumTitleAndTrackNumber) {
    CMp4PropertyAlbumTitle3gpp p;
    MetaBox withTrack("albm", MetaBytes().u32(0).u16(kEng).str("Album").u8(12).get());
    ASSERT_EQ(S_OK, p.ReadFromBox(0x100B, withTrack.ref()));
    EXPECT_EQ(L"Album", Values(p, 0x100B)[0]);
    EXPECT_EQ(L"12", Values(p, 0x100C)[0]);
    MetaBox without("albm", MetaBytes().u32(0).u16(kEng).str("Album").get());
    ASSERT_EQ(S_OK, p.ReadFromBox(0x100B, without.ref()));
    EXPECT_EQ(L"0", Values(p, 0x100C)[0]);

    // The track number keeps the low 8 bits of the decimal value.
    ASSERT_EQ(S_OK, p.SetValues(0x100C, {L"258"}));
    EXPECT_EQ(2, p.GetTrackNumber());
    ASSERT_EQ(S_OK, p.SetValues(0x100C, {L"99999999999999999999"}));
    EXPECT_EQ(0xFF, p.GetTrackNumber());  // 99999999999999999999 mod 256
    ASSERT_EQ(S_OK, p.SetValues(0x100C, {L"-1"}));
    EXPECT_EQ(0xFF, p.GetTrackNumber());
    ASSERT_EQ(S_OK, p.SetValues(0x100C, {L"x"}));
    EXPECT_EQ(0, p.GetTrackNumber());
    ASSERT_EQ(S_OK, p.SetValues(0x100C, {}));
    EXPECT_EQ(0, p.GetTrackNumber());
    ASSERT_EQ(S_OK, p.SetValues(0x100C, {L"7"}));
    EXPECT_EQ(E_INVALIDARG, p.SetValues(0x1001, {L"x"}));
    EXPECT_EQ(E_INVALIDARG, p.SetValues(0x100C, {L"1", L"2"}));
    ASSERT_EQ(S_OK, p.SetValues(0x100B, {L"New"}));
    Mp4BoxList boxes;
    ASSERT_EQ(S_OK, p.WriteToBoxes(boxes));
    CMp4PropertyAlbumTitle3gpp again;
    ASSERT_EQ(S_OK, again.ReadFromBox(0x100B, MetaRefOf(boxes[0])));
    EXPECT_EQ(L"New", Values(again, 0x100B)[0]);
    EXPECT_EQ(7, again.GetTrackNumber());
}

TEST(Property3gpp, RecordingYear) {
    CMp4PropertyRecordingYear3gpp p;
    MetaBox y2010("yrrc", MetaBytes().u32(0).u16(2010).get());
    ASSERT_EQ(S_OK, p.ReadFromBox(0x100D, y2010.ref()));
    EXPECT_EQ(L"2010", Values(p, 0x100D)[0]);
    Mp4BoxList boxes;
    ASSERT_EQ(S_OK, p.WriteToBoxes(boxes));
    EXPECT_EQ(y2010.bytes(), boxes[0]);

    MetaBox y0("yrrc", MetaBytes().u32(0).u16(0).get());
    ASSERT_EQ(S_OK, p.ReadFromBox(0x100D, y0.ref()));
    EXPECT_EQ(std::vector<std::wstring>{L""}, Values(p, 0x100D));
    MetaBox half("yrrc", MetaBytes().u32(0).u8(7).get());
    EXPECT_EQ(E_INVALIDARG, p.ReadFromBox(0x100D, half.ref()));

    ASSERT_EQ(S_OK, p.SetValues(0x100D, {L"20x0"}));
    EXPECT_EQ(E_INVALIDARG, p.WriteToBoxes(boxes));
}

TEST(PropertyString, SetValuesFollowsMultiplicity) {
    CMp4PropertyString p;
    std::vector<std::wstring> values;
    EXPECT_EQ(E_UNEXPECTED, p.GetValues(0x1001, values));
    EXPECT_EQ(E_INVALIDARG, p.SetValues(0x1001, {L"a", L"b"}));
    ASSERT_EQ(S_OK, p.SetValues(0x1001, {L"a"}));
    ASSERT_EQ(S_OK, p.SetValues(0x1001, {L"b"}));
    EXPECT_EQ(std::vector<std::wstring>{L"b"}, Values(p, 0x1001));
    EXPECT_EQ(0x1001u, p.GetPropertyId());

    CMp4PropertyString multi;
    ASSERT_EQ(S_OK, multi.SetValues(0x1009, {L"a", L"b"}));
    ASSERT_EQ(S_OK, multi.SetValues(0x1009, {L"c"}));
    EXPECT_EQ((std::vector<std::wstring>{L"a", L"b", L"c"}), Values(multi, 0x1009));
    EXPECT_EQ(E_INVALIDARG, multi.SetValues(0x4242, {L"x"}));

    Mp4BoxList boxes;
    EXPECT_EQ(E_NOTIMPL, p.WriteToBoxes(boxes));
}
