#include "fs/FileHandles.h"
#include "tests/sim/CmosClock.h"
#include "tests/unit/StorageTestSupport.h"

#include <chrono>
#include <set>

namespace {

// The shell's volume as a program finds it: the home directory, the
// superuser logged in, the clock at 9:05 on Saturday 7 March 2026.
class HandlesOnAVolume : public ::testing::Test {
protected:
    explicit HandlesOnAVolume(u64 blocks)
        : m_volume(blocks)
    {
        m_clock.registers[0x06] = 7;
        m_clock.registers[0x07] = 7;
        m_clock.registers[0x08] = 3;
        m_clock.registers[0x09] = 26;
        m_storage.mount_boot_volume(make_own<DiskFilesystem>(m_volume.partition, m_storage.user()));
        m_fs = m_storage.filesystem().value();
        EXPECT_FALSE(m_fs->make_dir("/home", "root").is_error());
        EXPECT_FALSE(m_fs->make_dir("/home/root", "root").is_error());
    }
    // The clock goes with the fixture: no later test reaches it.
    ~HandlesOnAVolume() override { Sim::reset(); }

    i32 open(char const* path, u32 flags) { return m_files.open(path, flags); }
    i32 write(i32 handle, std::string const& text)
    {
        return m_files.write(handle, { reinterpret_cast<u8 const*>(text.data()), text.size() });
    }
    // The bytes read, or the failure in angle brackets.
    std::string read(i32 handle, u32 capacity)
    {
        std::span<u8 const> bytes;
        i32 result = m_files.read(handle, capacity, bytes);
        if (result < 0 || static_cast<size_t>(result) != bytes.size())
            return "<" + std::to_string(result) + ">";
        return { reinterpret_cast<char const*>(bytes.data()), bytes.size() };
    }
    i32 size_of(i32 handle)
    {
        tessary_file_info info {};
        i32 result = m_files.handle_info(handle, info);
        return result < 0 ? result : static_cast<i32>(info.size);
    }
    tessary_file_info path_info(char const* path, i32 expected_result = 0)
    {
        tessary_file_info info { 99, 99, 99 };
        EXPECT_EQ(m_files.path_info(path, info), expected_result) << path;
        return info;
    }
    // A file's content read past the handles, or the error in angle brackets.
    std::string on_disk(char const* path)
    {
        auto content = m_fs->read_file(path);
        return content.is_error() ? "<" + error_of(content) + ">" : text_of(content.value());
    }
    void save(char const* path, std::string const& text)
    {
        ASSERT_FALSE(m_fs->save_file(bytes_of(text), path, "root").is_error());
    }

    Sim::FreshMachine m_fresh;
    CmosClock m_clock { 9, 5, 0, 0 };
    Volume m_volume;
    Storage m_storage;
    Filesystem* m_fs { nullptr };
    FileHandles m_files { m_storage };
};

class Handles : public HandlesOnAVolume {
protected:
    Handles()
        : HandlesOnAVolume(20000)
    {
    }
};

class HandlesOnASmallDisk : public HandlesOnAVolume {
protected:
    HandlesOnASmallDisk()
        : HandlesOnAVolume(400)
    {
    }
};

constexpr u32 Read = TESSARY_OPEN_READ;
constexpr u32 Write = TESSARY_OPEN_WRITE;
constexpr u32 Create = TESSARY_OPEN_CREATE;

}

TEST_F(Handles, HandlesRunFromThreeAndThirtyTwoAreOpenAtOnce)
{
    save("/home/root/a", "a");
    std::set<i32> handles;
    for (int i = 0; i < TESSARY_OPEN_FILES; ++i)
        handles.insert(open("/home/root/a", Read));
    EXPECT_EQ(handles.size(), 32u);
    EXPECT_EQ(*handles.begin(), 3);
    EXPECT_EQ(*handles.rbegin(), 34);
    // No file is made for a handle there is no room for.
    EXPECT_EQ(open("/home/root/b", Write | Create), TESSARY_TOO_MANY);
    EXPECT_EQ(on_disk("/home/root/b"), "<File not found!!!>");

    EXPECT_EQ(m_files.close(7), 0);
    EXPECT_EQ(m_files.close(7), TESSARY_BAD_ARGUMENT);
    EXPECT_EQ(read(7, 1), "<-1>");
    EXPECT_EQ(write(7, "x"), TESSARY_BAD_ARGUMENT);
    EXPECT_EQ(m_files.seek(7, 0, TESSARY_SEEK_SET), TESSARY_BAD_ARGUMENT);
    EXPECT_EQ(size_of(7), TESSARY_BAD_ARGUMENT);
    for (i32 never_opened : { -1, 0, 2, 35, 1000 })
        EXPECT_EQ(m_files.close(never_opened), TESSARY_BAD_ARGUMENT) << never_opened;
    EXPECT_EQ(open("/home/root/a", Read), 7);

    m_files.close_all();
    EXPECT_EQ(open("/home/root/a", Read), 3);
    EXPECT_EQ(open("/home/root/a", Read), 4);
}

