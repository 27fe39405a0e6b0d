#include "MetaBoxBuilder.h"

#include "mp4/Mp4PropertyId3v2.h"
#include "mp4/Mp4PropertyTable.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::wstring> Values(const CMp4PropertyString& p) {
    std::vector<std::wstring> values;
    EXPECT_EQ(S_OK, p.GetValues(p.GetPropertyId(), values));
    return values;
}

}  // namespace

TEST(PropertyId3v2, TxxxInUtf16AndSingleByteText) {
    CMp4PropertyStringId3v2 p;
    MetaBox utf16 = MetaFrame("TXXX", MetaBytes().u8(1).utf16(u"E_TIT2S", false).utf16(u"Titel", false).get(), 0x8020);
    ASSERT_EQ(S_OK, p.ReadFromBox(0x2004, utf16.ref()));
    EXPECT_EQ(L"E_TIT2S", p.GetDescription());
    EXPECT_EQ(std::vector<std::wstring>{L"Titel"}, Values(p));
    EXPECT_EQ(MP4_FOURCC('T', 'X', 'X', 'X'), p.GetFrameId());
    EXPECT_EQ(0x8020, p.PackFrameFlags());

    MetaBox latin = MetaFrame("TXXX", MetaBytes().u8(0).str("E_TPE1S").str("Artist").get());
    ASSERT_EQ(S_OK, p.ReadFromBox(0x2005, latin.ref()));
    EXPECT_EQ(L"E_TPE1S", p.GetDescription());
    EXPECT_EQ(std::vector<std::wstring>{L"Artist"}, Values(p));

    // The second text of a UTF-16 frame may leave out its mark.
    MetaBox noMark = MetaFrame("TXXX", MetaBytes().u8(1).utf16(u"E_ALBMS", false).raw({'A', 0, 0, 0}).get());
    ASSERT_EQ(S_OK, p.ReadFromBox(0x2006, noMark.ref()));
    EXPECT_EQ(std::vector<std::wstring>{L"A"}, Values(p));
}

TEST(PropertyId3v2, RejectsBadFrames) {
    CMp4PropertyStringId3v2 p;
    EXPECT_EQ(E_UNEXPECTED, p.ReadFromBox(0x2004, MetaFrame("TXXX", MetaBytes().u8(0).u8(0).str("v").get()).ref()));
    EXPECT_EQ(E_UNEXPECTED, p.ReadFromBox(0x2004, MetaFrame("TXXX", MetaBytes().u8(3).str("d").str("v").get()).ref()));
    EXPECT_EQ(E_INVALIDARG,
              p.ReadFromBox(0x2004, MetaFrame("TXXX", MetaBytes().u8(0).str("d").str("v", false).get()).ref()));
    EXPECT_EQ(E_INVALIDARG, p.ReadFromBox(0x2004, MetaFrame("TXXX", MetaBytes().get()).ref()));
    std::vector<std::wstring> values;
    EXPECT_EQ(E_UNEXPECTED, p.GetValues(0x2004, values));

    MetaBytes otherUuid;
    for (int i = 0; i < 16; ++i) otherUuid.u8(i);
    otherUuid.fourcc("TXXX").u16(0).u8(0).str("d").str("v");
    EXPECT_EQ(E_INVALIDARG, p.ReadFromBox(0x2004, MetaBox("uuid", otherUuid.get()).ref()));
    MetaBox truncated("uuid", std::vector<BYTE>(kMp4Id3v2FrameUuid, kMp4Id3v2FrameUuid + 10));
    EXPECT_EQ(E_INVALIDARG, p.ReadFromBox(0x2004, truncated.ref()));
    Mp4BoxRef noPayload{8 + 40, MP4_FOURCC('u', 'u', 'i', 'd'), nullptr, 0};
    EXPECT_EQ(E_POINTER, p.ReadFromBox(0x2004, noPayload));
    Mp4BoxRef zero = truncated.ref();
    zero.dwSize = 0;
    EXPECT_EQ(E_INVALIDARG, p.ReadFromBox(0x2004, zero));
}

TEST(PropertyId3v2, TextFramesUsltAndUrls) {
    CMp4PropertyStringId3v2 p;
    ASSERT_EQ(S_OK, p.ReadFromBox(0x200A, MetaFrame("TCOM", MetaBytes().u8(0).str("Bach/Händel").get()).ref()));
    EXPECT_EQ((std::vector<std::wstring>{L"Bach", L"H\u00E4ndel"}), Values(p));
    ASSERT_EQ(S_OK, p.ReadFromBox(0x200B, MetaFrame("TPUB", MetaBytes().u8(2).str("a/b").get()).ref()));
    EXPECT_EQ(std::vector<std::wstring>{L"a/b"}, Values(p));
    EXPECT_EQ(255, p.GetTextEncoding());

    MetaBox uslt = MetaFrame("USLT", MetaBytes().u8(1).str("eng", false).utf16(u"").utf16(u"la la").get());
    ASSERT_EQ(S_OK, p.ReadFromBox(0x2011, uslt.ref()));
    EXPECT_EQ(std::vector<std::wstring>{L"la la"}, Values(p));
    EXPECT_EQ(L"", p.GetDescription());

    MetaBox wxxx = MetaFrame("WXXX", MetaBytes().u8(0).str("BBPUB").str("http://x/").get());
    ASSERT_EQ(S_OK, p.ReadFromBox(0x2012, wxxx.ref()));
    EXPECT_EQ(L"BBPUB", p.GetDescription());
    EXPECT_EQ(std::vector<std::wstring>{L"http://x/"}, Values(p));
}

