#include "MetaBoxBuilder.h"

#include "mp4/Mp4Property3gpp.h"
#include "mp4/Mp4PropertyStore.h"
#include "mp4/Mp4PropertyTable.h"

#include <gtest/gtest.h>

namespace {

const WORD kEng = 0x15C7;

std::vector<Mp4BoxRef> Refs(const std::vector<MetaBox>& boxes) {
    std::vector<Mp4BoxRef> refs;
    for (const MetaBox& box : boxes) refs.push_back(box.ref());
    return refs;
}

std::vector<std::wstring> StoredValues(const CMp4PropertyStore& store, DWORD id) {
    std::vector<std::wstring> all;
    auto it = store.StringProperties().find(id);
    if (it == store.StringProperties().end()) return all;
    for (const Mp4StringPropertyPtr& p : it->second) {
        std::vector<std::wstring> values;
        if (SUCCEEDED(p->GetValues(id, values))) all.insert(all.end(), values.begin(), values.end());
    }
    return all;
}

MetaBox Titl(const char* text) { return MetaBox("titl", MetaBytes().u32(0).u16(kEng).str(text).get()); }

}  // namespace

TEST(PropertyStore, FactoryMakesTheClassOfEachKind) {
    size_t cRows = 0;
    const Mp4PropertyRow* pRows = Mp4PropertyRows(&cRows);
    for (size_t i = 0; i < cRows; ++i) {
        Mp4StringPropertyPtr p = Mp4CreateStringProperty(pRows[i].dwKind);
        EXPECT_EQ(pRows[i].dwKind != MP4_KIND_BINARY, p.get() != nullptr) << std::hex << pRows[i].dwPropertyId;
    }
    EXPECT_TRUE(dynamic_cast<CMp4PropertyAlbumTitle3gpp*>(Mp4CreateStringProperty(MP4_KIND_ALBUM_3GPP).get()));
    EXPECT_TRUE(dynamic_cast<CMp4PropertyStringId3v2*>(Mp4CreateStringProperty(MP4_KIND_STRING_ID3V2).get()));
}

TEST(PropertyStore, UserDataFirstBoxWinsAndUnknownBoxesAreKept) {
    MetaBox unknown("XYZW", MetaBytes().raw({0, 1, 2, 0xFF}).get());
    MetaBox utf16Title("titl", MetaBytes().u32(0).u16(kEng).utf16(u"Zweiter").get());
    CMp4PropertyStore store;
    ASSERT_EQ(S_OK, store.LoadUserData(100, 200, Refs({Titl("First"), unknown, utf16Title})));
    EXPECT_EQ(std::vector<std::wstring>{L"First"}, StoredValues(store, 0x1001));
    EXPECT_EQ(1u, store.StringProperties().at(0x1001).size());
    ASSERT_EQ(1u, store.UnknownUserDataBoxes().size());
    EXPECT_EQ(unknown.bytes(), store.UnknownUserDataBoxes()[0]);
    EXPECT_EQ(100u, store.UdtaOffset());
    EXPECT_EQ(200u, store.UdtaSize());
}

TEST(PropertyStore, MalformedUserDataBoxesAreDroppedAlone) {
    std::vector<MetaBox> boxes = {
        MetaBox("titl", MetaBytes().u32(0).u16(kEng).str("no end", false).get()),
        MetaBox("dscp", MetaBytes().u32(0).get()),
        MetaBox("rtng", MetaBytes().u32(0).fourcc("MPAA").get()),
        MetaBox("kywd", MetaBytes().u32(0).u16(kEng).u8(5).get()),
        MetaBox("yrrc", MetaBytes().u32(0).get()),
        Titl("Second"),
        MetaBox("perf", MetaBytes().u32(0).u16(kEng).str("Band").get()),
    };
    std::vector<Mp4BoxRef> refs = Refs(boxes);
    refs.push_back(Mp4BoxRef{0, MP4_FOURCC('a', 'u', 't', 'h'), nullptr, 0});
    refs.push_back(Mp4BoxRef{40, MP4_FOURCC('g', 'n', 'r', 'e'), nullptr, 0});
    CMp4PropertyStore store;
    ASSERT_EQ(S_OK, store.LoadUserData(0, 0, refs));
    // The broken first titl does not block the good one after it.
    EXPECT_EQ(std::vector<std::wstring>{L"Second"}, StoredValues(store, 0x1001));
    EXPECT_EQ(std::vector<std::wstring>{L"Band"}, StoredValues(store, 0x1004));
    EXPECT_EQ(2u, store.StringProperties().size());
    EXPECT_TRUE(store.UnknownUserDataBoxes().empty());
}

