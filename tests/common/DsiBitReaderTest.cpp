#include "common/DsiBitReader.h"

#include <gtest/gtest.h>

namespace {

HRESULT StatusOfRead(DsiBitReader& reader, unsigned nBits) {
    try {
        reader.Read(nBits);
    } catch (HRESULT hr) {
        return hr;
    }
    return S_OK;
}

TEST(DsiBitReaderTest, ReadsMostSignificantBitFirstAcrossBytes) {
    const BYTE data[] = {0xA5, 0x0F, 0x81, 0x23, 0x45, 0x67};
    DsiBitReader reader(data, sizeof(data));
    EXPECT_EQ(48u, reader.BitsLeft());
    EXPECT_EQ(0x5u, reader.Read(3));   // 101
    EXPECT_EQ(0x14u, reader.Read(7));  // 00101 00
    EXPECT_EQ(0x0Fu, reader.Read(6));  // 001111
    EXPECT_EQ(0x81234567u, reader.Read(32));
    EXPECT_EQ(0u, reader.BitsLeft());
}

TEST(DsiBitReaderTest, FullWidthReadAtAnOddPosition) {
    const BYTE data[] = {0x7F, 0xFF, 0xFF, 0xFF, 0xFF};
    DsiBitReader reader(data, sizeof(data));
    EXPECT_EQ(0u, reader.Read(1));
    EXPECT_EQ(0xFFFFFFFFu, reader.Read(32));
    EXPECT_EQ(7u, reader.BitsLeft());
}

TEST(DsiBitReaderTest, ShortReadIsRefusedAndConsumesNothing) {
    const BYTE data[] = {0xC3};
    DsiBitReader reader(data, sizeof(data));
    EXPECT_EQ(0x3u, reader.Read(2));
    EXPECT_EQ(E_FAIL, StatusOfRead(reader, 7));
    EXPECT_EQ(6u, reader.BitsLeft());
    EXPECT_EQ(0x03u, reader.Read(6));
    EXPECT_EQ(E_FAIL, StatusOfRead(reader, 1));
}

TEST(DsiBitReaderTest, EmptyOrNullBufferHasNoBits) {
    const BYTE data[] = {0xFF};
    DsiBitReader empty(data, 0);
    DsiBitReader null(nullptr, 16);
    EXPECT_EQ(0u, empty.BitsLeft());
    EXPECT_EQ(0u, null.BitsLeft());
    EXPECT_EQ(E_FAIL, StatusOfRead(empty, 1));
    EXPECT_EQ(E_FAIL, StatusOfRead(null, 1));
}

TEST(DsiBitReaderTest, CountOutsideOneToThirtyTwoIsRefused) {
    const BYTE data[] = {0, 0, 0, 0, 0, 0, 0, 0};
    DsiBitReader reader(data, sizeof(data));
    EXPECT_EQ(E_INVALIDARG, StatusOfRead(reader, 0));
    EXPECT_EQ(E_INVALIDARG, StatusOfRead(reader, 33));
    EXPECT_EQ(64u, reader.BitsLeft());
}

TEST(DsiBitReaderTest, AlignToByteMovesOnlyWithinAByte) {
    const BYTE data[] = {0x00, 0xAB};
    DsiBitReader reader(data, sizeof(data));
    reader.AlignToByte();
    EXPECT_EQ(16u, reader.BitsLeft());
    reader.Read(1);
    reader.AlignToByte();
    EXPECT_EQ(0xABu, reader.Read(8));
    reader.AlignToByte();
    EXPECT_EQ(0u, reader.BitsLeft());
}

}  // namespace