TEST(PropertyId3v2, StringFramesWriteAndReadBack) {
    struct Case {
        DWORD id;
        const char* frame;
        std::vector<std::wstring> values, readBack;
    };
    const Case cases[] = {
        {0x2004, "TXXX", {L"T\u00EDtulo"}, {L"T\u00EDtulo"}},
        {0x200A, "TCOM", {L"A/B"}, {L"A", L"B"}},
        {0x200D, "TDAT", {L"0101"}, {L"0101"}},
        {0x2013, "WXXX", {L"http://y/"}, {L"http://y/"}},
        {0x2011, "USLT", {L"words"}, {L"words"}},
    };
    for (const Case& c : cases) {
        CMp4PropertyStringId3v2 written;
        ASSERT_EQ(S_OK, written.SetValues(c.id, c.values));
        Mp4BoxList boxes;
        ASSERT_EQ(S_OK, written.WriteToBoxes(boxes)) << c.frame;
        ASSERT_EQ(1u, boxes.size());
        CMp4PropertyStringId3v2 read;
        ASSERT_EQ(S_OK, read.ReadFromBox(c.id, MetaRefOf(boxes[0]))) << c.frame;
        EXPECT_EQ(MP4_FOURCC(c.frame[0], c.frame[1], c.frame[2], c.frame[3]), read.GetFrameId());
        EXPECT_EQ(c.readBack, Values(read)) << c.frame;
        const Mp4PropertyRow* pMatch = Mp4FindPropertyByFrame(read.GetFrameId(), read.GetDescription().c_str());
        ASSERT_NE(nullptr, pMatch);
        EXPECT_EQ(c.id, pMatch->dwPropertyId);
        // The encoding byte follows the row.
        EXPECT_EQ(Mp4FindPropertyById(c.id)->bWriteEncoding, boxes[0][8 + 22]);
    }
}

TEST(PropertyId3v2, BinaryFrames) {
    CMp4PropertyBinaryId3v2 geob;
    MetaBox box = MetaFrame("GEOB", MetaBytes().u8(0).str("binary").str("f.bin").str("PQZ_BKLSI").raw({1, 2, 3}).get());
    ASSERT_EQ(S_OK, geob.ReadFromBox(box.ref()));
    EXPECT_EQ(L"binary", geob.GetMimeType());
    ASSERT_EQ(1u, geob.GetDataItems().size());
    EXPECT_EQ(L"PQZ_BKLSI", geob.GetDescriptions()[0]);
    EXPECT_EQ((std::vector<BYTE>{1, 2, 3}), geob.GetDataItems()[0]);
    CMp4PropertyBinaryId3v2 noDescription;
    EXPECT_EQ(E_UNEXPECTED,
              noDescription.ReadFromBox(MetaFrame("GEOB", MetaBytes().u8(0).str("m").str("f").str("").get()).ref()));

    CMp4PropertyBinaryId3v2 apic;
    MetaBox pic = MetaFrame("APIC", MetaBytes().u8(1).str("image/jpeg").u8(3).utf16(u"FTHBL1").raw({0xFF, 0xD8}).get());
    ASSERT_EQ(S_OK, apic.ReadFromBox(pic.ref()));
    EXPECT_EQ(3, apic.GetPictureType());
    EXPECT_EQ(L"FTHBL1", apic.GetDescriptions()[0]);
    apic.SetPropertyId(0x200E);
    Mp4BoxList boxes;
    ASSERT_EQ(S_OK, apic.WriteToBoxes(boxes));
    CMp4PropertyBinaryId3v2 again;
    ASSERT_EQ(S_OK, again.ReadFromBox(MetaRefOf(boxes[0])));
    EXPECT_EQ(L"FTHBL1", again.GetDescriptions()[0]);
    EXPECT_EQ((std::vector<BYTE>{0xFF, 0xD8}), again.GetDataItems()[0]);
    EXPECT_EQ(L"image/jpeg", again.GetMimeType());

    CMp4PropertyBinaryId3v2 ufid;
    ASSERT_EQ(S_OK, ufid.ReadFromBox(MetaFrame("UFID", MetaBytes().str("owner").raw({9, 9}).get()).ref()));
    EXPECT_EQ(L"owner", ufid.GetDescriptions()[0]);
    CMp4PropertyBinaryId3v2 longUfid;
    EXPECT_EQ(E_INVALIDARG, longUfid.ReadFromBox(
                                MetaFrame("UFID", MetaBytes().str("o").bytes(std::vector<BYTE>(65, 1)).get()).ref()));
    EXPECT_TRUE(longUfid.GetDataItems().empty());
}
