#include "fs/Checksum.h"
#include "fs/FsCheck.h"
#include "fs/Lookup.h"
#include "fs/Stream.h"
#include "fs/TimeStamp.h"
#include "tests/unit/StorageTestSupport.h"

#include <chrono>
#include <map>

namespace {

std::vector<std::string> names(Vector<DirectoryRecord> const& entries)
{
    std::vector<std::string> out;
    for (auto const& e : entries)
        out.push_back(ascii(e.name));
    return out;
}

// Record count of the node at partition block `n`.
i32 record_count(Volume& v, u64 n) { return static_cast<i32>(v.block(n)[0] | v.block(n)[1] << 8); }

}

TEST(ContentChecksum, MatchesTheKnownValues)
{
    EXPECT_EQ(content_checksum(ByteBuffer {}), 0);
    EXPECT_EQ(content_checksum(bytes_of("abc")), 951);
    // (23 + (1|0xFF) + (2|0xFF)) * 2 wraps nowhere; a long run of 0xFF wraps.
    EXPECT_EQ(content_checksum(ByteBuffer { 0xFF, 0xFF }), (23 + 255 + 255) * 2);
    ByteBuffer big;
    big.resize(100000);
    for (auto& b : big)
        b = 0xFF;
    u32 h = 23;
    for (u32 i = 1; i <= 100000; ++i)
        h += i | 0xFF;
    EXPECT_EQ(content_checksum(big), static_cast<i32>(h * 100000u));

    // Mixed bytes against the definition, whole and in uneven pieces: the
    // positions must carry over from piece to piece.
    std::vector<u8> mixed(70001);
    u32 state = 1;
    for (auto& b : mixed)
        b = static_cast<u8>((state = state * 1103515245u + 12345u) >> 16);
    h = 23;
    for (u32 i = 1; i <= mixed.size(); ++i)
        h += i | mixed[i - 1];
    i32 expected = static_cast<i32>(h * static_cast<u32>(mixed.size()));
    ContentChecksum whole;
    whole.add(mixed);
    EXPECT_EQ(whole.result(), expected);
    ContentChecksum pieces;
    size_t at = 0;
    for (size_t size : { 1, 3, 2, 7, 1024, 509, 4096 }) {
        pieces.add(std::span<u8 const>(mixed.data() + at, size));
        at += size;
    }
    pieces.add(std::span<u8 const>(mixed.data() + at, mixed.size() - at));
    EXPECT_EQ(pieces.result(), expected);
}

