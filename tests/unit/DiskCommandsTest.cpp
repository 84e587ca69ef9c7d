#include "kernel/DiskCommands.h"
#include "fs/Storage.h"
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
    Kernel kernel;
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
    EXPECT_EQ(ascii(volume.fs.read_from_node("home/root/new").value().owner), "");
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
    kernel.storage().unmount_all();
    for (char const* line : { "ls", "mkdir x", "rmdir x" })
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

    ASSERT_FALSE(detect_and_mount_disks(storage).is_error());
    EXPECT_EQ(machine.line(0), "/dev/sda2 holds another system and was left untouched");
    EXPECT_EQ(machine.line(1), "/dev/sda4: Partition too small for a file system (at least 100 blocks)");
    EXPECT_EQ(machine.line(2), "/dev/sda5 holds another system and was left untouched");
    EXPECT_EQ(std::vector<u8>(disk.block(1200), disk.block(2000)), foreign_before);
    EXPECT_TRUE(all_zero(disk, 4200, 50));
    EXPECT_FALSE(DiskFilesystem::is_formatted(other).value());
    // Only the shell's volume, the last Tessary partition, is mounted, so
    // every command sees the same files.
    ASSERT_FALSE(storage.boot_volume().is_error());
    EXPECT_EQ(&boot_volume()->partition(), &second);
    ASSERT_EQ(storage.root().mount_points().size(), 1u);
    EXPECT_EQ(storage.root().mount_points()[0].filesystem, boot_volume());
    EXPECT_TRUE(DiskFilesystem::is_formatted(first).value());
    DiskFilesystem check(second, storage.user());
    EXPECT_EQ(ascii(check.label()), "TESSARY");
    EXPECT_EQ(check.get_long_list("/home/root").value().size(), 0u);
    EXPECT_EQ(check.get_long_list("/").value().size(), 2u);
    EXPECT_EQ(ascii(check.read_from_node("documents").value().owner), "root");

    // The next boot finds both file systems and formats nothing.
    Console::clear();
    ASSERT_FALSE(detect_and_mount_disks(storage).is_error());
    EXPECT_EQ(machine.line(0), "Drive detected!");
    EXPECT_EQ(machine.line(1), "/dev/sda2 holds another system and was left untouched");
    EXPECT_EQ(machine.line(2), "Drive detected!");
    EXPECT_EQ(check.get_write_address().value(), 10);
    EXPECT_EQ(std::vector<u8>(disk.block(1200), disk.block(2000)), foreign_before);
}

TEST_F(BootDisks, ADiskErrorWhileProbingSkipsThatPartitionOnly)
{
    MemoryDisk disk(4096);
    Partition broken(disk, 100, 1000), good(disk, 2048, 2048);
    add({ &disk, &broken, &good });
    disk.bad_block = 101; // the broken partition's superblock
    ASSERT_FALSE(detect_and_mount_disks(storage).is_error());
    EXPECT_EQ(machine.line(0), "/dev/sda1: ATA Error");
    ASSERT_FALSE(storage.boot_volume().is_error());
    EXPECT_EQ(&boot_volume()->partition(), &good);
}

TEST_F(BootDisks, RunningTheBootScreenAgainFreesWhatTheLastRunMounted)
{
    MemoryDisk disk(4096);
    Partition first(disk, 100, 1000), second(disk, 2048, 2048);
    add({ &disk, &first, &second });
    auto run = [&] {
        Sim::clear_accesses(); // the machine's port log would grow
        Console::clear();
        ASSERT_FALSE(detect_and_mount_disks(storage).is_error());
    };
    run();
    run();
    size_t in_use = mallinfo2().uordblks;
    for (int i = 0; i < 200; ++i)
        run();
    EXPECT_EQ(mallinfo2().uordblks, in_use);
}