TEST_F(Handles, OpeningCreatesTruncatesOrRefuses)
{
    m_storage.log_in({ "admin", 0 });
    EXPECT_EQ(open("/home/root/new", Read | Write), TESSARY_NOT_FOUND);
    EXPECT_EQ(open("/home/nobody/new", Write | Create), TESSARY_NOT_FOUND);
    EXPECT_EQ(open("/home/root", Read), TESSARY_IS_DIRECTORY);
    EXPECT_EQ(open("/home/root", Write), TESSARY_IS_DIRECTORY);
    EXPECT_EQ(open("/", Read), TESSARY_IS_DIRECTORY);
    for (u32 flags : { 0u, Create, Read | TESSARY_OPEN_TRUNCATE, Read | 64u })
        EXPECT_EQ(open("/home/root/new", flags), TESSARY_BAD_ARGUMENT) << flags;

    i32 created = open("/home/root/new", Write | Create);
    EXPECT_GE(created, 3);
    auto record = m_fs->stat("/home/root/new");
    ASSERT_FALSE(record.is_error());
    EXPECT_EQ(record.value().content_length(), 0u);
    EXPECT_EQ(ascii(record.value().owner), "admin");
    EXPECT_EQ(open("/home/root/new", Write | Create | TESSARY_OPEN_EXCLUSIVE), TESSARY_EXISTS);
    EXPECT_EQ(read(created, 1), "<-1>");

    save("/home/root/old", "old content");
    i32 reader = open("/home/root/old", Read);
    EXPECT_EQ(write(reader, "x"), TESSARY_BAD_ARGUMENT);
    EXPECT_EQ(read(reader, 3), "old");
    i32 truncating = open("/home/root/old", Write | TESSARY_OPEN_TRUNCATE);
    EXPECT_GE(truncating, 3);
    EXPECT_EQ(on_disk("/home/root/old"), "");
    EXPECT_EQ(ascii(m_fs->stat("/home/root/old").value().owner), "root");
    EXPECT_EQ(read(reader, 10), "");
}

TEST_F(Handles, ReadsAndSeeksMoveThePosition)
{
    save("/home/root/digits", "0123456789");
    i32 h = open("/home/root/digits", Read);
    EXPECT_EQ(read(h, 4), "0123");
    EXPECT_EQ(read(h, 4), "4567");
    EXPECT_EQ(read(h, 4), "89");
    std::span<u8 const> bytes;
    EXPECT_EQ(m_files.read(h, 4, bytes), 0);

    EXPECT_EQ(m_files.seek(h, -3, TESSARY_SEEK_END), 7);
    EXPECT_EQ(read(h, 10), "789");
    EXPECT_EQ(m_files.seek(h, 2, TESSARY_SEEK_SET), 2);
    EXPECT_EQ(m_files.seek(h, 3, TESSARY_SEEK_CURRENT), 5);
    EXPECT_EQ(read(h, 1), "5");
    // A refused seek leaves the position where it was.
    EXPECT_EQ(m_files.seek(h, -7, TESSARY_SEEK_CURRENT), TESSARY_BAD_ARGUMENT);
    EXPECT_EQ(m_files.seek(h, -1, TESSARY_SEEK_SET), TESSARY_BAD_ARGUMENT);
    EXPECT_EQ(m_files.seek(h, 0, 3), TESSARY_BAD_ARGUMENT);
    EXPECT_EQ(read(h, 1), "6");
    EXPECT_EQ(m_files.seek(h, 100, TESSARY_SEEK_SET), 100);
    EXPECT_EQ(m_files.read(h, 4, bytes), 0);
}