TEST(TimeStamp, UsesTheClocksDayNamesMidnightAsTwelveAndPaddedMinutes)
{
    EXPECT_EQ(ascii(TimeStamp::date_time_string({ 2, 3, 7, 26, 9, 5 })), "Mon 3/7/26 9:05");
    EXPECT_EQ(ascii(TimeStamp::time_string({ 1, 1, 1, 0, 0, 5 })), "12:05");
    EXPECT_EQ(ascii(TimeStamp::time_string({ 1, 1, 1, 0, 13, 45 })), "13:45");
    std::vector<std::string> days;
    for (u8 d = 0; d <= 8; ++d)
        days.push_back(ascii(TimeStamp::day_name(d)));
    EXPECT_EQ(days, (std::vector<std::string> { "", "Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "" }));
    EXPECT_EQ(ascii(TimeStamp::date_time_string({ 7, 12, 31, 5, 23, 59 })), "Sat 12/31/05 23:59");
}

TEST(TimeStamp, ReadsBackAsSecondsSince1970ToTheMinute)
{
    using namespace std::chrono;
    auto seconds_at = [](int y, unsigned m, unsigned d, int h, int min) {
        return static_cast<u32>((sys_days(year(y) / m / d) + hours(h) + minutes(min)).time_since_epoch() / 1s);
    };
    auto read_back
        = [](ClockReading clock) { return TimeStamp::seconds_since_1970(TimeStamp::date_time_string(clock)); };
    EXPECT_EQ(read_back({ 2, 3, 7, 26, 9, 5 }), seconds_at(2026, 3, 7, 9, 5));
    EXPECT_EQ(read_back({ 7, 12, 31, 5, 23, 59 }), seconds_at(2005, 12, 31, 23, 59));
    EXPECT_EQ(read_back({ 3, 2, 29, 0, 13, 0 }), seconds_at(2000, 2, 29, 13, 0));
    EXPECT_EQ(read_back({ 5, 3, 1, 99, 0, 30 }), seconds_at(2099, 3, 1, 12, 30)); // "12:30": taken as noon
    for (auto const* text : { "", "Mon", "Mon 3/7/26", "Mon 3/7/26 9:5x", "Mon 13/7/26 9:05", "Mon 3/0/26 9:05",
             "Mon 3/7/26 24:00", "Mon 3/7/126 9:05", "Mon 3-7-26 9:05" })
        EXPECT_FALSE(TimeStamp::seconds_since_1970(text).has_value()) << text;
}

TEST(DiskFilesystem, FormatWritesSuperblockAndEmptyRootAndProbeRecognisesIt)
{
    MemoryDisk disk(2048 + 200);
    for (auto& b : disk.bytes)
        b = 0xEE;
    Partition p(disk, 2048, 200);
    EXPECT_FALSE(DiskFilesystem::is_formatted(p).value());
    User root = User::root();
    DiskFilesystem fs(p, root);
    EXPECT_EQ(ascii(fs.label()), "");
    ASSERT_FALSE(fs.format("TESSARY").is_error());
    EXPECT_TRUE(DiskFilesystem::is_formatted(p).value());
    u8 const* super = disk.block(2049);
    std::vector<u8> expected { 6, 'K', 'F', 'S', ' ', 'S', 'C', 7, 'T', 'E', 'S', 'S', 'A', 'R', 'Y', 4, 0, 0, 0, 0 };
    EXPECT_EQ(std::vector<u8>(super, super + 20), expected);
    EXPECT_EQ(disk.block(2048 + 99)[511], 0);   // blocks 0-99 zeroed
    EXPECT_EQ(disk.block(2048 + 100)[0], 0xEE); // nothing beyond
    EXPECT_EQ(disk.block(2047)[511], 0xEE);     // nothing before the partition
    EXPECT_EQ(fs.next_free_block().value().value(), 4);
    EXPECT_TRUE(fs.list("/").value().is_empty());
    EXPECT_EQ(ascii(DiskFilesystem(p, root).label()), "TESSARY");
}

TEST(DiskFilesystem, FormatRefusesSmallPartitionsAndLongLabelsWithoutWriting)
{
    MemoryDisk disk(2048 + 99);
    Partition p(disk, 2048, 99);
    User root = User::root();
    DiskFilesystem fs(p, root);
    EXPECT_FALSE(error_of(fs.format("TESSARY")).empty());
    Volume v;
    EXPECT_FALSE(error_of(v.fs.format(String::repeated(u'L', 256))).empty());
    EXPECT_EQ(disk.writes, 0);
    EXPECT_TRUE(DiskFilesystem::is_formatted(v.partition).value());
}

TEST(DiskFilesystem, LaysOutDirectoriesAndFilesFromTheAllocationPointer)
{
    Volume v;
    ASSERT_FALSE(v.fs.make_dir("a", "root").is_error());
    EXPECT_EQ(v.next_free(), 6);
    auto root = v.fs.list("").value();
    ASSERT_EQ(root.size(), 1u);
    EXPECT_EQ(root[0].type, DirectoryRecord::Directory);
    EXPECT_EQ(root[0].size, 2);
    EXPECT_EQ(root[0].address.value(), 4u);
    EXPECT_EQ(root[0].owner_permissions, 6);
    EXPECT_EQ(root[0].group_permissions, 4);
    EXPECT_EQ(ascii(root[0].owner), "root");

    // A 10-byte file: one block, the length prefix then the bytes.
    ASSERT_FALSE(v.fs.save_file(bytes_of("0123456789"), "/a/ten", "root").is_error());
    auto ten = v.fs.stat("a/ten").value();
    EXPECT_EQ(ten.address.value(), 6u);
    EXPECT_EQ(ten.size, 14);
    EXPECT_EQ(ten.checksum, content_checksum(bytes_of("0123456789")));
    EXPECT_EQ(v.next_free(), 7);
    EXPECT_EQ(v.block(6)[0], 10);
    EXPECT_EQ(v.block(6)[4], '0');

    // 600 bytes: 604 stored bytes in two blocks.
    ByteBuffer big;
    big.resize(600);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<u8>(i);
    ASSERT_FALSE(v.fs.save_file(big, "big", "root").is_error());
    EXPECT_EQ(v.next_free(), 9);
    ByteBuffer back = v.fs.read_file("/big").value();
    EXPECT_TRUE(back.size() == 600 && std::equal(back.begin(), back.end(), big.begin()));
    EXPECT_EQ(text_of(v.fs.read_file("a/ten/").value()), "0123456789");
    EXPECT_EQ(names(v.fs.list("/").value()), (std::vector<std::string> { "a", "big" }));
}

TEST(DiskFilesystem, SpaceUsageFollowsTheAllocationPointer)
{
    Volume v(1000);
    auto before = v.fs.space_usage().value();
    EXPECT_EQ(before.size_bytes, 1000u * 512);
    EXPECT_EQ(before.used_bytes, static_cast<u64>(v.next_free()) * 512);

    // 1020 bytes and the length prefix fill exactly two blocks; one more byte takes a third.
    ByteBuffer data;
    data.resize(1021);
    ASSERT_FALSE(v.fs.save_file(data, "file", "root").is_error());
    auto after = v.fs.space_usage().value();
    EXPECT_EQ(after.used_bytes - before.used_bytes, 3u * 512);
    EXPECT_EQ(after.size_bytes, before.size_bytes);
    EXPECT_EQ(after.used_bytes + after.free_bytes, after.size_bytes);
}

TEST(DiskFilesystem, ReadsFilesWrittenWithTheOldOneBlockPerByteRule)
{
    Volume v;
    ASSERT_FALSE(v.fs.save_file(bytes_of("old"), "old", "root").is_error());
    // The old rule moved the pointer by n + 4 blocks; the data is laid out
    // the same way, so only the pointer differs.
    u8* super = v.block(1);
    super[15] = static_cast<u8>(4 + 7);
    ASSERT_FALSE(v.fs.save_file(bytes_of("new"), "new", "root").is_error());
    EXPECT_EQ(v.fs.stat("new").value().address.value(), 11u);
    EXPECT_EQ(text_of(v.fs.read_file("old").value()), "old");
    EXPECT_EQ(text_of(v.fs.read_file("new").value()), "new");
}

TEST(DiskFilesystem, ResavingMovesTheRecordToTheEndAndFreesTheOldBlocks)
{
    Volume v;
    ASSERT_FALSE(v.fs.save_file(bytes_of("first"), "f", "alice").is_error());
    ASSERT_FALSE(v.fs.make_dir("d", "root").is_error());
    ASSERT_FALSE(v.fs.save_file(bytes_of("second"), "f", "bob").is_error());
    auto root = v.fs.list("").value();
    EXPECT_EQ(names(root), (std::vector<std::string> { "d", "f" }));
    EXPECT_EQ(root[1].address.value(), 7u);
    EXPECT_EQ(ascii(root[1].owner), "alice"); // the first owner stays
    EXPECT_EQ(v.next_free(), 8);
    EXPECT_EQ(text_of(v.fs.read_file("f").value()), "second");
    // The first content's block is the first free one.
    ASSERT_FALSE(v.fs.save_file(bytes_of("third"), "g", "root").is_error());
    EXPECT_EQ(v.fs.stat("g").value().address.value(), 4u);
    EXPECT_EQ(v.next_free(), 8);
}

TEST(DiskFilesystem, ResolvesPathsAndReportsWhatIsMissing)
{
    Volume v;
    ASSERT_FALSE(v.fs.make_dir("a", "root").is_error());
    ASSERT_FALSE(v.fs.make_dir("a/b", "root").is_error());
    ASSERT_FALSE(v.fs.save_file(bytes_of("x"), "a/b/file", "root").is_error());
    BlockStore store(v.partition);
    BlockAllocator allocator(store);
    NodeStore nodes(store, allocator);
    auto directory = [&](char const* path, size_t count) -> ErrorOr<u32> {
        auto chain = TRY(TRY(Lookup::resolve(nodes, Path(path))).directory(count));
        return chain.last().node.value();
    };
    EXPECT_EQ(directory("", 0).value(), 2u);
    EXPECT_EQ(directory("/", 0).value(), 2u);
    EXPECT_EQ(directory("/a/b/", 2).value(), 6u);
    EXPECT_EQ(directory("/a/b/", 1).value(), 4u);
    EXPECT_EQ(error_of(directory("a/missing", 2)), "File not found :(");
    EXPECT_EQ(error_of(v.fs.stat("a/missing")), "File not found!!!");
    EXPECT_EQ(error_of(v.fs.stat("nope/x")), "File not found :(");
    // A file where a directory should be is named as such, however deep.
    EXPECT_EQ(error_of(directory("a/b/file/deeper", 4)), "Not a directory");
    EXPECT_EQ(error_of(v.fs.stat("a/b/file/deeper/x")), "Not a directory");
    EXPECT_EQ(error_of(v.fs.list("a/b/file")), "Not a directory");
    EXPECT_EQ(names(v.fs.list("/a/b").value()), (std::vector<std::string> { "file" }));
}

TEST(DiskFilesystem, MakeDirRefusesExistingNamesAndMissingParentsWithoutWriting)
{
    Volume v;
    ASSERT_FALSE(v.fs.make_dir("a", "root").is_error());
    ASSERT_FALSE(v.fs.save_file(bytes_of("x"), "f", "root").is_error());
    int writes = v.disk.writes;
    EXPECT_EQ(error_of(v.fs.make_dir("a", "root")), "File already exists");
    EXPECT_EQ(error_of(v.fs.make_dir("/f/", "root")), "File already exists");
    EXPECT_EQ(error_of(v.fs.make_dir("x/y", "root")), "File not found :(");
    EXPECT_EQ(error_of(v.fs.make_dir("/", "root")), "Invalid file name");
    EXPECT_EQ(v.disk.writes, writes);
    EXPECT_EQ(v.fs.list("").value().size(), 2u);
}

TEST(DiskFilesystem, DeleteRemovesEveryRecordOfTheNameAndLeavesThePointer)
{
    Volume v;
    ASSERT_FALSE(v.fs.make_dir("d", "root").is_error());
    ASSERT_FALSE(v.fs.make_dir("d/inner", "root").is_error());
    ASSERT_FALSE(v.fs.save_file(bytes_of("k"), "keep", "root").is_error());
    // Plant a second record named "d" the way old disks could have one.
    auto records = v.node(2);
    records.append(records[0]);
    v.write_node(2, records);
    ASSERT_EQ(record_count(v, 2), 3);

    i32 next = v.next_free();
    ASSERT_FALSE(v.fs.remove("/d").is_error());
    EXPECT_EQ(record_count(v, 2), 1);
    EXPECT_EQ(names(v.fs.list("").value()), (std::vector<std::string> { "keep" }));
    EXPECT_EQ(v.next_free(), next);
    int writes = v.disk.writes;
    EXPECT_EQ(error_of(v.fs.remove("d")), "File not found!!!");
    EXPECT_EQ(v.disk.writes, writes);
}

TEST(DiskFilesystem, RefusesWhatDoesNotFitAndLeavesTheVolumeUnchanged)
{
    Volume v(120);
    ByteBuffer huge;
    huge.resize(200 * 512);
    EXPECT_EQ(error_of(v.fs.save_file(huge, "huge", "root")), "Not enough space on the disk");
    EXPECT_EQ(v.next_free(), 4);
    EXPECT_TRUE(v.fs.list("").value().is_empty());

    EXPECT_FALSE(error_of(v.fs.save_file(bytes_of("x"), String::repeated(u'n', 256), "root")).empty());
    EXPECT_FALSE(error_of(v.fs.make_dir("ok", String::repeated(u'o', 256))).empty());

    // A directory grows past its node, so what runs out is the disk: the
    // last directory that does not fit leaves nothing behind.
    int made = 0;
    ErrorOr<void> result;
    while (!(result = v.fs.make_dir(String::repeated(u'a', 150) + String::number(made), "root")).is_error())
        ++made;
    EXPECT_GT(made, 20);
    EXPECT_EQ(error_of(result), "Not enough space on the disk");
    EXPECT_EQ(v.fs.list("").value().size(), static_cast<size_t>(made));
    EXPECT_TRUE(FsCheck::run(v.fs).value().is_empty());
}

TEST(DiskFilesystem, FailedResaveLeavesTheOldFileIntact)
{
    Volume v;
    ASSERT_FALSE(v.fs.save_file(bytes_of("precious"), "doc", "root").is_error());
    v.disk.writes_left = 0;
    EXPECT_EQ(error_of(v.fs.save_file(bytes_of("replacement"), "doc", "root")), "ATA Error");
    v.disk.writes_left = -1;
    EXPECT_EQ(text_of(v.fs.read_file("doc").value()), "precious");

    // Content written, but the node write fails: still the old file.
    v.disk.writes_left = 2;
    EXPECT_EQ(error_of(v.fs.save_file(bytes_of("replacement"), "doc", "root")), "ATA Error");
    v.disk.writes_left = -1;
    EXPECT_EQ(text_of(v.fs.read_file("doc").value()), "precious");
}

TEST(DiskFilesystem, ReadsAndWritesAnyRangeOfAFileReadingOnlyItsBlocks)
{
    Volume v(4096);
    std::string data;
    for (size_t i = 0; i < 300001; ++i)
        data += static_cast<char>('a' + i * 7 % 26);
    ASSERT_EQ(error_of(v.fs.save_file(bytes_of("before"), "first", "root")), "");
    ASSERT_EQ(error_of(v.fs.save_file(bytes_of(data), "big", "root")), "");
    ASSERT_EQ(error_of(v.fs.save_file(bytes_of("after"), "last", "root")), "");

    // The root node, the block with the length, and the two blocks the
    // bytes straddle.
    int reads = v.disk.reads;
    EXPECT_EQ(text_of(v.fs.read("big", 150000, 600).value()), data.substr(150000, 600));
    EXPECT_EQ(v.disk.reads - reads, 3);
    EXPECT_EQ(text_of(v.fs.read("/big", 0, 10).value()), data.substr(0, 10));
    EXPECT_EQ(text_of(v.fs.read("big", 299990, 100).value()), data.substr(299990));
    EXPECT_TRUE(v.fs.read("big", 300001, 10).value().is_empty());
    EXPECT_TRUE(v.fs.read("big", 1ull << 40, 10).value().is_empty());
    EXPECT_EQ(error_of(v.fs.read("", 0, 1)), "File not found!!!");

    // A range written over, the end appended to, a gap left as zeros: each
    // a whole new file whose record stays where it stood.
    u64 used = v.fs.space_usage().value().used_bytes;
    ASSERT_EQ(error_of(v.fs.write("big", 1000, bytes_of("XYZ"))), "");
    data.replace(1000, 3, "XYZ");
    EXPECT_EQ(text_of(v.fs.read_file("big").value()), data);
    EXPECT_EQ(v.fs.space_usage().value().used_bytes, used);
    ASSERT_EQ(error_of(v.fs.append("big", bytes_of("+tail"))), "");
    data += "+tail";
    ASSERT_EQ(error_of(v.fs.write("big", data.size() + 3, bytes_of("!"))), "");
    data += std::string(3, '\0') + "!";
    EXPECT_EQ(text_of(v.fs.read_file("big").value()), data);
    EXPECT_EQ(names(v.fs.list("").value()), (std::vector<std::string> { "first", "big", "last" }));
    ASSERT_EQ(error_of(v.fs.write("first", 0, bytes_of("B"))), "");
    EXPECT_EQ(text_of(v.fs.read_file("first").value()), "Before");

    EXPECT_EQ(error_of(v.fs.write("missing", 0, bytes_of("x"))), "File not found!!!");
    ASSERT_EQ(error_of(v.fs.make_dir("d", "root")), "");
    EXPECT_EQ(error_of(v.fs.write("d", 0, bytes_of("x"))), "Is a directory");
    EXPECT_EQ(error_of(v.fs.read("d", 0, 1)), "Is a directory");
    EXPECT_EQ(error_of(v.fs.write("big", 0x7FFFFFFF, bytes_of("x"))), "File too large");
    EXPECT_TRUE(FsCheck::run(v.fs).value().is_empty());
}

TEST(DiskFilesystem, ChecksumMismatchIsRetriedThreeTimesThenReported)
{
    Volume v;
    ASSERT_FALSE(v.fs.save_file(bytes_of("abc"), "f", "root").is_error());
    v.block(4)[5] = 'X';
    int reads = v.disk.reads;
    auto result = v.fs.read_file("f");
    EXPECT_NE(error_of(result).find("Checksum"), std::string::npos);
    // Four attempts, each reading the root node and the content.
    EXPECT_EQ(v.disk.reads - reads, 4 * 2);
}

TEST(DiskFilesystem, CorruptStructuresGiveErrorsNotWildReads)
{
    Volume v;
    ASSERT_FALSE(v.fs.make_dir("d", "root").is_error());
    ASSERT_FALSE(v.fs.save_file(bytes_of("abc"), "f", "root").is_error());
    u8 saved[1024];
    std::copy(v.block(2), v.block(2) + 1024, saved);
    auto restore = [&] { std::copy(saved, saved + 1024, v.block(2)); };

    v.block(2)[0] = 0xFF; // a huge record count
    v.block(2)[3] = 0x7F;
    EXPECT_EQ(error_of(v.fs.list("")), "Corrupt directory node");
    restore();

    v.block(2)[0] = 50; // more records than the node holds
    EXPECT_EQ(error_of(v.fs.list("")), "Corrupt directory node");
    restore();

    // A directory whose node lies past the end of the partition.
    v.block(2)[4 + 2] = 0xFF;
    v.block(2)[4 + 3] = 0xFF;
    v.block(2)[4 + 4] = 0xFF;
    EXPECT_FALSE(error_of(v.fs.list("d")).empty());
    restore();

    // A file whose size promises far more than the partition holds.
    auto records = v.node(2);
    records[1].size = 0x7FFFFFF0;
    v.write_node(2, records);
    EXPECT_FALSE(error_of(v.fs.read_file("f")).empty());
    restore();

    // A content length larger than the blocks the record covers.
    v.block(6)[3] = 0x10;
    EXPECT_FALSE(error_of(v.fs.read_file("f")).empty());
    v.block(6)[3] = 0;
    v.block(1)[15] = 0xFF; // the allocation pointer past the partition
    v.block(1)[16] = 0xFF;
    EXPECT_EQ(error_of(v.fs.next_free_block()), "Corrupt superblock");
    EXPECT_EQ(error_of(v.fs.save_file(bytes_of("x"), "g", "root")), "Corrupt superblock");
}

TEST(DiskFilesystem, LargeFilesGoOutInPiecesAndComeBackWhole)
{
    Volume v;
    ByteBuffer data;
    data.resize(300001);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<u8>(i * 7 ^ i >> 9);
    ASSERT_FALSE(v.fs.save_file(data, "big", "root").is_error());
    ByteBuffer back = v.fs.read_file("big").value();
    EXPECT_TRUE(back.size() == data.size() && std::equal(back.begin(), back.end(), data.begin()));
    // The stored stream: the length, the bytes, zeros to the end of the
    // last of ceil(300005 / 512) = 586 blocks.
    EXPECT_EQ(v.next_free(), 4 + 586);
    EXPECT_EQ(v.block(4)[0] | v.block(4)[1] << 8 | v.block(4)[2] << 16, 300001);
    EXPECT_EQ(v.block(4 + 585)[300005 % 512 - 1], data[300000]);
    EXPECT_TRUE(std::all_of(v.block(4 + 585) + 300005 % 512, v.block(4 + 586), [](u8 b) { return b == 0; }));

    // Sizes at the edges of the first block, of a whole last block and of
    // the 2048-block requests, saved and patched: the first block and a
    // partial last one are made apart from the blocks between.
    Volume wide(12000);
    struct Case {
        u32 size;
        int content_requests;
    };
    for (Case c : { Case { 0, 1 }, Case { 507, 1 }, Case { 508, 1 }, Case { 509, 1 }, Case { 1020, 1 },
             Case { 2048 * 512 - 4, 1 }, Case { 2048 * 512 - 3, 1 }, Case { 2049 * 512 - 4, 1 },
             Case { 2049 * 512 - 3, 2 }, Case { 4097 * 512 - 3, 3 } }) {
        SCOPED_TRACE(c.size);
        data.resize(c.size);
        for (size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<u8>(i * 13 + c.size);
        ASSERT_EQ(error_of(wide.fs.remove("f")), c.size == 0 ? "File not found!!!" : "");
        int writes = wide.disk.writes;
        auto pointer = wide.next_free();
        ASSERT_EQ(error_of(wide.fs.save_file(data, "f", "root")), "");
        // The content requests, the superblock when the allocation pointer
        // moves, and the one block of the root that changes.
        EXPECT_EQ(wide.disk.writes - writes, c.content_requests + (wide.next_free() != pointer) + 1);
        back = wide.fs.read_file("f").value();
        EXPECT_TRUE(back.size() == data.size() && std::equal(back.begin(), back.end(), data.begin()));
        DirectoryRecord record = wide.fs.stat("f").value();
        u8 const* last = wide.block(record.address.value() + DiskFormat::blocks_for_file(c.size) - 1);
        EXPECT_TRUE(
            std::all_of(last + (c.size + 4) % 512, last + ((c.size + 4) % 512 ? 512 : 0), [](u8 b) { return b == 0; }));
        // Bytes over the first block's end and the last block's start.
        ASSERT_EQ(error_of(wide.fs.write("f", 500, bytes_of("0123456789"))), "");
        ASSERT_EQ(error_of(wide.fs.write("f", c.size - c.size % 512, bytes_of("end"))), "");
        ByteBuffer patched = data;
        patched.resize(std::max<size_t>(patched.size(), 510));
        std::copy_n("0123456789", 10, patched.begin() + 500);
        patched.resize(std::max<size_t>(patched.size(), c.size - c.size % 512 + 3));
        std::copy_n("end", 3, patched.begin() + (c.size - c.size % 512));
        back = wide.fs.read_file("f").value();
        EXPECT_TRUE(back.size() == patched.size() && std::equal(back.begin(), back.end(), patched.begin()));
    }
    EXPECT_TRUE(FsCheck::run(wide.fs).value().is_empty());
}

TEST(DiskFilesystem, AFileTooBigForMemoryIsAnErrorNotAStop)
{
    Volume v;
    ByteBuffer data;
    data.resize(100 * 1024);
    ASSERT_FALSE(v.fs.save_file(data, "big", "root").is_error());
    Sim::set_fallible_allocation_limit(64 * 1024);
    EXPECT_EQ(error_of(v.fs.read_file("big")), "Not enough memory: 102912 bytes needed");
    Sim::reset();
}

TEST(DiskFilesystem, NamesMustBeStoredExactlySoNoEntryIsEverDuplicatedOrLost)
{
    Volume v;
    // The line editor's arrow mark would be stored as its low byte and never
    // be found again under the name it was made with.
    String arrow = "x";
    arrow.append(u'\u2190');
    int writes = v.disk.writes;
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(error_of(v.fs.make_dir(arrow, "root")), "Invalid character in file name");
    for (char16_t bad : { u'\x01', u'\x7F', u'\x9F' })
        EXPECT_EQ(error_of(v.fs.save_file(bytes_of("x"), String::repeated(bad, 1), "root")),
            "Invalid character in file name");
    EXPECT_EQ(v.disk.writes, writes);
    EXPECT_TRUE(v.fs.list("").value().is_empty());

    // Latin-1 letters are one byte each and round-trip.
    String cafe = "caf";
    cafe.append(u'\u00E9');
    ASSERT_FALSE(v.fs.make_dir(cafe, "root").is_error());
    EXPECT_EQ(error_of(v.fs.make_dir(cafe, "root")), "File already exists");
    EXPECT_TRUE(v.fs.list(cafe).value().is_empty());
}

TEST(DiskFilesystem, SavingAFileOverADirectoryIsRefusedAndKeepsTheTree)
{
    Volume v;
    ASSERT_FALSE(v.fs.make_dir("d", "root").is_error());
    ASSERT_FALSE(v.fs.make_dir("d/inner", "root").is_error());
    int writes = v.disk.writes;
    EXPECT_EQ(error_of(v.fs.save_file(bytes_of("x"), "/d", "root")), "d is a directory");
    EXPECT_EQ(v.disk.writes, writes);
    EXPECT_EQ(names(v.fs.list("d").value()), (std::vector<std::string> { "inner" }));
}

TEST(DiskFilesystem, MoveCarriesTheRecordAcrossDirectoriesAndLeavesTheBlocksWhereTheyAre)
{
    Volume v;
    for (char const* dir : { "a", "a/b", "c" })
        ASSERT_FALSE(v.fs.make_dir(dir, "root").is_error());
    ASSERT_FALSE(v.fs.save_file(bytes_of("moved"), "a/b/f", "alice").is_error());
    // Long names fill a/b's node into its second block, so dropping its first
    // record shifts the others across the boundary and the node is rewritten
    // in fresh blocks.
    std::vector<String> others;
    for (char16_t c : { u'p', u'q', u'r', u's' }) {
        others.push_back("a/b/" + String::repeated(c, 150));
        ASSERT_FALSE(v.fs.save_file(bytes_of("other"), others.back(), "root").is_error());
    }
    u64 old_node = v.node_of("a/b");
    DirectoryRecord before = v.fs.stat("a/b/f").value();

    ASSERT_FALSE(v.fs.move("/a/b/f", "c/g").is_error());
    EXPECT_EQ(error_of(v.fs.stat("a/b/f")), "File not found!!!");
    DirectoryRecord after = v.fs.stat("c/g").value();
    EXPECT_EQ(ascii(after.name), "g");
    EXPECT_EQ(after.address, before.address);
    EXPECT_EQ(after.size, before.size);
    EXPECT_EQ(ascii(after.owner), "alice");
    EXPECT_EQ(after.date_time, before.date_time);
    EXPECT_EQ(text_of(v.fs.read_file("c/g").value()), "moved");
    EXPECT_NE(v.node_of("a/b"), old_node);

    // A directory moves by its record: its node and everything under it stay.
    u64 node = v.node_of("a/b");
    i32 next = v.next_free();
    ASSERT_FALSE(v.fs.move("a/b", "b2").is_error());
    EXPECT_EQ(v.node_of("b2"), node);
    EXPECT_EQ(error_of(v.fs.stat("a/b")), "File not found!!!");
    for (auto const& other : others)
        EXPECT_EQ(text_of(v.fs.read_file("b2/" + Path(other).leaf()).value()), "other");
    ASSERT_FALSE(v.fs.move("c/g", "c/renamed").is_error());
    EXPECT_EQ(names(v.fs.list("c").value()), (std::vector<std::string> { "renamed" }));
    EXPECT_EQ(v.next_free(), next);
    EXPECT_TRUE(FsCheck::run(v.fs).value().is_empty());
}

TEST(DiskFilesystem, MoveRefusesADirectoryIntoItselfAndAnExistingTargetWithoutWriting)
{
    Volume v;
    ASSERT_FALSE(v.fs.make_dir("a", "root").is_error());
    ASSERT_FALSE(v.fs.make_dir("a/b", "root").is_error());
    ASSERT_FALSE(v.fs.save_file(bytes_of("top"), "f", "root").is_error());
    ASSERT_FALSE(v.fs.save_file(bytes_of("inner"), "a/f", "root").is_error());
    int writes = v.disk.writes;
    EXPECT_EQ(error_of(v.fs.move("a", "a/b/a")), "Cannot move a directory into itself");
    EXPECT_EQ(error_of(v.fs.move("/a/", "a")), "Cannot move a directory into itself");
    EXPECT_EQ(error_of(v.fs.move("f", "a/f")), "Target exists");
    EXPECT_EQ(error_of(v.fs.move("a/f", "a/b")), "Target exists");
    EXPECT_EQ(error_of(v.fs.move("f", "none/f")), "File not found :(");
    EXPECT_EQ(error_of(v.fs.move("missing", "g")), "File not found!!!");
    EXPECT_EQ(error_of(v.fs.move("/", "g")), "Cannot move the root directory");
    EXPECT_EQ(v.disk.writes, writes);
    EXPECT_EQ(names(v.fs.list("").value()), (std::vector<std::string> { "a", "f" }));
    EXPECT_EQ(names(v.fs.list("a").value()), (std::vector<std::string> { "b", "f" }));

    // Paths are compared by whole names: "a" may become "ab".
    ASSERT_FALSE(v.fs.move("a", "ab").is_error());
    EXPECT_EQ(text_of(v.fs.read_file("ab/f").value()), "inner");
}

namespace {

// A disk far bigger than the host's memory: only written blocks are kept.
class SparseDisk : public BlockDevice {
public:
    explicit SparseDisk(u64 blocks)
        : m_blocks(blocks)
    {
    }
    ErrorOr<void> read_block(u64 first, u32 count, ByteBuffer& buffer) override
    {
        TRY(check_request(first, count, buffer.size()));
        for (u32 i = 0; i < count; ++i) {
            auto block = m_data.find(first + i);
            for (u32 j = 0; j < BlockSize; ++j)
                buffer[i * BlockSize + j] = block == m_data.end() ? 0 : block->second[j];
        }
        return {};
    }
    ErrorOr<void> write_blocks(u64 first, std::span<BlockPiece const> pieces) override
    {
        TRY(check_request(first, pieces));
        for (auto const& piece : pieces) {
            for (size_t at = 0; at < piece.size(); at += BlockSize)
                m_data[first++].assign(piece.begin() + at, piece.begin() + at + BlockSize);
        }
        return {};
    }
    u64 block_count() const override { return m_blocks; }

private:
    u64 m_blocks;
    std::map<u64, std::vector<u8>> m_data;
};

}

TEST(DiskFilesystem, AVolumeBeyondTheLargestBlockNumberIsFullThereNotCorrupt)
{
    // 3 TiB: more blocks than the format's signed 32-bit block numbers name.
    SparseDisk disk(6ull << 30);
    Partition partition(disk, 2048, (6ull << 30) - 2048);
    User root = User::root();
    DiskFilesystem fs(partition, root);
    ASSERT_FALSE(fs.format("BIG").is_error());
    // The mount's walk is made before the pointer moves, so the blocks it
    // passes over are not known to be free and only the pointer serves.
    ASSERT_FALSE(fs.space_usage().is_error());
    // Move the allocation pointer (after the 7-byte signature and the 4-byte
    // label) to two blocks below the largest block number.
    ByteBuffer super;
    super.resize(512);
    ASSERT_FALSE(partition.read_block(1, 1, super).is_error());
    u32 next = 0x7FFFFFFD;
    for (int i = 0; i < 4; ++i)
        super[11 + i] = static_cast<u8>(next >> (8 * i));
    ASSERT_FALSE(partition.write_block(1, 1, super).is_error());

    ASSERT_FALSE(fs.make_dir("last", "root").is_error());
    EXPECT_EQ(error_of(fs.make_dir("beyond", "root")), "Not enough space on the disk");
    EXPECT_EQ(fs.next_free_block().value().value(), 0x7FFFFFFF);
    EXPECT_TRUE(fs.list("last").value().is_empty());
}
