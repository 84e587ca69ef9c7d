#include "fs/FsCheck.h"
#include "tests/unit/StorageTestSupport.h"

namespace {

std::vector<std::string> problems(Volume& v)
{
    std::vector<std::string> out;
    auto result = FsCheck::run(v.fs);
    for (auto const& p : result.value())
        out.push_back(ascii(p));
    return out;
}

void rewrite_root(Volume& v, Vector<DirectoryRecord> const& records) { v.write_node(2, records); }

}

TEST(FsCheck, CleanAfterOrdinaryOperations)
{
    Volume v;
    ASSERT_FALSE(v.fs.make_dir("a", "root").is_error());
    ASSERT_FALSE(v.fs.save_file(bytes_of("one"), "a/f", "root").is_error());
    ASSERT_FALSE(v.fs.save_file(bytes_of("two"), "a/f", "root").is_error());
    ASSERT_FALSE(v.fs.remove("a/f").is_error());
    ASSERT_FALSE(v.fs.save_file(ByteBuffer {}, "empty", "root").is_error());
    EXPECT_TRUE(problems(v).empty());
}

TEST(FsCheck, ReportsBadChecksumsOverlapsAndExtentsPastThePointer)
{
    Volume v;
    ASSERT_FALSE(v.fs.save_file(bytes_of("abc"), "f", "root").is_error());
    ASSERT_FALSE(v.fs.make_dir("d", "root").is_error());
    v.block(4)[4] = 'X';
    auto records = v.node(2);
    DirectoryRecord twin = records[1];
    twin.name = "twin";
    twin.address = BlockNumber(4); // the file's block
    DirectoryRecord beyond = records[0];
    beyond.name = "beyond";
    beyond.address = BlockNumber(50);
    records.append(twin);
    records.append(beyond);
    rewrite_root(v, records);

    auto found = problems(v);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_NE(found[0].find("/f: bad checksum"), std::string::npos);
    EXPECT_NE(found[1].find("/twin: blocks 4-5 overlap /f"), std::string::npos);
    EXPECT_NE(found[2].find("/beyond: blocks 50-50 outside"), std::string::npos);
}

TEST(FsCheck, ReportsNodesThatDoNotParse)
{
    Volume v;
    ASSERT_FALSE(v.fs.make_dir("d", "root").is_error());
    v.block(4)[0] = 200; // record count of d's node
    auto found = problems(v);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_NE(found[0].find("/d: directory node at block 4"), std::string::npos);
}
