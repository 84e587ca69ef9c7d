#include "hal/MzExecutable.h"
#include "hal/ProgramArea.h"
#include "hal/ProgramRunner.h"
#include "programs/ExampleProgram.h"
#include "tests/unit/ProgramTestSupport.h"
#include "tests/unit/ShellTestSupport.h"
#include "tests/unit/StorageTestSupport.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

bool is_blank(std::string const& screen) { return screen.find_first_not_of('\n') == std::string::npos; }

// A formatted disk with the home directory, mounted as the kernel's boot
// volume.
class ProgramCommands : public ::testing::Test {
protected:
    ProgramCommands()
    {
        EXPECT_FALSE(m_volume.fs.make_dir("/home", "root").is_error());
        EXPECT_FALSE(m_volume.fs.make_dir("/home/root", "root").is_error());
        m_kernel.storage().mount_boot_volume(make_own<DiskFilesystem>(m_volume.partition, m_kernel.storage().user()));
        EXPECT_FALSE(m_fs.save_file(tiny_program(), "/home/root/p.exe", "root").is_error());
    }
    ~ProgramCommands() override { EXPECT_EQ(Sim::page_frame_bytes(), 0u); }

    // Runs `line` with `program` standing in for the code entered.
    std::string run_program(std::string const& line, std::function<void()> program)
    {
        Sim::run_as_program(std::move(program));
        return run(line);
    }

    std::string run(std::string const& line) { return error_of(run_line(m_kernel, line.c_str())); }

    TestMachine m_machine;
    Volume m_volume { 8192 }; // room for a program too large to run
    DiskFilesystem& m_fs { m_volume.fs };
    Kernel m_kernel { shell_commands() };
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
    auto test1 = m_fs.stat("/home/root/test1");
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
    // A directory is named as cat names it, not taken for a damaged file.
    EXPECT_EQ(run("run /home/root"), "Is a directory");
    EXPECT_EQ(run("exe /home"), "Is a directory");

