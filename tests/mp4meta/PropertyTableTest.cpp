#include "mp4/Mp4PropertyTable.h"

#include <gtest/gtest.h>

#include <set>

TEST(PropertyTable, HasFortyRowsWithUniqueIdsAndKnownKinds) {
    size_t cRows = 0;
    const Mp4PropertyRow* pRows = Mp4PropertyRows(&cRows);
    ASSERT_EQ(40u, cRows);
    std::set<DWORD> ids;
    for (size_t i = 0; i < cRows; ++i) {
        EXPECT_TRUE(ids.insert(pRows[i].dwPropertyId).second) << std::hex << pRows[i].dwPropertyId;
        DWORD kind = pRows[i].dwKind;
        EXPECT_TRUE((kind >= 0x1001 && kind <= 0x1008) || kind == 0x2001) << std::hex << kind;
        EXPECT_EQ(&pRows[i], Mp4FindPropertyById(pRows[i].dwPropertyId));
        // Every row is reachable by its own frame ID and description.
        EXPECT_NE(nullptr, Mp4FindPropertyByFrame(pRows[i].dwBoxId, pRows[i].pszDescription));
    }
    // The table order decides ties: 0x200A sits between 0x2005 and 0x2006.
    EXPECT_EQ(0x2005u, pRows[17].dwPropertyId);
    EXPECT_EQ(0x200Au, pRows[18].dwPropertyId);
    EXPECT_EQ(0x201Bu, pRows[39].dwPropertyId);
}

TEST(PropertyTable, BoxLookupReturnsFirstRow) {
    EXPECT_EQ(0x100Bu, Mp4FindPropertyByBoxId(MP4_FOURCC('a', 'l', 'b', 'm'))->dwPropertyId);
    EXPECT_EQ(0x2001u, Mp4FindPropertyByBoxId(MP4_FOURCC('G', 'E', 'O', 'B'))->dwPropertyId);
    EXPECT_EQ(nullptr, Mp4FindPropertyByBoxId(MP4_FOURCC('x', 'y', 'z', 'w')));
    EXPECT_EQ(nullptr, Mp4FindPropertyById(0x1000));
}

TEST(PropertyTable, FrameMatchingByDescription) {
    const DWORD txxx = MP4_FOURCC('T', 'X', 'X', 'X');
    // Single-valued rows need the exact description.
    EXPECT_EQ(0x2004u, Mp4FindPropertyByFrame(txxx, L"E_TIT2S")->dwPropertyId);
    EXPECT_EQ(nullptr, Mp4FindPropertyByFrame(txxx, L"E_TIT2S1"));
    EXPECT_EQ(nullptr, Mp4FindPropertyByFrame(txxx, L"E_TIT2"));
    // "E_ATPE1S" must not be taken by the shorter single-valued "E_ATPE1".
    EXPECT_EQ(0x2008u, Mp4FindPropertyByFrame(txxx, L"E_ATPE1S")->dwPropertyId);
    // Multi-valued rows take any description that begins with theirs.
    EXPECT_EQ(0x2014u, Mp4FindPropertyByFrame(txxx, L"E_FPRTH3")->dwPropertyId);
    EXPECT_EQ(0x2014u, Mp4FindPropertyByFrame(txxx, L"E_FPRTH")->dwPropertyId);
    EXPECT_EQ(0x200Fu, Mp4FindPropertyByFrame(MP4_FOURCC('A', 'P', 'I', 'C'), L"FAECA_02")->dwPropertyId);
    // Rows without a description match any.
    EXPECT_EQ(0x200Au, Mp4FindPropertyByFrame(MP4_FOURCC('T', 'C', 'O', 'M'), L"whatever")->dwPropertyId);
    EXPECT_EQ(0x2002u, Mp4FindPropertyByFrame(MP4_FOURCC('U', 'F', 'I', 'D'), nullptr)->dwPropertyId);
    EXPECT_EQ(nullptr, Mp4FindPropertyByFrame(txxx, nullptr));
}
