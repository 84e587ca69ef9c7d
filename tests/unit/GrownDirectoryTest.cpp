#include "fs/FsCheck.h"
#include "tests/unit/StorageTestSupport.h"

#include <functional>
#include <map>
#include <set>

// Directories that outgrow their one node, and what code that knows only
// single-node directories finds in them.

namespace {

std::set<std::string> names_in(DiskFilesystem& fs, char const* path)
{
    std::set<std::string> names;
    auto records = fs.list(path).value();
    for (auto const& record : records)
        names.insert(ascii(record.name));
    return names;
}

// Entry i's name, padded to `width` characters.
std::string name_of(size_t i, size_t width)
{
    std::string name = "entry" + std::to_string(i);
    return name + std::string(width > name.size() ? width - name.size() : 0, '.');
}

bool all_index_records(Vector<DirectoryRecord> const& records)
{
    return !records.is_empty() && std::all_of(records.begin(), records.end(), DiskFormat::is_index_record);
}

}

TEST(GrownDirectory, HoldsTenThousandEntriesWithTheLongestNames)
{
    Volume v(48 * 2048);
    ASSERT_EQ(error_of(v.fs.make_dir("big", "root")), "");
    std::set<std::string> saved;
    for (size_t i = 0; i < 10000; ++i) {
        std::string name = name_of(i, DiskFormat::MaxNameLength);
        ASSERT_EQ(error_of(v.fs.save_file(bytes_of(std::to_string(i)), String(("big/" + name).c_str()), "root")), "")
            << i;
        saved.insert(name);
    }
    EXPECT_EQ(names_in(v.fs, "big"), saved);
    for (size_t i : { 0, 1, 4999, 9998, 9999 }) {
        String path(("/big/" + name_of(i, DiskFormat::MaxNameLength)).c_str());
        EXPECT_EQ(text_of(v.fs.read_file(path).value()), std::to_string(i));
    }
    // The directory's own node stays where it was and holds its index in
    // the first block; a lookup that misses says what it always said.
    EXPECT_TRUE(all_index_records(v.node(v.node_of("big"))));
    EXPECT_EQ(error_of(v.fs.stat("big/" + String::repeated(u'x', 255))), "File not found!!!");
    EXPECT_EQ(first_problem(v.fs), "");
}

TEST(GrownDirectory, GrowsPastItsNodeAndShrinksBackToOneNodeGivingEveryBlockBack)
{
    Volume v;
    ASSERT_EQ(error_of(v.fs.make_dir("d", "root")), "");
    u64 own_node = v.node_of("d");
    u64 used_before = v.fs.space_usage().value().used_bytes;
    std::vector<std::string> names;
    for (size_t i = 0; i < 400; ++i) {
        names.push_back(name_of(i, 12));
        ASSERT_EQ(error_of(v.fs.save_file({}, String(("d/" + names.back()).c_str()), "root")), "") << i;
    }
    EXPECT_EQ(v.node_of("d"), own_node);
    EXPECT_TRUE(all_index_records(v.node(own_node)));
    EXPECT_EQ(names_in(v.fs, "d"), std::set<std::string>(names.begin(), names.end()));
    EXPECT_EQ(first_problem(v.fs), "");

    // Every other one first, so the leaves empty unevenly.
    for (size_t pass = 0; pass < 2; ++pass) {
        for (size_t i = pass; i < names.size(); i += 2)
            ASSERT_EQ(error_of(v.fs.remove(String(("d/" + names[i]).c_str()))), "") << i;
        ASSERT_EQ(first_problem(v.fs), "") << "pass " << pass;
    }
    EXPECT_TRUE(v.fs.list("d").value().is_empty());
    // An empty directory's node, exactly as a new one: nothing but zeros.
    EXPECT_EQ(v.node_of("d"), own_node);
    EXPECT_TRUE(std::all_of(v.block(own_node), v.block(own_node + 2), [](u8 b) { return b == 0; }));
    EXPECT_EQ(v.fs.space_usage().value().used_bytes, used_before);
}

