#include "fs/FsCheck.h"
#include "tests/unit/StorageTestSupport.h"

#include <map>
#include <random>
#include <set>

// Blocks freed by deletes and replacements are handed out again.

namespace {

ByteBuffer filled(size_t length, u8 seed)
{
    ByteBuffer data;
    data.resize(length);
    for (size_t i = 0; i < length; ++i)
        data[i] = static_cast<u8>(seed + i * 13 + (i >> 11));
    return data;
}

bool same(ByteBuffer const& a, ByteBuffer const& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

}

TEST(DiskReuse, AFileOfAQuarterOfTheVolumeIsSavedAndDeletedAgainAndAgain)
{
    // 16 MiB; a 4 MiB file takes 8,193 blocks, so blocks handed out only from
    // the pointer run out in the fourth round.
    Volume v(16 * 2048);
    for (int round = 0; round < 20; ++round) {
        ByteBuffer data = filled(4 << 20, static_cast<u8>(round));
        ASSERT_EQ(error_of(v.fs.save_file(data, "big", "root")), "") << "round " << round;
        ASSERT_TRUE(same(v.fs.read_file("big").value(), data)) << "round " << round;
        ASSERT_EQ(error_of(v.fs.remove("big")), "") << "round " << round;
    }
    EXPECT_EQ(v.next_free(), 4 + 8193);
    EXPECT_EQ(v.fs.space_usage().value().used_bytes, 4u * 512);
}

TEST(DiskReuse, RandomSavesMovesAndDeletesNeverShareABlockAndReadBackThroughAFreshMount)
{
    // Far more is written over the run than the volume holds: without reuse
    // it fills up.
    constexpr u32 VolumeBlocks = 1200;
    Volume v(VolumeBlocks);
    std::mt19937 random(7321);
    std::map<std::string, ByteBuffer> files;
    std::vector<std::string> directories { "" };
    u64 written_blocks = 0;
    // Directories whose node has grown into an index, and how often one
    // shrank back into a single node.
    std::set<std::string> grown_directories;
    size_t growths = 0;
    size_t shrank = 0;
    auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
    auto join = [](std::string const& directory, std::string const& name) {
        return directory.empty() ? name : directory + "/" + name;
    };
    auto is_directory = [&](std::string const& path) {
        return std::find(directories.begin(), directories.end(), path) != directories.end();
    };

    for (int step = 0; step < 2400; ++step) {
        size_t choice = pick(11);
        std::string directory = directories[pick(directories.size())];
        // Saves outnumber deletes in the first half and deletes the saves
        // in the second, so directories fill up and empty again.
        bool filling = step < 1200;
        if (choice < (filling ? 6 : 2)) {
            // Enough names with room-taking records that directories grow
            // past one node and shrink back.
            std::string path = join(directory, "file-with-a-longer-name-" + std::to_string(pick(40)));
            if (is_directory(path))
                continue;
            size_t length = pick(4) ? pick(700) : 1000 + pick(7000);
            ByteBuffer data = filled(length, static_cast<u8>(step));
            ASSERT_EQ(error_of(v.fs.save_file(data, String(path.c_str()), "root")), "") << "step " << step;
            files[path] = data;
            written_blocks += DiskFormat::blocks_for_file(static_cast<u32>(length));
        } else if (choice < 8) {
            if (files.empty())
                continue;
            auto victim = std::next(files.begin(), static_cast<long>(pick(files.size())));
            ASSERT_EQ(error_of(v.fs.remove(String(victim->first.c_str()))), "") << "step " << step;
            files.erase(victim);
        } else if (choice < 9) {
            std::string path = join(directory, "d" + std::to_string(pick(2)));
            if (is_directory(path) || files.count(path))
                continue;
            ASSERT_EQ(error_of(v.fs.make_dir(String(path.c_str()), "root")), "") << "step " << step;
            directories.push_back(path);
            written_blocks += DiskFormat::NodeBlocks;
        } else if (choice == 9) {
            // A moved record keeps its blocks: deleting it later must free
            // them once, and nothing may reuse them while it lives.
            if (files.empty())
                continue;
            auto moved = std::next(files.begin(), static_cast<long>(pick(files.size())));
            std::string path = join(directory, "moved-with-a-longer-name-" + std::to_string(pick(40)));
            if (is_directory(path) || files.count(path))
                continue;
            ASSERT_EQ(error_of(v.fs.move(String(moved->first.c_str()), String(path.c_str()))), "") << "step " << step;
            files[path] = moved->second;
            files.erase(moved);
        } else {
            if (directory.empty())
                continue;
            ASSERT_EQ(error_of(v.fs.remove(String(directory.c_str()))), "") << "step " << step;
            auto below = [&](std::string const& path) { return path.rfind(directory + "/", 0) == 0; };
            std::erase_if(directories, [&](std::string const& d) { return d == directory || below(d); });
            std::erase_if(files, [&](auto const& file) { return below(file.first); });
        }
        ASSERT_EQ(first_problem(v.fs), "") << "step " << step;
        for (auto const& path : directories) {
            auto own = v.node(v.node_of(String(path.c_str())));
            bool grown = !own.is_empty() && DiskFormat::is_index_record(own[0]);
            shrank += !grown && grown_directories.erase(path);
            if (grown)
                grown_directories.insert(path);
        }
        growths = std::max(growths, grown_directories.size());
    }
    EXPECT_GT(written_blocks, 2u * VolumeBlocks);
    EXPECT_GT(growths, 0u);
    EXPECT_GT(shrank, 0u);

    // A new object on the partition reads the same files without walking
    // for free space, and its walk finds the space the old one kept track of.
    DiskFilesystem fresh(v.partition, v.user);
    for (auto const& [path, data] : files) {
        ASSERT_TRUE(same(v.fs.read_file(String(path.c_str())).value(), data)) << path;
        ASSERT_TRUE(same(fresh.read_file(String(path.c_str())).value(), data)) << path;
    }
    EXPECT_EQ(fresh.space_usage().value().used_bytes, v.fs.space_usage().value().used_bytes);
    EXPECT_LT(v.fs.space_usage().value().used_bytes, static_cast<u64>(v.next_free()) * 512);
}

TEST(DiskReuse, ReadingThroughAFreshMountReadsOnlyTheNodeAndTheContent)
{
    Volume v;
    ASSERT_FALSE(v.fs.save_file(filled(2000, 1), "gone", "root").is_error());
    ASSERT_FALSE(v.fs.save_file(filled(10, 2), "kept", "root").is_error());
    ASSERT_FALSE(v.fs.remove("gone").is_error());
    ASSERT_FALSE(v.fs.save_file(filled(400, 3), "hole", "root").is_error());
    EXPECT_EQ(v.fs.stat("hole").value().address, DiskFormat::FirstFreeBlock);

    DiskFilesystem fresh(v.partition, v.user);
    int reads = v.disk.reads;
    EXPECT_TRUE(same(fresh.read_file("hole").value(), filled(400, 3)));
    EXPECT_TRUE(same(fresh.read_file("kept").value(), filled(10, 2)));
    EXPECT_EQ(v.disk.reads - reads, 2 * 2);
}

TEST(DiskReuse, ABlockTwoRecordsClaimIsNeverHandedOutAgain)
{
    Volume v;
    ByteBuffer shared = filled(1500, 9);
    ASSERT_FALSE(v.fs.save_file(shared, "a", "root").is_error());
    ASSERT_FALSE(v.fs.save_file(filled(10, 4), "keep", "root").is_error());
    // A second record for a's blocks, as a cut in the middle of a move
    // leaves one in the source and one in the target.
    auto records = v.node(2);
    DirectoryRecord twin = records[0];
    twin.name = "twin";
    records.append(twin);
    v.write_node(2, records);

    DiskFilesystem fs(v.partition, v.user);
    i32 next = v.next_free();
    ASSERT_FALSE(fs.remove("a").is_error());
    ASSERT_FALSE(fs.save_file(filled(1500, 5), "b", "root").is_error());
    ASSERT_FALSE(fs.make_dir("d", "root").is_error());
    EXPECT_EQ(fs.stat("b").value().address.stored(), next);
    auto twin_content = fs.read_file("twin");
    ASSERT_EQ(error_of(twin_content), "");
    EXPECT_TRUE(same(twin_content.value(), shared));
    EXPECT_EQ(fs.space_usage().value().used_bytes, static_cast<u64>(v.next_free()) * 512);
}
