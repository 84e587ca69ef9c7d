#include "fs/Stream.h"
#include "tests/unit/StorageTestSupport.h"

TEST(Stream, EncodesIntegersAndStringsLittleEndianWithLengthByte)
{
    MemoryStream stream(16);
    BinaryWriter writer(stream);
    writer.write(String("abc"));
    writer.write(String(""));
    writer.write(static_cast<i32>(4));
    writer.write(static_cast<i32>(-1));
    writer.write(static_cast<u8>(0x7F));
    std::vector<u8> expected { 3, 'a', 'b', 'c', 0, 4, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F };
    EXPECT_EQ(std::vector<u8>(stream.data().begin(), stream.data().begin() + 14), expected);
    EXPECT_EQ(stream.position(), 14);
    EXPECT_EQ(stream.data().size(), 16u); // writes inside the array never replace it

    stream.set_position(0);
    BinaryReader reader(stream);
    EXPECT_EQ(ascii(reader.read_string().value()), "abc");
    EXPECT_EQ(ascii(reader.read_string().value()), "");
    EXPECT_EQ(stream.position(), 5); // the empty string is one byte
    EXPECT_EQ(reader.read_int32().value(), 4);
    EXPECT_EQ(reader.read_int32().value(), -1);
    EXPECT_EQ(reader.read_byte().value(), 0x7F);
}

TEST(Stream, CharactersKeepTheirLowByteAndLongStringsWrapTheLengthByte)
{
    MemoryStream stream(400);
    BinaryWriter writer(stream);
    String wide;
    wide.append(u'\u263A');
    writer.write(wide);
    EXPECT_EQ(stream.data()[1], 0x3A);

    stream.set_position(0);
    writer.write(String::repeated(u'x', 300));
    EXPECT_EQ(stream.data()[0], 44); // 300 mod 256
    EXPECT_EQ(stream.position(), 301);
    EXPECT_EQ(stream.data()[300], 'x');
}

TEST(Stream, GrowsByOneThousandBytesOnlyWhenWritingPastTheEnd)
{
    MemoryStream stream(4);
    ByteBuffer mine;
    mine.resize(4);
    stream.data() = mine;
    BinaryWriter writer(stream);
    writer.write(static_cast<i32>(0x04030201));
    EXPECT_EQ(stream.data().size(), 4u);
    writer.write(static_cast<u8>(5));
    ASSERT_EQ(stream.data().size(), 1004u);
    std::vector<u8> head(stream.data().begin(), stream.data().begin() + 6);
    EXPECT_EQ(head, (std::vector<u8> { 1, 2, 3, 4, 5, 0 }));
}

TEST(Stream, ReadsPastTheEndFailInsteadOfLeavingTheArray)
{
    MemoryStream stream(3);
    BinaryReader reader(stream);
    EXPECT_FALSE(error_of(reader.read_int32()).empty());
    EXPECT_EQ(stream.position(), 0);

    // A length byte that promises more characters than the array has.
    stream.data()[0] = 200;
    EXPECT_FALSE(error_of(reader.read_string()).empty());
    stream.set_position(3);
    EXPECT_FALSE(error_of(reader.read_byte()).empty());
}
