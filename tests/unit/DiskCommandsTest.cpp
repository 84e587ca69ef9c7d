#include "kernel/DiskCommands.h"
#include "fs/Storage.h"
#include "kernel/Bootstrap.h"
#include "kernel/Commands.h"
#include "tests/unit/ShellTestSupport.h"
#include "tests/unit/StorageTestSupport.h"

#include <malloc.h>

namespace {

constexpr u8 OnBlue = 0x9F;

// A screen row as a person sees it: cells the cursor skipped over show as
// blanks whatever byte the cleared screen left in them.
std::string shown(TestMachine& machine, int y)
{
    std::string row = machine.row(y);
    for (char& c : row)
        c = static_cast<unsigned char>(c) < 32 ? ' ' : c;
    return row.substr(0, row.find_last_not_of(' ') + 1);
}

std::string shown_screen(TestMachine& machine, int rows)
{
    std::string out;
    for (int y = 0; y < rows; ++y)
        out += shown(machine, y) + "\n";
    return out;
}

struct DiskCommands : ::testing::Test {
    void SetUp() override
    {
        for (char const* dir : { "home", "home/root", "home/root/sub", "home/root/zeta" })
            ASSERT_FALSE(volume.fs.make_dir(dir, "root").is_error());
        ASSERT_FALSE(volume.fs.save_file(bytes_of("print \"hi\""), "home/root/test.tsc", "root").is_error());
        kernel.storage().mount_boot_volume(make_own<DiskFilesystem>(volume.partition, kernel.storage().user()));
    }
    std::string run(std::string const& line) { return ascii(error_message(run_line(kernel, String(line.c_str())))); }
    static String error_message(ErrorOr<void> const& result)
    {
        return result.is_error() ? result.error().message() : String();
    }

    TestMachine machine;
    Volume volume;
    Kernel kernel { shell_commands() };
};

}

TEST_F(DiskCommands, LsListsTheCurrentDirectoryWithDirectoryMarkersAndNameColumn)
{
    EXPECT_EQ(run("ls"), "");
    EXPECT_EQ(shown_screen(machine, 6), "Directory of /home/root\n\n<DIR> sub\n<DIR> zeta\n      test.tsc\n\n");
    EXPECT_EQ(machine.row(4).substr(6, 11), "test.tsc   ");
}

TEST_F(DiskCommands, LsFiltersAndTakesOtherArgumentsAsThePath)
{
    EXPECT_EQ(run("ls -d"), "");
    EXPECT_EQ(run("ls -f"), "");
    EXPECT_EQ(run("ls /home"), "");
    EXPECT_EQ(shown_screen(machine, 11),
        "Directory of /home/root\n\n<DIR> sub\n<DIR> zeta\n"
        "Directory of /home/root\n\n      test.tsc\n"
        "Directory of /home\n\n<DIR> root\n\n");
    EXPECT_EQ(run("ls -F"), "File not found :(");
    EXPECT_EQ(run("ls /home/root/test.tsc"), "Not a directory");
}

TEST_F(DiskCommands, MkdirRmdirAndCd)
{
    EXPECT_EQ(run("mkdir /home/root/new"), "");
    EXPECT_EQ(ascii(volume.fs.stat("home/root/new").value().owner), "");
    EXPECT_EQ(run("mkdir /home/root/new"), "File already exists");
    EXPECT_EQ(run("mkdir /nowhere/new"), "File not found :(");
    EXPECT_EQ(run("rmdir /home/root/new"), "");
    EXPECT_EQ(run("rmdir /home/root/new"), "File not found!!!");
    EXPECT_EQ(run("cd /some where"), "");
    EXPECT_EQ(ascii(kernel.current_directory()), "/some where");

    machine.text_screen().clear();
    Console::set_cursor_top(0);
    Console::set_cursor_left(0);
    EXPECT_EQ(run("mkdir"), "");
    EXPECT_EQ(run("rmdir  "), "");
    EXPECT_EQ(run("cd"), "");
    EXPECT_EQ(machine.line(0), "USAGE: mkdir <directory name>");
    EXPECT_EQ(machine.line(1), "USAGE: rmdir <directory name>");
    EXPECT_EQ(machine.line(2), "USAGE: cd <directory name>");
    EXPECT_EQ(machine.attribute(0, 1), OnBlue);
}