TEST(GrownDirectory, TheRootGrowsInPlaceAndAFreshMountReadsIt)
{
    Volume v(8192);
    std::map<std::string, std::string> files;
    for (size_t i = 0; i < 300; ++i) {
        std::string name = name_of(i, 20 + i % 60);
        files[name] = "content " + std::to_string(i);
        ASSERT_EQ(error_of(v.fs.save_file(bytes_of(files[name]), String(name.c_str()), "root")), "");
    }
    ASSERT_EQ(error_of(v.fs.make_dir("inner", "root")), "");
    ASSERT_EQ(error_of(v.fs.save_file(bytes_of("deep"), "inner/deep", "root")), "");
    EXPECT_TRUE(all_index_records(v.node(2)));

    DiskFilesystem fresh(v.partition, v.user);
    for (auto const& [name, content] : files)
        ASSERT_EQ(text_of(fresh.read_file(String(name.c_str())).value()), content) << name;
    EXPECT_EQ(text_of(fresh.read_file("inner/deep").value()), "deep");
    EXPECT_EQ(fresh.list("").value().size(), files.size() + 1);
    EXPECT_EQ(fresh.space_usage().value().used_bytes, v.fs.space_usage().value().used_bytes);
    // A name saved again keeps its one record.
    ASSERT_EQ(error_of(fresh.save_file(bytes_of("again"), String(files.begin()->first.c_str()), "root")), "");
    EXPECT_EQ(fresh.list("").value().size(), files.size() + 1);
    EXPECT_EQ(first_problem(fresh), "");
}

TEST(GrownDirectory, MovesAndRenamesBetweenGrownDirectoriesKeepEveryEntry)
{
    Volume v(8192);
    for (char const* directory : { "a", "b" }) {
        ASSERT_EQ(error_of(v.fs.make_dir(directory, "root")), "");
        for (size_t i = 0; i < 150; ++i) {
            std::string path = std::string(directory) + "/" + name_of(i, 16);
            ASSERT_EQ(error_of(v.fs.save_file(bytes_of(path), String(path.c_str()), "root")), "");
        }
    }
    for (size_t i = 0; i < 150; i += 3) {
        std::string name = name_of(i, 16);
        ASSERT_EQ(error_of(v.fs.move(String(("a/" + name).c_str()), String(("b/moved-" + name).c_str()))), "");
        ASSERT_EQ(error_of(v.fs.move(String(("b/" + name).c_str()), String(("b/renamed-" + name).c_str()))), "");
    }
    EXPECT_EQ(v.fs.list("a").value().size(), 100u);
    EXPECT_EQ(v.fs.list("b").value().size(), 200u);
    EXPECT_EQ(text_of(v.fs.read_file(String(("b/moved-" + name_of(0, 16)).c_str())).value()), "a/" + name_of(0, 16));
    EXPECT_EQ(text_of(v.fs.read_file(String(("b/renamed-" + name_of(3, 16)).c_str())).value()), "b/" + name_of(3, 16));
    EXPECT_EQ(error_of(v.fs.move("b", "b/inner")), "Cannot move a directory into itself");
    ASSERT_EQ(error_of(v.fs.move("b", "a/b")), "");
    EXPECT_EQ(v.fs.list("a/b").value().size(), 200u);
    EXPECT_EQ(first_problem(v.fs), "");
    // rmdir of a grown directory gives back all it held.
    u64 used = v.fs.space_usage().value().used_bytes;
    ASSERT_EQ(error_of(v.fs.remove("a/b")), "");
    EXPECT_LT(v.fs.space_usage().value().used_bytes, used - 200 * 512);
    EXPECT_EQ(first_problem(v.fs), "");
}

