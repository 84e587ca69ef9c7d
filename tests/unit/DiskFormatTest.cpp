#include "fs/DiskFormat.h"
#include "fs/Path.h"
#include "tests/unit/StorageTestSupport.h"

// The codec and the path type alone: bytes and strings in, records and
// names out, no disk.

namespace {

DirectoryRecord file_record(char const* name, u32 address, i32 size)
{
    DirectoryRecord record;
    record.name = name;
    record.type = DirectoryRecord::File;
    record.address = BlockNumber(address);
    record.size = size;
    record.date_time = "Mon 3/7/26 9:05";
    record.owner = "root";
    record.checksum = -7;
    return record;
}

std::vector<std::string> names(Path const& path)
{
    std::vector<std::string> out;
    for (auto const& name : path.names())
        out.push_back(ascii(name));
    return out;
}

}

TEST(DiskFormat, NodesEncodeRecordByRecordAndDecodeBackToTheSameBytes)
{
    Vector<DirectoryRecord> records { file_record("a", 4, 14), file_record("b", 0xFFFFFFFF, 4) };
    records[1].name = String::repeated(u'n', 255);
    ByteBuffer node = DiskFormat::encode_node(records).value();
    ASSERT_EQ(node.size(), DiskFormat::NodeSize);
    EXPECT_EQ(node[0], 2);
    // The first record right after the count: length byte, name, address.
    EXPECT_EQ(std::vector<u8>(node.begin() + 4, node.begin() + 10), (std::vector<u8> { 1, 'a', 4, 0, 0, 0 }));
    auto decoded = DiskFormat::decode_node(node).value();
    EXPECT_EQ(decoded.used, 4 + DiskFormat::encoded_size(records));
    ASSERT_EQ(decoded.records.size(), 2u);
    // A negative address on the disk is a block number no partition has.
    EXPECT_EQ(decoded.records[1].address.stored(), -1);
    EXPECT_EQ(decoded.records[1].name, records[1].name);
    EXPECT_EQ(decoded.records[0].checksum, -7);
    EXPECT_EQ(ascii(decoded.records[0].date_time), "Mon 3/7/26 9:05");

    // What does not fit a node, or does not parse, says so.
    for (int i = 0; i < 3; ++i)
        records.append(records[1]);
    EXPECT_EQ(error_of(DiskFormat::encode_node(records)), "Directory is full");
    node[0] = 54;
    EXPECT_EQ(error_of(DiskFormat::decode_node(node)), "Corrupt directory node");
    node[0] = 1;
    node[4 + 2 + 8] = 3; // the first record's type
    EXPECT_EQ(error_of(DiskFormat::decode_node(node)), "Corrupt directory node");
}

TEST(DiskFormat, AWalkForBlocksKeepsOnlyWhereEachRecordsBlocksAreAndTheIndexNames)
{
    auto index = DiskFormat::index_record(0x00ABCDEF, BlockNumber(40));
    EXPECT_EQ(ascii(index.name), "/00ABCDEF");
    EXPECT_EQ(DiskFormat::index_bound(index), 0x00ABCDEFu);
    EXPECT_TRUE(DiskFormat::is_index_record(index));
    EXPECT_FALSE(DiskFormat::is_index_record(file_record("/00ABCDEF", 4, 4)));
    ByteBuffer node = DiskFormat::encode_node({ index, file_record("readme.txt", 9, 20) }).value();
    auto light = DiskFormat::decode_node(node, DiskFormat::Detail::Extents).value();
    EXPECT_EQ(light.used, DiskFormat::decode_node(node).value().used);
    EXPECT_EQ(ascii(light.records[0].name), "/00ABCDEF");
    EXPECT_TRUE(light.records[1].name.is_empty() && light.records[1].owner.is_empty());
    EXPECT_EQ(light.records[1].address.value(), 9u);
    EXPECT_EQ(light.records[1].size, 20);
}

TEST(DiskFormat, ExtentsNamesAndHashesFollowTheFormatsRules)
{
    EXPECT_EQ(DiskFormat::extent_of(file_record("f", 9, 4))->count, 1u);
    EXPECT_EQ(DiskFormat::extent_of(file_record("f", 9, 512))->count, 1u);
    EXPECT_EQ(DiskFormat::extent_of(file_record("f", 9, 513))->count, 2u);
    EXPECT_FALSE(DiskFormat::extent_of(file_record("f", 9, 3)));
    DirectoryRecord directory = file_record("d", 12, 2);
    directory.type = DirectoryRecord::Directory;
    EXPECT_EQ(DiskFormat::extent_of(directory)->count, DiskFormat::NodeBlocks);
    EXPECT_TRUE((Extent { BlockNumber(12), 2 }).overlaps({ BlockNumber(13), 5 }));
    EXPECT_FALSE((Extent { BlockNumber(12), 2 }).overlaps({ BlockNumber(14), 5 }));

    EXPECT_EQ(error_of(DiskFormat::check_name("")), "Invalid file name");
    EXPECT_EQ(error_of(DiskFormat::check_name("a/b")), "Invalid character in file name");
    EXPECT_EQ(error_of(DiskFormat::check_name(String::repeated(u'x', 256))), "Name too long (at most 255 characters)");
    EXPECT_EQ(error_of(DiskFormat::check_name("caf\xe9 ~")), "");
    // FNV-1a over the stored bytes.
    EXPECT_EQ(DiskFormat::name_hash(""), 2166136261u);
    EXPECT_EQ(DiskFormat::name_hash("a"), 0xE40C292Cu);
}

TEST(Path, DropsOneSeparatorAtEachEndAndComparesWholeNames)
{
    EXPECT_TRUE(Path("/").is_root());
    EXPECT_TRUE(Path("").is_root());
    EXPECT_TRUE(Path("//").is_root());
    EXPECT_EQ(names(Path("/a/b/")), (std::vector<std::string> { "a", "b" }));
    // A doubled separator makes an empty name no record holds.
    EXPECT_EQ(names(Path("a//b")), (std::vector<std::string> { "a", "", "b" }));
    EXPECT_EQ(ascii(Path("/a/b/c").leaf()), "c");
    EXPECT_EQ(ascii(Path("/a/b/c").parent().to_string()), "a/b");
    EXPECT_TRUE(Path("a").parent().is_root());
    EXPECT_TRUE(Path("a/b").is_same_or_below(Path("a")));
    EXPECT_TRUE(Path("a").is_same_or_below(Path("/a/")));
    EXPECT_FALSE(Path("ab").is_same_or_below(Path("a")));
    EXPECT_FALSE(Path("a").is_same_or_below(Path("a/b")));
}