TEST_F(DiskCommands, CatEndsLinesAtLineFeedsAndShowsControlBytesAsDots)
{
    std::string bytes = "one\r\ntwo\x01\x7F\tx\xE9\rz\n\nlast";
    ASSERT_FALSE(volume.fs.save_file(bytes_of(bytes), "home/root/mixed.txt", "root").is_error());
    EXPECT_EQ(run("cat /home/root/mixed.txt"), "");
    EXPECT_EQ(machine.line(0), "one");
    EXPECT_EQ(machine.line(1), "two...x\xE9.z");
    EXPECT_EQ(machine.line(2), "");
    EXPECT_EQ(machine.line(3), "last");
    // The last line is ended even without a line feed of its own.
    EXPECT_EQ(Console::cursor_top(), 4);
    EXPECT_EQ(Console::cursor_left(), 0);

    EXPECT_EQ(run("cat /home/root/sub"), "Is a directory");
    EXPECT_EQ(run("cat /home/root/none.txt"), "File not found!!!");
    EXPECT_EQ(Console::cursor_top(), 4);
}

TEST_F(DiskCommands, CpCopiesAFileButNeverOverAnExistingOne)
{
    ASSERT_FALSE(volume.fs.save_file(bytes_of("kept"), "home/root/kept.txt", "root").is_error());
    i32 next_free = volume.next_free();
    EXPECT_EQ(run("cp /home/root/test.tsc /home/root/kept.txt"), "Target exists");
    EXPECT_EQ(text_of(volume.fs.read_file("home/root/kept.txt").value()), "kept");
    EXPECT_EQ(run("cp /home/root/sub /home/root/copy"), "Is a directory");
    EXPECT_EQ(run("cp /home/root/none /home/root/copy"), "File not found!!!");
    EXPECT_EQ(volume.next_free(), next_free);
    EXPECT_EQ(volume.fs.list("home/root").value().size(), 4u);

    EXPECT_EQ(run("cp /home/root/test.tsc /home/root/sub/copy.tsc"), "");
    EXPECT_EQ(text_of(volume.fs.read_file("home/root/sub/copy.tsc").value()), "print \"hi\"");
    EXPECT_EQ(text_of(volume.fs.read_file("home/root/test.tsc").value()), "print \"hi\"");
    EXPECT_EQ(ascii(volume.fs.stat("home/root/sub/copy.tsc").value().owner), "root");
}

TEST_F(DiskCommands, MvMovesAFileOrDirectoryButNeverOverAnExistingOneOrIntoItself)
{
    EXPECT_EQ(run("mv"), "");
    EXPECT_EQ(run("mv /home/root/test.tsc "), "");
    EXPECT_EQ(machine.line(0), "USAGE: mv <source path> <target path>");
    EXPECT_EQ(machine.line(1), "USAGE: mv <source path> <target path>");
    EXPECT_EQ(machine.attribute(0, 1), OnBlue);
    EXPECT_EQ(run("mv /home/root/test.tsc /home/root/sub"), "Target exists");
    EXPECT_EQ(run("mv /home/root/none /home/root/x"), "File not found!!!");
    EXPECT_EQ(run("mv /home/root /home/root/sub/root"), "Cannot move a directory into itself");
    EXPECT_EQ(run("mv /home/root/test.tsc /home/nowhere/test.tsc"), "File not found :(");
    EXPECT_EQ(volume.fs.list("home/root").value().size(), 3u);

    EXPECT_EQ(run("mv /home/root/test.tsc /home/root/sub/moved.tsc"), "");
    EXPECT_EQ(text_of(volume.fs.read_file("home/root/sub/moved.tsc").value()), "print \"hi\"");
    EXPECT_EQ(run("cat /home/root/test.tsc"), "File not found!!!");
    EXPECT_EQ(run("mv /home/root/sub /home/root/zeta/sub"), "");
    EXPECT_EQ(text_of(volume.fs.read_file("home/root/zeta/sub/moved.tsc").value()), "print \"hi\"");
}