TEST(GrownDirectory, RecordsOlderCodeAddsToTheOwnNodeAreFoundFirstReplacedAndRemoved)
{
    Volume v;
    ASSERT_EQ(error_of(v.fs.make_dir("d", "root")), "");
    for (size_t i = 0; i < 100; ++i)
        ASSERT_EQ(error_of(v.fs.save_file({}, String(("d/" + name_of(i, 10)).c_str()), "root")), "");
    // Code that knows only single-node directories appends a record to the
    // node it sees: one of a new name, and one of a name the tree holds.
    ASSERT_EQ(error_of(v.fs.save_file(bytes_of("old one"), "old", "root")), "");
    ASSERT_EQ(error_of(v.fs.save_file(bytes_of("old twin"), "twin", "root")), "");
    auto root = v.node(2);
    u64 own = v.node_of("d");
    auto records = v.node(own);
    DirectoryRecord twin = root[2];
    twin.name = String(name_of(7, 10).c_str());
    records.append(root[1]);
    records.append(twin);
    v.write_node(own, records);
    root.remove(2);
    root.remove(1);
    v.write_node(2, root);
    DiskFilesystem fs(v.partition, v.user);
    EXPECT_EQ(first_problem(fs), "");

    EXPECT_EQ(text_of(fs.read_file("d/old").value()), "old one");
    EXPECT_EQ(text_of(fs.read_file(String(("d/" + name_of(7, 10)).c_str())).value()), "old twin");
    EXPECT_EQ(fs.list("d").value().size(), 102u);
    ASSERT_EQ(error_of(fs.save_file(bytes_of("new one"), "d/old", "root")), "");
    EXPECT_EQ(text_of(fs.read_file("d/old").value()), "new one");
    ASSERT_EQ(error_of(fs.remove(String(("d/" + name_of(7, 10)).c_str()))), "");
    EXPECT_EQ(error_of(fs.stat(String(("d/" + name_of(7, 10)).c_str()))), "File not found!!!");
    EXPECT_TRUE(all_index_records(v.node(v.node_of("d"))));
    EXPECT_EQ(fs.list("d").value().size(), 100u);
    EXPECT_EQ(first_problem(fs), "");
}

TEST(GrownDirectory, AReaderOfSingleNodeDirectoriesCountsEveryBlockAndReachesNoIndexByPath)
{
    Volume v;
    ASSERT_EQ(error_of(v.fs.make_dir("d", "root")), "");
    for (size_t i = 0; i < 300; ++i)
        ASSERT_EQ(error_of(v.fs.save_file(bytes_of("x"), String(("d/" + name_of(i, 30)).c_str()), "root")), "");
    ASSERT_EQ(error_of(v.fs.remove(String(("d/" + name_of(5, 30)).c_str()))), "");

    // Such a reader takes every directory record for a directory and every
    // file record for a file, as the format says, and claims their blocks.
    std::vector<std::pair<u64, u64>> claimed { { 2, 4 } };
    size_t files = 0;
    std::function<void(u64)> walk = [&](u64 node) {
        for (auto const& record : v.node(node)) {
            u64 first = record.address.value();
            if (record.is_directory()) {
                claimed.push_back({ first, first + 2 });
                // No name holds the separator, so no path leads here.
                EXPECT_EQ(DiskFormat::is_index_record(record), ascii(record.name).find('/') != std::string::npos);
                walk(first);
            } else {
                claimed.push_back({ first, first + DiskFormat::blocks_for_file(*record.content_length()) });
                ++files;
            }
        }
    };
    walk(2);
    EXPECT_EQ(files, 299u);
    // What it claims is exactly what is in use: it would reuse no block the
    // tree holds, and lose none.
    std::sort(claimed.begin(), claimed.end());
    u64 blocks = 0;
    for (size_t i = 0; i < claimed.size(); ++i) {
        blocks += claimed[i].second - claimed[i].first;
        if (i > 0) {
            EXPECT_LE(claimed[i - 1].second, claimed[i].first);
        }
    }
    EXPECT_EQ(blocks * 512, v.fs.space_usage().value().used_bytes - 2 * 512);
}