TEST_F(Handles, ReadingOnReadsAheadButNeverServesWhatAWriteChanged)
{
    std::string content;
    for (int i = 0; content.size() < 3 * 1024 * 1024; ++i)
        content += std::to_string(i) + ",";
    save("/home/root/big", content);
    i32 h = open("/home/root/big", Read);
    int disk_reads = m_volume.disk.reads;
    std::string read_back;
    for (std::string piece; !(piece = read(h, 1024)).empty();)
        read_back += piece;
    EXPECT_EQ(read_back, content);
    // 3 MiB in 1 KiB pieces: the fetches double up to 1 MiB, so the disk
    // sees a few dozen requests, not one or more for each of 3,000 reads.
    EXPECT_LT(m_volume.disk.reads - disk_reads, 100);

    // A single read somewhere else fetches only itself; a write through
    // another handle is seen by the next read, not the bytes read before.
    disk_reads = m_volume.disk.reads;
    EXPECT_EQ(m_files.seek(h, 10, TESSARY_SEEK_SET), 10);
    EXPECT_EQ(read(h, 8), content.substr(10, 8));
    EXPECT_LE(m_volume.disk.reads - disk_reads, 4);
    i32 writer = open("/home/root/big", Write);
    EXPECT_EQ(m_files.seek(writer, 14, TESSARY_SEEK_SET), 14);
    EXPECT_EQ(write(writer, "WXYZ"), 4);
    EXPECT_EQ(m_files.seek(h, 14, TESSARY_SEEK_SET), 14);
    EXPECT_EQ(read(h, 4), "WXYZ");
    EXPECT_EQ(m_files.close(writer), 0);
}

TEST_F(Handles, WritesPastTheEndLeaveZerosAndAppendsGoToTheEnd)
{
    i32 h = open("/home/root/gap", Read | Write | Create);
    EXPECT_EQ(write(h, "ab"), 2);
    EXPECT_EQ(m_files.seek(h, 6, TESSARY_SEEK_SET), 6);
    EXPECT_EQ(write(h, "cd"), 2);
    EXPECT_EQ(size_of(h), 8);
    EXPECT_EQ(m_files.close(h), 0);
    EXPECT_EQ(on_disk("/home/root/gap"), std::string("ab\0\0\0\0cd", 8));

    i32 appending = open("/home/root/gap", Write | TESSARY_OPEN_APPEND);
    EXPECT_EQ(m_files.seek(appending, 0, TESSARY_SEEK_SET), 0);
    EXPECT_EQ(write(appending, "ef"), 2);
    EXPECT_EQ(m_files.seek(appending, 1, TESSARY_SEEK_SET), 1);
    EXPECT_EQ(write(appending, "gh"), 2);
    EXPECT_EQ(m_files.seek(appending, 0, TESSARY_SEEK_CURRENT), 12);
    // Another handle's writes move the end the next append goes to.
    EXPECT_EQ(m_files.close(appending), 0);
    i32 other = open("/home/root/gap", Write);
    EXPECT_EQ(m_files.seek(other, 14, TESSARY_SEEK_SET), 14);
    EXPECT_EQ(write(other, "ij"), 2);
    appending = open("/home/root/gap", Write | TESSARY_OPEN_APPEND);
    EXPECT_EQ(write(appending, "kl"), 2);
    m_files.close_all();
    EXPECT_EQ(on_disk("/home/root/gap"), std::string("ab\0\0\0\0cdefgh\0\0ijkl", 18));
}

TEST_F(Handles, WrittenBytesAreSeenBeforeTheyReachTheDisk)
{
    i32 h = open("/home/root/f", Read | Write | Create);
    int writes_after_open = m_volume.disk.writes;
    EXPECT_EQ(write(h, "hello"), 5);
    EXPECT_EQ(write(h, " world"), 6);
    EXPECT_EQ(m_volume.disk.writes, writes_after_open);

    EXPECT_EQ(size_of(h), 11);
    EXPECT_EQ(path_info("/home/root/f").size, 11u);
    i32 other = open("/home/root/f", Read);
    EXPECT_EQ(read(other, 100), "hello world");
    EXPECT_EQ(write(h, "!"), 1);
    EXPECT_EQ(m_files.seek(h, 0, TESSARY_SEEK_END), 12);
    EXPECT_EQ(write(h, "?"), 1);
    EXPECT_EQ(m_files.seek(h, 6, TESSARY_SEEK_SET), 6);
    EXPECT_EQ(read(h, 100), "world!?");
    EXPECT_EQ(write(h, "."), 1);
    tessary_directory_entry entry {};
    EXPECT_EQ(m_files.list("/home/root", 0, entry), 0);
    EXPECT_STREQ(entry.name, "f");
    EXPECT_EQ(entry.info.size, 14u);

    EXPECT_EQ(write(h, "lost?"), 5);
    m_files.close_all();
    EXPECT_EQ(on_disk("/home/root/f"), "hello world!?.lost?");
}