TEST_F(DiskCommands, RmDeletesAFileAndLeavesDirectoriesToRmdir)
{
    ASSERT_EQ(run("rm /home/root/sub"), "Is a directory");
    EXPECT_TRUE(volume.fs.stat("home/root/sub").value().is_directory());
    EXPECT_EQ(run("rm /home/root/test.tsc"), "");
    EXPECT_EQ(error_of(volume.fs.stat("home/root/test.tsc")), "File not found!!!");
    EXPECT_EQ(run("rm /home/root/test.tsc"), "File not found!!!");
    EXPECT_EQ(volume.fs.list("home/root").value().size(), 2u);
}

TEST_F(DiskCommands, DfShowsSizeUsedAndFreeInKiB)
{
    // The fixture's partition has 4096 blocks of 512 bytes.
    ASSERT_FALSE(volume.fs.save_file(bytes_of("x"), "home/root/one.txt", "root").is_error());
    u64 used = static_cast<u64>(volume.next_free()) * 512;
    EXPECT_EQ(run("df anything"), "");
    EXPECT_EQ(machine.line(0), "Size: 2048 KiB");
    EXPECT_EQ(machine.line(1), "Used: " + std::to_string(used / 1024) + " KiB");
    EXPECT_EQ(machine.line(2), "Free: " + std::to_string((4096 * 512 - used) / 1024) + " KiB");
    EXPECT_EQ(Console::cursor_top(), 3);
}

TEST_F(DiskCommands, FileCommandsShowTheirUsageWithoutAPath)
{
    for (char const* line : { "cat", "cp", "cp /home/root/test.tsc", "cp /home/root/test.tsc ", "rm  " })
        EXPECT_EQ(run(line), "") << line;
    EXPECT_EQ(machine.line(0), "USAGE: cat <file path>");
    EXPECT_EQ(machine.line(1), "USAGE: cp <source file> <target file>");
    EXPECT_EQ(machine.line(2), "USAGE: cp <source file> <target file>");
    EXPECT_EQ(machine.line(3), "USAGE: cp <source file> <target file>");
    EXPECT_EQ(machine.line(4), "USAGE: rm <file path>");
    for (int y = 0; y < 5; ++y)
        EXPECT_EQ(machine.attribute(0, y), OnBlue) << y;
    EXPECT_EQ(volume.fs.list("home/root").value().size(), 3u);
}

TEST_F(DiskCommands, RovazavPrintsTheTestScriptOrError)
{
    EXPECT_EQ(run("rovazav"), "");
    EXPECT_EQ(machine.line(0), "print \"hi\"");
    ASSERT_FALSE(volume.fs.remove("home/root/test.tsc").is_error());
    EXPECT_EQ(run("rovazav"), "");
    EXPECT_EQ(machine.line(1), "Error!");
}

TEST_F(DiskCommands, AFileTooBigForMemoryIsAnErrorNotTheErrorText)
{
    ByteBuffer big;
    big.resize(40000);
    ASSERT_FALSE(volume.fs.save_file(big, "home/root/big.txt", "root").is_error());
    // The bytes fit; the text, two bytes a character, does not.
    Sim::set_fallible_allocation_limit(60000);
    auto text = read_text_for_display(kernel.storage(), "/home/root/big.txt");
    ASSERT_TRUE(text.is_error());
    EXPECT_TRUE(text.error().is_out_of_memory());
    EXPECT_EQ(ascii(read_text_for_display(kernel.storage(), "/home/root/none.txt").value()), "Error!");
    Sim::reset();
}

TEST_F(DiskCommands, WithoutADiskTheCommandsReportIt)
{
    kernel.storage().unmount();
    for (char const* line : { "ls", "mkdir x", "rmdir x", "cat x", "cp x y", "mv x y", "rm x", "df" })
        EXPECT_EQ(run(line), "No disk file system") << line;
}

namespace {

// The block devices the start-up probe would have found.
struct BootDisks : ::testing::Test {
    void TearDown() override
    {
        Sim::reset(); // the clock goes away with this test
    }
    void add(std::initializer_list<BlockDevice*> devices)
    {
        for (auto* device : devices)
            storage.add_device(*device);
    }
    DiskFilesystem* boot_volume() { return storage.boot_volume().value(); }

