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
