#include "base/Endian.h"
#include "base/Vector.h"

#include <gtest/gtest.h>

// Fields sit at odd offsets in partition tables and MZ headers, and bytes
// with the top bit set must not spread their sign into the higher bytes.
TEST(Endian, ReadsAndWritesLittleEndianFieldsAtAnyOffset)
{
    ByteBuffer bytes { 0x00, 0xFF, 0x80, 0x01, 0xFE, 0x7F };
    EXPECT_EQ(read_le16(bytes, 1), 0x80FF);
    EXPECT_EQ(read_le32(bytes, 1), 0xFE0180FFu);
    EXPECT_EQ(read_le32(bytes, 2), 0x7FFE0180u);

    write_le32(bytes, 1, 0x89ABCDEF);
    EXPECT_EQ(bytes[1], 0xEF);
    EXPECT_EQ(bytes[4], 0x89);
    EXPECT_EQ(bytes[5], 0x7F);
    EXPECT_EQ(read_le32(bytes, 1), 0x89ABCDEFu);
}

TEST(Endian, AFieldPastTheEndStops)
{
    ByteBuffer bytes { 1, 2, 3, 4 };
    EXPECT_DEATH((void)read_le32(bytes, 1), "VERIFY failed");
    EXPECT_DEATH((void)read_le16(bytes, 3), "VERIFY failed");
    EXPECT_DEATH(write_le32(bytes, static_cast<size_t>(-1), 0), "VERIFY failed");
}

// Network headers put the high byte first.
TEST(Endian, ReadsAndWritesBigEndianFieldsAtAnyOffset)
{
    ByteBuffer bytes { 0x00, 0xFF, 0x80, 0x01, 0xFE, 0x7F };
    EXPECT_EQ(read_be16(bytes, 1), 0xFF80);
    EXPECT_EQ(read_be32(bytes, 1), 0xFF8001FEu);
    EXPECT_EQ(read_be32(bytes, 2), 0x8001FE7Fu);

    write_be32(bytes, 1, 0x89ABCDEF);
    write_be16(bytes, 4, 0x1234);
    EXPECT_EQ(bytes[1], 0x89);
    EXPECT_EQ(bytes[3], 0xCD);
    EXPECT_EQ(bytes[4], 0x12);
    EXPECT_EQ(bytes[5], 0x34);
    EXPECT_DEATH(write_be16(bytes, 5, 0), "VERIFY failed");
    EXPECT_DEATH((void)read_be32(bytes, 3), "VERIFY failed");
}