TEST_F(Handles, WritingALargeFileInSmallPiecesRewritesItAFewTimesOnly)
{
    constexpr u32 Size = 4 * 1024 * 1024;
    constexpr u32 Piece = 1024;
    std::string content(Size, '\0');
    for (u32 i = 0; i < Size; ++i)
        content[i] = static_cast<char>(i * 7 + i / 1021);
    i32 h = open("/home/root/big", Write | Create);
    u64 blocks_before = m_volume.disk.blocks_written;
    for (u32 at = 0; at < Size; at += Piece)
        ASSERT_EQ(write(h, content.substr(at, Piece)), static_cast<i32>(Piece)) << at;
    EXPECT_EQ(m_files.close(h), 0);
    // Runs that grow to the file's length write it 1 + 2 + 4 MiB in all;
    // runs of a fixed 1 MiB would write 1 + 2 + 3 + 4, a write per piece
    // thousands of times more.
    u64 blocks = m_volume.disk.blocks_written - blocks_before;
    EXPECT_GT(blocks, Size / 512);
    EXPECT_LT(blocks, 2 * Size / 512);
    EXPECT_TRUE(on_disk("/home/root/big") == content);
}

TEST_F(HandlesOnASmallDisk, AFullDiskFailsTheWriteOrCloseThatWritesTheRun)
{
    std::string piece(1024, 'x');
    i32 h = open("/home/root/f", Write | Create);
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(write(h, piece), 1024);
    EXPECT_EQ(m_files.seek(h, 0, TESSARY_SEEK_SET), 0);
    EXPECT_EQ(write(h, "y"), TESSARY_FAILED);
    EXPECT_EQ(on_disk("/home/root/f"), "");
    EXPECT_EQ(m_files.close(h), TESSARY_FAILED);
    EXPECT_EQ(m_files.close(h), TESSARY_BAD_ARGUMENT);

    h = open("/home/root/f", Write);
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(write(h, piece), 1024);
    m_files.close_all();
    EXPECT_EQ(on_disk("/home/root/f"), "");
    EXPECT_EQ(open("/home/root/f", Read), 3);
}

TEST_F(Handles, RelativePathsStartInTheWorkingDirectory)
{
    m_files.set_working_directory("/home/root");
    i32 h = open("notes", Write | Create);
    EXPECT_EQ(write(h, "n"), 1);
    EXPECT_EQ(m_files.close(h), 0);
    EXPECT_EQ(on_disk("/home/root/notes"), "n");
    EXPECT_EQ(path_info("./notes").size, 1u);
    EXPECT_EQ(path_info("../root/./notes").size, 1u);
    EXPECT_EQ(read(open("../../../home//root/notes", Read), 5), "n");
    EXPECT_EQ(path_info("..").kind, static_cast<unsigned>(TESSARY_KIND_DIRECTORY));
    EXPECT_EQ(m_files.make_directory("sub"), 0);
    EXPECT_EQ(m_files.make_directory("/home/root/sub"), TESSARY_EXISTS);
    EXPECT_EQ(m_files.rename("notes", "sub/notes"), 0);
    EXPECT_EQ(on_disk("/home/root/sub/notes"), "n");
    path_info("", TESSARY_NOT_FOUND);
}

TEST_F(Handles, InfoTellsFilesFromDirectoriesAndWhenTheyChanged)
{
    save("/home/root/f", "12345");
    using namespace std::chrono;
    auto saved = static_cast<u32>((sys_days(year(2026) / 3 / 7) + hours(9) + minutes(5)).time_since_epoch() / 1s);
    auto file = path_info("/home/root/f");
    EXPECT_EQ(file.size, 5u);
    EXPECT_EQ(file.kind, static_cast<unsigned>(TESSARY_KIND_FILE));
    EXPECT_EQ(file.modified, saved);
    tessary_file_info info {};
    EXPECT_EQ(m_files.handle_info(open("/home/root/f", Read), info), 0);
    EXPECT_EQ(info.modified, saved);
    EXPECT_EQ(path_info("/home").kind, static_cast<unsigned>(TESSARY_KIND_DIRECTORY));
    EXPECT_EQ(path_info("/").kind, static_cast<unsigned>(TESSARY_KIND_DIRECTORY));
    path_info("/home/missing", TESSARY_NOT_FOUND);
    path_info("/home/root/f/below", TESSARY_NOT_FOUND);
}