TEST(PropertyStore, AlbumTrackNumberAndYear) {
    CMp4PropertyStore store;
    MetaBox albm("albm", MetaBytes().u32(0).u16(kEng).str("Album").get());
    MetaBox yrrc("yrrc", MetaBytes().u32(0).u16(2010).get());
    ASSERT_EQ(S_OK, store.LoadUserData(0, 0, Refs({albm, yrrc})));
    EXPECT_EQ(std::vector<std::wstring>{L"Album"}, StoredValues(store, 0x100B));
    EXPECT_EQ(std::vector<std::wstring>{L"0"}, StoredValues(store, 0x100C));
    EXPECT_EQ(std::vector<std::wstring>{L"2010"}, StoredValues(store, 0x100D));

    MetaBox withTrack("albm", MetaBytes().u32(0).u16(kEng).str("Album").u8(5).get());
    MetaBox year0("yrrc", MetaBytes().u32(0).u16(0).get());
    store.Clear();
    ASSERT_EQ(S_OK, store.LoadUserData(0, 0, Refs({withTrack, year0})));
    EXPECT_EQ(std::vector<std::wstring>{L"5"}, StoredValues(store, 0x100C));
    EXPECT_EQ(std::vector<std::wstring>{L""}, StoredValues(store, 0x100D));
    Mp4StringPropertyPtr track = store.StringProperties().at(0x100C).front();
    EXPECT_EQ(0x100Cu, track->GetPropertyId());
}

TEST(PropertyStore, FrameAreaDefaultsToTheStreamEnd) {
    CMp4PropertyStore store;
    EXPECT_EQ(CMp4PropertyStore::kNone, store.FrameAreaOffset());
    ASSERT_EQ(S_OK, store.LoadFrameArea({}, 10, 20, 12345));
    EXPECT_EQ(12345u, store.FrameAreaOffset());
    EXPECT_EQ(0u, store.FrameAreaSize());
}

TEST(PropertyStore, FramesAreFiledByFrameIdAndDescription) {
    std::vector<MetaBox> frames = {
        MetaFrame("TXXX", MetaBytes().u8(0).str("E_FPRTH1").str("p1").get()),
        MetaFrame("TXXX", MetaBytes().u8(0).str("E_FPRTH2").str("p2").get()),
        MetaFrame("TXXX", MetaBytes().u8(0).str("E_TIT2S").str("exact").get()),
        MetaFrame("TXXX", MetaBytes().u8(0).str("E_TIT2S").str("second").get()),
        MetaFrame("TXXX", MetaBytes().u8(0).str("E_TIT2SX").str("nobody").get()),
        MetaFrame("TCOM", MetaBytes().u8(0).str("Anna/Ben").get()),
        MetaFrame("APIC", MetaBytes().u8(0).str("image/png").u8(0).str("FTHBL_1").raw({1}).get()),
        MetaFrame("APIC", MetaBytes().u8(0).str("image/png").u8(0).str("FTHBL_2").raw({2, 2}).get()),
        MetaFrame("ZZZZ", MetaBytes().raw({7}).get()),
    };
    CMp4PropertyStore store;
    ASSERT_EQ(S_OK, store.LoadFrameArea(Refs(frames), 500, 600, 9999));
    EXPECT_EQ(500u, store.FrameAreaOffset());
    EXPECT_EQ(600u, store.FrameAreaSize());
    EXPECT_EQ((std::vector<std::wstring>{L"p1", L"p2"}), StoredValues(store, 0x2014));
    EXPECT_EQ(std::vector<std::wstring>{L"exact"}, StoredValues(store, 0x2004));
    EXPECT_EQ((std::vector<std::wstring>{L"Anna", L"Ben"}), StoredValues(store, 0x200A));
    ASSERT_EQ(2u, store.UnknownFrameBoxes().size());
    EXPECT_EQ(frames[4].bytes(), store.UnknownFrameBoxes()[0]);
    EXPECT_EQ(frames[8].bytes(), store.UnknownFrameBoxes()[1]);

    std::vector<std::wstring> descriptions{L"stale"};
    std::vector<std::vector<BYTE>> data{{1}};
    ASSERT_EQ(S_OK, store.GetBinaryProperty(0x200E, descriptions, data));
    EXPECT_EQ((std::vector<std::wstring>{L"FTHBL_1", L"FTHBL_2"}), descriptions);
    EXPECT_EQ((std::vector<std::vector<BYTE>>{{1}, {2, 2}}), data);
    ASSERT_EQ(S_OK, store.GetBinaryProperty(0x2001, descriptions, data));
    EXPECT_TRUE(descriptions.empty() && data.empty());
    data.assign(1, {1});
    EXPECT_EQ(MP4_E_PROPERTY_UNKNOWN, store.GetBinaryProperty(0x2004, descriptions, data));
    EXPECT_TRUE(data.empty());
    EXPECT_EQ(MP4_E_PROPERTY_UNKNOWN, store.GetBinaryProperty(0x7777, descriptions, data));

    std::string json = Mp4PropertiesToJson(store);
    EXPECT_EQ(
        "[{\"id\":\"0x2004\",\"values\":[\"exact\"]},{\"id\":\"0x200A\",\"values\":[\"Anna\",\"Ben\"]},"
        "{\"id\":\"0x200E\",\"items\":[{\"description\":\"FTHBL_1\",\"bytes\":1},"
        "{\"description\":\"FTHBL_2\",\"bytes\":2}]},{\"id\":\"0x2014\",\"values\":[\"p1\",\"p2\"]}]",
        json);
}