    TestMachine machine;
    CmosClock clock { 10, 30 };
    Storage storage;
};

bool all_zero(MemoryDisk& disk, u64 first, u64 count)
{
    return std::all_of(disk.block(first), disk.block(first + count), [](u8 b) { return b == 0; });
}

}

TEST_F(BootDisks, FormatsBlankPartitionsLeavesForeignOnesAloneAndServesTheLastTessaryOne)
{
    MemoryDisk disk(8192);
    Partition first(disk, 100, 1000), foreign(disk, 1200, 800), second(disk, 2048, 2048), tiny(disk, 4200, 50),
        other(disk, 5000, 1000);
    add({ &disk, &first, &foreign, &second, &tiny, &other });
    // Another system's data, in a block formatting would zero.
    disk.block(1200 + 99)[7] = 0x42;
    disk.block(5000 + 3)[0] = 0xEB;
    std::vector<u8> foreign_before(disk.block(1200), disk.block(2000));

    ASSERT_FALSE(mount_disks(storage).is_error());
    EXPECT_EQ(machine.line(0), "/dev/sda2 holds another system and was left untouched");
    EXPECT_EQ(machine.line(1), "/dev/sda4: Partition too small for a file system (at least 100 blocks)");
    EXPECT_EQ(machine.line(2), "/dev/sda5 holds another system and was left untouched");
    EXPECT_EQ(std::vector<u8>(disk.block(1200), disk.block(2000)), foreign_before);
    EXPECT_TRUE(all_zero(disk, 4200, 50));
    EXPECT_FALSE(DiskFilesystem::is_formatted(other).value());
    // Only the shell's volume, the last Tessary partition, is mounted, so
    // every command sees the same files.
    ASSERT_FALSE(storage.boot_volume().is_error());
    EXPECT_EQ(&boot_volume()->blocks().partition(), &second);
    EXPECT_EQ(storage.filesystem().value(), boot_volume());
    EXPECT_TRUE(DiskFilesystem::is_formatted(first).value());
    DiskFilesystem check(second, storage.user());
    EXPECT_EQ(ascii(check.label()), "TESSARY");
    EXPECT_EQ(check.list("/home/root").value().size(), 0u);
    EXPECT_EQ(check.list("/").value().size(), 2u);
    EXPECT_EQ(ascii(check.stat("documents").value().owner), "root");

    // The next boot finds both file systems and formats nothing.
    Console::clear();
    ASSERT_FALSE(mount_disks(storage).is_error());
    EXPECT_EQ(machine.line(0), "Drive detected!");
    EXPECT_EQ(machine.line(1), "/dev/sda2 holds another system and was left untouched");
    EXPECT_EQ(machine.line(2), "Drive detected!");
    EXPECT_EQ(check.next_free_block().value().value(), 10);
    EXPECT_EQ(std::vector<u8>(disk.block(1200), disk.block(2000)), foreign_before);
}

TEST_F(BootDisks, ADiskErrorWhileProbingSkipsThatPartitionOnly)
{
    MemoryDisk disk(4096);
    Partition broken(disk, 100, 1000), good(disk, 2048, 2048);
    add({ &disk, &broken, &good });
    disk.bad_block = 101; // the broken partition's superblock
    ASSERT_FALSE(mount_disks(storage).is_error());
    EXPECT_EQ(machine.line(0), "/dev/sda1: ATA Error");
    ASSERT_FALSE(storage.boot_volume().is_error());
    EXPECT_EQ(&boot_volume()->blocks().partition(), &good);
}

TEST_F(BootDisks, RunningTheBootScreenAgainFreesWhatTheLastRunMounted)
{
    MemoryDisk disk(4096);
    Partition first(disk, 100, 1000), second(disk, 2048, 2048);
    add({ &disk, &first, &second });
    auto run = [&] {
        Sim::clear_accesses(); // the machine's port log would grow
        Console::clear();
        ASSERT_FALSE(mount_disks(storage).is_error());
    };
    run();
    run();
    size_t in_use = mallinfo2().uordblks;
    for (int i = 0; i < 200; ++i)
        run();
    EXPECT_EQ(mallinfo2().uordblks, in_use);
}
