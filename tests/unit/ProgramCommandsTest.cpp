#include "hal/MzExecutable.h"
#include "programs/ExampleProgram.h"
#include "tests/unit/ShellTestSupport.h"
#include "tests/unit/StorageTestSupport.h"

#include <gtest/gtest.h>

namespace {

// A formatted disk with the home directory, mounted as the kernel's boot
// volume.
class ProgramCommands : public ::testing::Test {
protected:
    ProgramCommands()
    {
        EXPECT_FALSE(m_volume.fs.make_dir("/home", "root").is_error());
        EXPECT_FALSE(m_volume.fs.make_dir("/home/root", "root").is_error());
        m_kernel.storage().mount_boot_volume(make_own<DiskFilesystem>(m_volume.partition, m_kernel.storage().user()));
    }

    std::string run(std::string const& line) { return error_of(run_line(m_kernel, line.c_str())); }

    TestMachine m_machine;
    Volume m_volume;
    DiskFilesystem& m_fs { m_volume.fs };
    Kernel m_kernel;
};

}

TEST_F(ProgramCommands, ExeWithoutPathPrintsItsUsage)
{
    for (auto const* line : { "exe", "exe ", "EXE   " }) {
        Console::clear();
        EXPECT_EQ(run(line), "");
        EXPECT_EQ(m_machine.line(0), "USAGE: exe <executable path>");
        EXPECT_EQ(m_machine.attribute(0, 0) >> 4, 9);
        EXPECT_EQ(Console::background_color(), ConsoleColor::Black);
    }
}

TEST_F(ProgramCommands, ExexeStoresTheExampleProgramThatExexe2Runs)
{
    EXPECT_EQ(run("exexe"), "");
    auto stored = m_fs.read_file("/home/root/example.exe");
    ASSERT_FALSE(stored.is_error());
    ASSERT_EQ(stored.value().size(), ExampleProgramSize);
    for (u32 i = 0; i < ExampleProgramSize; ++i)
        ASSERT_EQ(stored.value()[i], ExampleProgram[i]) << "byte " << i;
    auto test1 = m_fs.read_from_node("/home/root/test1");
    ASSERT_FALSE(test1.is_error());
    EXPECT_TRUE(test1.value().is_directory());

    // A second exexe stores the program again and finds the directory made:
    // no error, no output.
    ASSERT_FALSE(m_fs.save_file(bytes_of("older"), "/home/root/example.exe", "root").is_error());
    EXPECT_EQ(run("exexe"), "");
    EXPECT_EQ(m_fs.read_file("/home/root/example.exe").value().size(), ExampleProgramSize);
    EXPECT_EQ(m_machine.line(0), "");

    // Loading alone runs nothing and prints nothing.
    EXPECT_EQ(run("exe /home/root/example.exe"), "");
    EXPECT_EQ(Sim::last_call_address(), 0u);
    EXPECT_EQ(m_machine.line(0), "");

    EXPECT_EQ(run("exexe2"), "");
    EXPECT_NE(Sim::last_call_address(), 0u);
}

TEST_F(ProgramCommands, ExeReportsFilesThatCannotRun)
{
    ASSERT_FALSE(
        m_fs.save_file(bytes_of("just some text, not a program at all"), "/home/root/notes.txt", "root").is_error());
    EXPECT_EQ(run("exe /home/root/notes.txt"), "Not an MZ executable");
    // Before exexe there is nothing to run: the file system's own error.
    std::string missing = error_of(m_fs.read_file("/home/root/example.exe"));
    ASSERT_NE(missing, "");
    EXPECT_EQ(run("exexe2"), missing);

    m_kernel.storage().unmount_all();
    EXPECT_EQ(run("exe /home/root/notes.txt"), "No disk file system");
    EXPECT_EQ(Sim::last_call_address(), 0u);
}

TEST(ExampleProgram, IsARunnableMzImageOfFullPages)
{
    ByteBuffer image;
    for (u8 byte : ExampleProgram)
        image.append(byte);
    EXPECT_EQ(image[0], 'M');
    EXPECT_EQ(image[1], 'Z');
    auto exe = MzExecutable::load(image);
    ASSERT_FALSE(exe.is_error());
    auto const& header = exe.value().header();
    // The header's own size fields describe the whole 4,608-byte file.
    u32 declared = header.pages * 512u - (header.bytes_in_last_page ? 512u - header.bytes_in_last_page : 0u);
    EXPECT_EQ(declared, ExampleProgramSize);
    EXPECT_TRUE(exe.value().relocations().is_empty());
}