    m_kernel.storage().unmount();
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

TEST_F(ProgramCommands, BadPointersAreRefusedAndNothingIsTouched)
{
    std::vector<i32> results;
    std::string untouched, arguments;
    EXPECT_EQ(run_program("run /home/root/p.exe some arguments",
                  [&] {
                      plant(ImageEnd - 8, "\xEE\xEE\xEE\xEE");
                      plant(Base + 0x100, std::string("/home/root/p.exe\0", 17));
                      plant(ImageEnd - 3, "abc"); // a path that runs off the program's pages before its 0
                      results = {
                          system_call(17, 0, 5),                                     // write from null
                          system_call(17, Base - 2, 4),                              // starts below the image
                          system_call(17, 0x00500000, 4),                            // the kernel image
                          system_call(20, Base + 0x100, ImageEnd - 8, 9),            // read into a buffer past the end
                          system_call(20, Base + 0x100, Base, ~0u),                  // a length that wraps
                          system_call(20, Base + 0x100, ProgramMemory::ExitPage, 4), // into read-only code
                          system_call(22, 0xFFFFFFF0, 0x20),                         // arguments into a wrapping range
                          system_call(22, Base + 0x200, 0),                          // arguments without room for the 0
                          system_call(19, ImageEnd - 3),                             // unterminated path
                          system_call(21, 0xB8000, Base, 1),                         // a path in the text buffer
                          system_call(25, 16, 0),                                    // no such colour
                          system_call(28, 80, 0),                                    // column off the screen
                          system_call(17, 0, 0),                                     // nothing to write: fine anywhere
                      };
                      untouched = stored(ImageEnd - 8, 4);
                      arguments = stored(Base + 0x200, 1);
                  }),
        "");
    EXPECT_EQ(results, (std::vector<i32> { -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0 }));
    EXPECT_EQ(untouched, "\xEE\xEE\xEE\xEE");
    EXPECT_EQ(arguments, std::string(1, '\0'));
    EXPECT_TRUE(is_blank(m_machine.screen()));
    // No program runs now: the program calls refuse.
    EXPECT_EQ(system_call(23), -1);
}

TEST_F(ProgramCommands, FilesWrittenByAProgramReadBackThroughItsCalls)
{
    std::vector<i32> results;
    std::string read_back;
    EXPECT_EQ(run_program("run /home/root/p.exe",
                  [&] {
                      plant(Base + 0x100, std::string("/home/root/out.txt\0", 19));
                      plant(Base + 0x140, std::string("/home/root\0", 11));
                      plant(Base + 0x160, std::string("/home/root/none\0", 16));
                      plant(Base + 0x800, "hello, disk");
                      plant(Base + 0x900, "\xEE\xEE\xEE\xEE\xEE");
                      results = {
                          system_call(21, Base + 0x100, Base + 0x800, 11),
                          system_call(19, Base + 0x100),
                          system_call(20, Base + 0x100, Base + 0x900, 4),
                          system_call(19, Base + 0x140),
                          system_call(20, Base + 0x160, Base + 0x900, 4),
                      };
                      read_back = stored(Base + 0x900, 5);
                  }),
        "");
    EXPECT_EQ(results, (std::vector<i32> { 0, 11, 4, -2, -2 }));
    EXPECT_EQ(read_back, "hell\xEE");
    auto record = m_fs.stat("/home/root/out.txt");
    ASSERT_FALSE(record.is_error());
    EXPECT_EQ(m_fs.read_file("/home/root/out.txt").value().size(), 11u);
}

TEST_F(ProgramCommands, ArgumentsAreCutToTheCapacity)
{
    std::vector<i32> results;
    std::string cut, full;
    EXPECT_EQ(run_program("run /home/root/p.exe    one  two ",
                  [&] {
                      plant(Base + 0x100, "\xEE\xEE\xEE\xEE\xEE\xEE");
                      results = { system_call(22, Base + 0x100, 4), system_call(22, Base + 0x200, 64) };
                      cut = stored(Base + 0x100, 5);
                      full = stored(Base + 0x200, 10);
                  }),
        "");
    EXPECT_EQ(results, (std::vector<i32> { 3, 9 }));
    EXPECT_EQ(cut, std::string("one\0\xEE", 5));
    EXPECT_EQ(full, std::string("one  two \0", 10));
}

namespace {
// Calls itself `depth` times, then exits with `status`: the code after the
// exit never runs.
void exit_from_depth(int depth, i32 status, int& returned)
{
    if (depth > 0)
        exit_from_depth(depth - 1, status, returned);
    else
        system_call(16, static_cast<u32>(status));
    ++returned;
}
}

TEST_F(ProgramCommands, ExitEndsTheProgramFromAnyDepthWithItsStatus)
{
    int returned = 0;
    Console::set_foreground_color(ConsoleColor::Gray);
    Cpu::enable_interrupts(); // as the shell runs
    EXPECT_EQ(run_program("run /home/root/p.exe",
                  [&] {
                      plant(Base + 0x100, "abc");
                      EXPECT_EQ(system_call(25, 14, 1), 0);
                      EXPECT_EQ(system_call(17, Base + 0x100, 3), 3);
                      // A stray vector with the exit number ends nothing.
                      EXPECT_EQ(system_call(16, 5, 0, 0, 0x81), 16);
                      exit_from_depth(5, -7, returned);
                  }),
        "");
    EXPECT_EQ(returned, 0);
    EXPECT_TRUE(Cpu::interrupts_enabled());
    EXPECT_EQ(Sim::last_call_address(), Base);
    EXPECT_EQ(Sim::last_stack_top(), ProgramMemory::StackTop - 4);
    EXPECT_EQ(m_machine.line(0), "abc");
    EXPECT_EQ(m_machine.attribute(0, 0), 0x1E);
    EXPECT_EQ(m_machine.line(1), "Program exited with status -7");
    EXPECT_EQ(m_machine.attribute(0, 1), 0x07);
    EXPECT_EQ(Console::foreground_color(), ConsoleColor::Gray);
    EXPECT_EQ(Console::background_color(), ConsoleColor::Black);

    // Status 0, by exit or by return, adds no line; the cursor already at
    // the start of a line stays there.
    Console::clear();
    EXPECT_EQ(run_program("run /home/root/p.exe", [&] { exit_from_depth(3, 0, returned); }), "");
    EXPECT_EQ(run("run /home/root/p.exe"), "");
    EXPECT_EQ(returned, 0);
    EXPECT_TRUE(is_blank(m_machine.screen()));
    EXPECT_EQ(Console::cursor_top(), 0);
}

TEST_F(ProgramCommands, RunPlacesTheProgramOrRefusesIt)
{
    for (auto const* line : { "run", "run   " }) {
        Console::clear();
        EXPECT_EQ(run(line), "");
        EXPECT_EQ(m_machine.line(0), "USAGE: run <program path> [arguments]");
        EXPECT_EQ(m_machine.attribute(0, 0) >> 4, 9);
    }
    EXPECT_EQ(Sim::last_call_address(), 0u);

    // The module goes to the bottom of the area on fresh pages, its extra
    // paragraphs zeroed; the program is called from the exit page, whose
    // code makes the exit call.
    ASSERT_FALSE(m_fs.save_file(tiny_program(2), "/home/root/bss.exe", "root").is_error());
    std::string image, return_address, exit_code;
    EXPECT_EQ(run_program("run /home/root/bss.exe",
                  [&] {
                      image = stored(Base, 34);
                      return_address = stored(ProgramMemory::StackTop - 4, 4);
                      exit_code = stored(ProgramMemory::ExitPage, 9);
                  }),
        "");
    EXPECT_EQ(image, "\xC3" + std::string(33, '\0'));
    EXPECT_EQ(return_address, std::string("\x00\xF0\xFF\x7F", 4));
    EXPECT_EQ(exit_code, std::string("\x31\xDB\xB8\x10\x00\x00\x00\xCD\x80", 9));

    ByteBuffer huge = tiny_program(0xFFFF);
    huge.resize(huge.size() + 3 * 1024 * 1024 + 16);
    ASSERT_FALSE(m_fs.save_file(huge, "/home/root/huge.exe", "root").is_error());
    bool entered = false;
    EXPECT_EQ(run_program("run /home/root/huge.exe", [&] { entered = true; }), "Program too large");
    EXPECT_FALSE(entered);
}

TEST_F(ProgramCommands, AFaultEndsTheProgramAloneWithARedLine)
{
    Console::set_foreground_color(ConsoleColor::Gray);
    Cpu::enable_interrupts();
    int after = 0;
    EXPECT_EQ(run_program("run /home/root/p.exe",
                  [&] {
                      EXPECT_EQ(system_call(25, 14, 1), 0);
                      EXPECT_EQ(system_call(17, Base, 1), 1);
                      Sim::set_fault_address(0);
                      fault(14, Base + 5);
                      ++after;
                  }),
        "");
    EXPECT_EQ(after, 0);
    EXPECT_TRUE(Cpu::interrupts_enabled());
    // The line the program left unfinished ends; the fault's line is red.
    EXPECT_EQ(m_machine.line(1), "ERROR: Program ended: PAGE_FAULT at 0x00000000");
    EXPECT_EQ(m_machine.attribute(0, 1) >> 4, static_cast<u8>(ConsoleColor::Red));
    EXPECT_EQ(m_machine.line(2), "Program exited with status 142");
    EXPECT_EQ(Console::foreground_color(), ConsoleColor::Gray);
    EXPECT_EQ(Sim::page_frame_bytes(), 0u);

    // Any other exception names the instruction; exexe2 reports it too.
    Console::clear();
    ASSERT_FALSE(m_fs.save_file(tiny_program(), "/home/root/example.exe", "root").is_error());
    EXPECT_EQ(run_program("exexe2", [&] { fault(13, Base + 0x42); }), "");
    EXPECT_EQ(m_machine.line(0), "ERROR: Program ended: GENERAL_PROTECTION_FAULT at 0x00100042");
    EXPECT_EQ(m_machine.line(1), "");
    EXPECT_EQ(run_program("exexe2", [&] { fault(19, Base + 1); }), "");
    EXPECT_EQ(m_machine.line(1), "ERROR: Program ended: CPU Exception x13 at 0x00100001");
}

TEST_F(ProgramCommands, TheBreakCallGrowsTheHeapAsFarAsMemoryGoes)
{
    std::vector<i32> results;
    std::string kept;
    EXPECT_EQ(run_program("run /home/root/p.exe",
                  [&] {
                      u32 start = static_cast<u32>(system_call(29, 0));
                      results = {
                          static_cast<i32>(start - Paging::HighProgramBase),
                          system_call(29, start + 100000) - static_cast<i32>(start),
                          system_call(29, start - 1),                     // below the heap
                          system_call(29, ProgramMemory::StackGuard + 1), // into the stack's guard
                      };
                      plant(start + 99999, "!");
                      Sim::set_page_frame_limit(Sim::page_frame_bytes() + 1024 * 1024);
                      results.push_back(system_call(29, start + 4 * 1024 * 1024)); // more than there is
                      results.push_back(system_call(29, 0) - static_cast<i32>(start));
                      kept = stored(start + 99999, 1);
                  }),
        "");
    EXPECT_EQ(results, (std::vector<i32> { 0, 100000, -1, -1, -4, 100000 }));
    EXPECT_EQ(kept, "!");
}

TEST_F(ProgramCommands, AProgramLinkedHighRunsThereWithItsHeapAfterIt)
{
    // The tiny program again, with the load information of one linked at
    // 1 GiB that asks for 16 MiB of zeroed memory.
    constexpr u32 High = Paging::HighProgramBase;
    constexpr u32 Extra = 16 * 1024 * 1024;
    ByteBuffer file = tiny_program();
    file[0x08] = 3;
    u8 const info[12] = { 'T', 'S', 'R', 'Y', 0, 0, 0, 0x40, 0, 0, 0, 0x01 };
    ByteBuffer header;
    for (size_t i = 0; i < 0x1C; ++i)
        header.append(file[i]);
    for (u8 byte : info)
        header.append(byte);
    header.resize(48);
    header.append(0xC3);
    ASSERT_FALSE(m_fs.save_file(header, "/home/root/high.exe", "root").is_error());
    std::string first, last;
    u32 heap = 0;
    EXPECT_EQ(run_program("run /home/root/high.exe",
                  [&] {
                      first = stored(High, 1);
                      last = stored(High + 1 + Extra - 1, 1);
                      heap = static_cast<u32>(system_call(29, 0));
                  }),
        "");
    EXPECT_EQ(Sim::last_call_address(), High);
    EXPECT_EQ(first, "\xC3");
    EXPECT_EQ(last, std::string(1, '\0'));
    EXPECT_EQ(heap, High + Extra + 0x1000);
}

TEST_F(ProgramCommands, ProgramsThatAllocateAndFaultLeaveNothingBehind)
{
    auto run_once = [&](bool faulting) {
        return run_program("run /home/root/p.exe", [&] {
            u32 start = static_cast<u32>(system_call(29, 0));
            system_call(29, start + 3 * 1024 * 1024);
            plant(start + 3 * 1024 * 1024 - 1, "x");
            if (faulting)
                fault(14, Base);
        });
    };
    // Whatever the first runs keep for good, the console's lines among it.
    run_once(false);
    run_once(true);
    u64 allocations = Sim::live_allocations();
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(run_once(i % 2 == 1), "") << i;
    EXPECT_EQ(Sim::live_allocations(), allocations);
    EXPECT_EQ(Sim::page_frame_bytes(), 0u);
}

TEST_F(ProgramCommands, TheConsoleIsHandlesZeroToTwoAndItsLinesComeInAnyPieces)
{
    std::vector<i32> results;
    std::string first, second, info;
    m_machine.type("hello\n");
    EXPECT_EQ(
        run_program("run /home/root/p.exe",
            [&] {
                plant(Base + 0x100, "out\nerr");
                plant(ImageEnd - 3, "abc"); // a path that runs off the program's pages before its 0
                results = {
                    system_call(TESSARY_CALL_READ, TESSARY_INPUT, Base + 0x200, 4),  // "hell"
                    system_call(TESSARY_CALL_READ, TESSARY_INPUT, Base + 0x300, 64), // the rest of the line
                    system_call(TESSARY_CALL_WRITE_HANDLE, TESSARY_OUTPUT, Base + 0x100, 4),
                    system_call(TESSARY_CALL_WRITE_HANDLE, TESSARY_ERRORS, Base + 0x104, 3),
                    system_call(TESSARY_CALL_HANDLE_INFO, TESSARY_OUTPUT, Base + 0x400),
                    system_call(TESSARY_CALL_CLOSE, TESSARY_OUTPUT),                        // the console stays
                    system_call(TESSARY_CALL_WRITE_HANDLE, TESSARY_INPUT, Base + 0x100, 1), // input is not written
                    system_call(TESSARY_CALL_READ, TESSARY_OUTPUT, Base + 0x200, 1),        // nor output read
                    system_call(TESSARY_CALL_SEEK, TESSARY_OUTPUT, 0, TESSARY_SEEK_SET),
                    system_call(TESSARY_CALL_READ, TESSARY_INPUT, ImageEnd - 2, 4),  // off the program's pages
                    system_call(TESSARY_CALL_OPEN, ImageEnd - 3, TESSARY_OPEN_READ), // an unterminated path
                    system_call(TESSARY_CALL_PALETTE, ImageEnd - 700),               // 768 bytes don't fit
                    system_call(TESSARY_CALL_SHOW_FRAME, Base),                      // nor 64,000
                    system_call(TESSARY_CALL_LIST, Base + 0x100, 0, ImageEnd - 8),   // nor an entry
                    system_call(TESSARY_CALL_KEY_EVENT),                             // the line's keys as events too
                };
                first = stored(Base + 0x200, 4);
                second = stored(Base + 0x300, 2);
                info = stored(Base + 0x404, 4);
            }),
        "");
    EXPECT_EQ(results, (std::vector<i32> { 4, 2, 4, 3, 0, 0, -1, -1, -1, -1, -1, -1, -1, -1, 'h' }));
    EXPECT_EQ(first + second, "hello\n");
    EXPECT_EQ(info, std::string("\2\0\0\0", 4)); // TESSARY_KIND_CONSOLE
    EXPECT_EQ(m_machine.line(0), "hello");
    EXPECT_EQ(m_machine.line(1), "out");
    EXPECT_EQ(m_machine.line(2), "err");
}