TEST_F(Handles, RemoveTakesFilesAndEmptyDirectories)
{
    ASSERT_FALSE(m_fs->make_dir("/home/root/d", "root").is_error());
    save("/home/root/d/f", "f");
    EXPECT_EQ(m_files.remove("/home/root/d"), TESSARY_NOT_EMPTY);
    EXPECT_EQ(on_disk("/home/root/d/f"), "f");
    EXPECT_EQ(m_files.remove("/home/root/d/f"), 0);
    EXPECT_EQ(m_files.remove("/home/root/d/f"), TESSARY_NOT_FOUND);
    EXPECT_EQ(m_files.remove("/home/root/d"), 0);
    EXPECT_TRUE(m_fs->stat("/home/root/d").is_error());
    EXPECT_EQ(m_files.remove("/"), TESSARY_FAILED);

    // What was written to a removed file goes with it.
    i32 h = open("/home/root/gone", Write | Create);
    EXPECT_EQ(write(h, "data"), 4);
    EXPECT_EQ(m_files.remove("/home/root/gone"), 0);
    EXPECT_EQ(m_files.close(h), 0);
    EXPECT_TRUE(m_fs->stat("/home/root/gone").is_error());
}

TEST_F(Handles, RenameMovesOrReplacesAFileAndNeverLosesTheTarget)
{
    save("/home/root/a", "alpha");
    save("/home/root/b", "beta");
    EXPECT_EQ(m_files.rename("/home/root/missing", "/home/root/b"), TESSARY_NOT_FOUND);
    EXPECT_EQ(on_disk("/home/root/b"), "beta");
    EXPECT_EQ(m_files.rename("/home/root/a", "/home/root/c"), 0);
    EXPECT_EQ(on_disk("/home/root/a"), "<File not found!!!>");
    EXPECT_EQ(m_files.rename("/home/root/c", "/home/root/b"), 0);
    EXPECT_EQ(on_disk("/home/root/b"), "alpha");
    EXPECT_EQ(on_disk("/home/root/c"), "<File not found!!!>");
    EXPECT_EQ(m_files.rename("/home/root/b", "/home/root/b"), 0);
    EXPECT_EQ(on_disk("/home/root/b"), "alpha");
    EXPECT_EQ(m_files.rename("/home/root/b", "/home"), TESSARY_IS_DIRECTORY);
    EXPECT_EQ(m_files.rename("/home/root", "/home/root/b"), TESSARY_EXISTS);

    // A handle follows its file, also when its directory moves.
    i32 h = open("/home/root/b", Write | TESSARY_OPEN_APPEND);
    EXPECT_EQ(write(h, "!"), 1);
    EXPECT_EQ(m_files.rename("/home/root", "/home/moved"), 0);
    EXPECT_EQ(write(h, "?"), 1);
    EXPECT_EQ(m_files.close(h), 0);
    EXPECT_EQ(on_disk("/home/moved/b"), "alpha!?");
}

TEST_F(Handles, ListGivesTheEntriesOneIndexAtATime)
{
    save("/home/root/one", "1");
    ASSERT_FALSE(m_fs->make_dir("/home/root/sub", "root").is_error());
    save("/home/root/three", "333");
    auto expected = m_fs->list("/home/root").value();
    ASSERT_EQ(expected.size(), 3u);
    tessary_directory_entry entry {};
    for (u32 i = 0; i < 3; ++i) {
        ASSERT_EQ(m_files.list("/home/root/", i, entry), 0);
        EXPECT_EQ(entry.name, ascii(expected[i].name));
        EXPECT_EQ(entry.info.size, expected[i].is_directory() ? 0u : expected[i].content_length().value());
        EXPECT_EQ(entry.info.kind, expected[i].is_directory() ? 1u : 0u);
    }
    EXPECT_EQ(m_files.list("/home/root", 3, entry), TESSARY_NOT_FOUND);
    EXPECT_EQ(m_files.list("/home/root/one", 0, entry), TESSARY_NOT_FOUND);
    EXPECT_EQ(m_files.list("/home/none", 0, entry), TESSARY_NOT_FOUND);

    // A change made meanwhile shows in the next listing.
    EXPECT_EQ(m_files.list("/home/root", 0, entry), 0);
    EXPECT_GE(open("/home/root/four", Write | Create), 3);
    EXPECT_EQ(m_files.list("/home/root", 3, entry), 0);
    EXPECT_STREQ(entry.name, "four");
    EXPECT_EQ(m_files.remove("/home/root/one"), 0);
    EXPECT_EQ(m_files.list("/home/root", 3, entry), TESSARY_NOT_FOUND);
}