TEST(PropertyStore, FailingFrameEndsTheLoading) {
    std::vector<MetaBox> frames = {
        MetaFrame("TXXX", MetaBytes().u8(0).str("E_TIT2S").str("ok").get()),
        MetaFrame("TXXX", MetaBytes().u8(0).u8(0).str("v").get()),
        MetaFrame("TXXX", MetaBytes().u8(0).str("E_TPE1S").str("never").get()),
    };
    CMp4PropertyStore store;
    EXPECT_EQ(E_UNEXPECTED, store.LoadFrameArea(Refs(frames), 0, 0, 0));
    EXPECT_EQ(std::vector<std::wstring>{L"ok"}, StoredValues(store, 0x2004));
    EXPECT_TRUE(StoredValues(store, 0x2005).empty());
}

TEST(PropertyStore, JsonEscapesTexts) {
    CMp4PropertyStore store;
    MetaBox title("titl", MetaBytes().u32(0).u16(kEng).str("a\"b\\c\n\xC3\xA9").get());
    ASSERT_EQ(S_OK, store.LoadUserData(0, 0, Refs({title})));
    EXPECT_EQ("[{\"id\":\"0x1001\",\"values\":[\"a\\\"b\\\\c\\u000A\xC3\xA9\"]}]", Mp4PropertiesToJson(store));
    store.Clear();
    EXPECT_EQ("[]", Mp4PropertiesToJson(store));
}

TEST(PropertyStore, EveryTruncationOfValidBoxesIsHandled) {
    // Each prefix of a valid box is offered as a whole box; the sanitizer
    // build turns any read past the prefix into a failure.
    std::vector<MetaBox> boxes = {
        MetaBox("rtng", MetaBytes().u32(0).fourcc("MPAA").fourcc("PG13").u16(kEng).utf16(u"x").get()),
        MetaBox("clsf", MetaBytes().u32(0).fourcc("NICA").u16(7).u16(kEng).str("all").get()),
        MetaBox("kywd", MetaBytes().u32(0).u16(kEng).u8(2).u8(4).str("one").u8(6).utf16(u"t").get()),
        MetaBox("loci", MetaBytes().u32(0).u16(kEng).str("H").u8(1).u32(1).u32(2).u32(3).str("e").str("n").get()),
        MetaBox("albm", MetaBytes().u32(0).u16(kEng).utf16(u"A", false).u8(3).get()),
        MetaBox("yrrc", MetaBytes().u32(0).u16(1999).get()),
        MetaFrame("TXXX", MetaBytes().u8(1).utf16(u"E_FPRCA1").utf16(u"v").get()),
        MetaFrame("USLT", MetaBytes().u8(0).str("eng", false).str("d").str("l").get()),
        MetaFrame("GEOB", MetaBytes().u8(1).str("m").utf16(u"f").utf16(u"E_TCID").raw({1, 2}).get()),
        MetaFrame("APIC", MetaBytes().u8(0).str("m").u8(1).str("LYRIC").raw({3}).get()),
        MetaFrame("UFID", MetaBytes().str("o").raw({4}).get()),
    };
    for (const MetaBox& box : boxes) {
        for (size_t cb = 0; cb <= box.m_payload.size(); ++cb) {
            std::vector<BYTE> prefix(box.m_payload.begin(), box.m_payload.begin() + cb);
            MetaBox cut(box.m_type == MP4_FOURCC('u', 'u', 'i', 'd') ? "uuid" : "????", prefix);
            cut.m_type = box.m_type;
            CMp4PropertyStore store;
            HRESULT hr = box.m_type == MP4_FOURCC('u', 'u', 'i', 'd') ? store.LoadFrameArea(Refs({cut}), 0, 0, 0)
                                                                      : store.LoadUserData(0, 0, Refs({cut}));
            size_t loaded = store.StringProperties().size() + store.BinaryProperties().size();
            if (cb == box.m_payload.size()) {
                EXPECT_EQ(S_OK, hr);
                EXPECT_LE(1u, loaded) << std::hex << box.m_type;
            } else if (FAILED(hr) || loaded == 0) {
                EXPECT_TRUE(store.UnknownUserDataBoxes().empty());
            }
        }
    }
}
