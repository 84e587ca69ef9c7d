#include "tests/unit/ShellTestSupport.h"

#include "hal/Heap.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <vector>

namespace {

constexpr u8 OnCyan = 0xBF;  // white on cyan
constexpr u8 OnBlack = 0x0F; // white on black
constexpr u8 OnRed = 0xCF;   // white on red
constexpr u8 OnBlue = 0x9F;  // white on blue

void run(Kernel& kernel, String const& line) { ASSERT_FALSE(run_line(kernel, line).is_error()); }

}

TEST(ShellCommands, HelpScreenLineByLineOnCyanInAnyCase)
{
    TestMachine machine;
    Kernel kernel { shell_commands() };
    run(kernel, "HeLp");
    char const* expected[] = {
        "Tessary Help : Page 1/1",
        "-----------------------",
        "help: show this help",
        "tsc <file path>: run the TessScript interpreter",
        "showgui: show graphical interface",
        "reboot: restart the computer",
        "shutdown: shut down the computer",
        "ls: list root directory",
        "lolz: just types lolz for infinite if you get bored",
        "lolz: WARNING IT WILL PROBABLY BURN OUT YOUR CPU!",
        "debughlp: show the development commands",
        "cls: clear screen",
        "info: show system informations",
        "mkdir <folder name>: make a folder with the specified name and/or path",
        "rmdir <folder name>: remove a folder with the specified path",
        "tswrite <file path(optional)>: launch the Tess text editor",
        "textedit: launch text editor [OBSELETE]",
        "textedit: type #end# to exit",
        "textedit: type #save# to save and exit",
        "stopwatch: run stopwatch. press ESCAPE to exit.",
        "CREDITS: SHOW CREDITS AND COPYRIGHTS",
    };
    for (int row = 0; row < 21; ++row) {
        EXPECT_EQ(machine.line(row), expected[row]) << "row " << row;
        EXPECT_EQ(machine.attribute(0, row), OnCyan) << "row " << row;
    }
    EXPECT_EQ(Console::background_color(), ConsoleColor::Black);

    // A blank argument is the same screen.
    Console::clear();
    run(kernel, "help    ");
    EXPECT_EQ(machine.line(20), "CREDITS: SHOW CREDITS AND COPYRIGHTS");
}

TEST(ShellCommands, HelpTopicsAreMatchedExactlyAndABadTopicLeavesRed)
{
    TestMachine machine;
    Kernel kernel { shell_commands() };
    run(kernel, "help showgui");
    EXPECT_EQ(machine.line(0), "Help of command : showgui");
    EXPECT_EQ(machine.attribute(0, 0), OnCyan);
    EXPECT_EQ(machine.line(1), "Switches the system to graphical mode.");
    EXPECT_EQ(machine.attribute(0, 1), OnBlack);
    EXPECT_EQ(machine.line(2), "Parameters : Nothing");
    EXPECT_EQ(machine.attribute(0, 2), OnCyan);
    EXPECT_EQ(Console::background_color(), ConsoleColor::Black);

    run(kernel, "help SHOWGUI");
    EXPECT_EQ(machine.line(3), "CAN'T PARSE ARGUMENT : SHOWGUI");
    EXPECT_EQ(machine.attribute(0, 3), OnRed);
    EXPECT_EQ(Console::background_color(), ConsoleColor::Red);
}

TEST(ShellCommands, TheFileCommandsHaveHelpTopicsLikeShowgui)
{
    TestMachine machine;
    Kernel kernel { shell_commands() };
    run(kernel, "help cat");
    run(kernel, "help cp");
    run(kernel, "help rm");
    run(kernel, "help df");
    run(kernel, "help mv");
    run(kernel, "help run");
    EXPECT_EQ(machine.line(0), "Help of command : cat");
    EXPECT_EQ(machine.line(1), "Prints a file as text; control characters show as '.'.");
    EXPECT_EQ(machine.line(2), "Parameters : <file path>");
    EXPECT_EQ(machine.line(3), "Help of command : cp");
    EXPECT_EQ(machine.line(4), "Copies a file to a new name; an existing target is kept.");
    EXPECT_EQ(machine.line(5), "Parameters : <source file, no spaces> <target file>");
    EXPECT_EQ(machine.line(6), "Help of command : rm");
    EXPECT_EQ(machine.line(7), "Deletes a file; directories are removed with rmdir.");
    EXPECT_EQ(machine.line(8), "Parameters : <file path>");
    EXPECT_EQ(machine.line(9), "Help of command : df");
    EXPECT_EQ(machine.line(10), "Shows the disk's size, used and free space in KiB.");
    EXPECT_EQ(machine.line(11), "Parameters : Nothing");
    EXPECT_EQ(machine.line(12), "Help of command : mv");
    EXPECT_EQ(machine.line(13), "Moves or renames a file or a directory; an existing target is kept.");
    EXPECT_EQ(machine.line(14), "Parameters : <source path, no spaces> <target path>");
    EXPECT_EQ(machine.line(15), "Help of command : run");
    EXPECT_EQ(machine.line(16), "Runs the MZ program at the path; the rest of the line is its arguments.");
    EXPECT_EQ(machine.line(17), "Parameters : <program path, no spaces> [arguments]");
    EXPECT_EQ(machine.attribute(0, 6), OnCyan);
    EXPECT_EQ(machine.attribute(0, 7), OnBlack);
}

TEST(ShellCommands, DebugHelpUnknownWordsAndUsageLines)
{
    TestMachine machine;
    Kernel kernel { shell_commands() };
    run(kernel, "DEBUGHLP");
    EXPECT_EQ(machine.line(0), "Tessary Developer Help : Page 1/1");
    EXPECT_EQ(machine.line(1), std::string(33, '-'));
    EXPECT_EQ(machine.attribute(32, 1), OnCyan);

    run(kernel, "XyZ now");
    EXPECT_EQ(machine.line(2), "UNKNOWN COMMAND: XyZ");
    EXPECT_EQ(machine.attribute(0, 2), OnRed);
    EXPECT_EQ(Console::background_color(), ConsoleColor::Black);
    run(kernel, "");
    EXPECT_EQ(Console::cursor_top(), 3);

    run(kernel, "chmod");
    run(kernel, "chmod   ");
    run(kernel, "tsc");
    EXPECT_EQ(machine.line(3), "USAGE: chmod <file/folder path> <permissions>");
    EXPECT_EQ(machine.attribute(0, 3), OnBlue);
    EXPECT_EQ(machine.line(4), "USAGE: chmod <file/folder path> <permissions>");
    EXPECT_EQ(machine.line(5), "USAGE: tsc <file path>");
    EXPECT_EQ(machine.attribute(0, 5), OnBlue);
    EXPECT_EQ(Console::background_color(), ConsoleColor::Black);

    // chmod with an argument and bas do nothing at all.
    run(kernel, "chmod /x 777");
    run(kernel, "bas");
    run(kernel, "bas anything");
    EXPECT_EQ(Console::cursor_top(), 6);
    EXPECT_EQ(machine.line(6), "");
}

TEST(ShellCommands, InfoScreenColoursAndTheMagentaItLeaves)
{
    TestMachine machine;
    Kernel kernel { shell_commands() };
    run(kernel, "info");
    EXPECT_EQ(machine.line(0), "SYSTEM INFORMATION");
    EXPECT_EQ(machine.attribute(0, 0), OnCyan);
    EXPECT_EQ(machine.line(1), "Tessary 0.2 Dev");
    EXPECT_EQ(machine.attribute(0, 1), 0x3F);
    EXPECT_FALSE(machine.line(2).empty());
    EXPECT_EQ(machine.attribute(0, 2), 0x3F);
    EXPECT_EQ(machine.line(3), "");
    EXPECT_EQ(machine.line(4), "Created with Vantor User Kit 92560");
    std::string lead = "For more informations, go to ";
    std::string web = machine.line(5);
    ASSERT_EQ(web.substr(0, lead.size()), lead);
    ASSERT_EQ(web.back(), '.');
    size_t address = lead.size();
    EXPECT_EQ(machine.attribute(address, 5), 0x3C);        // red on dark cyan
    EXPECT_EQ(machine.attribute(web.size() - 1, 5), 0x3F); // the final "." in white
    EXPECT_EQ(machine.attribute(web.size() - 2, 5), 0x3C);
    EXPECT_EQ(machine.line(6), "");
    EXPECT_EQ(machine.line(7), "COMPUTER INFORMATION");
    EXPECT_EQ(machine.attribute(0, 7), OnCyan);
    EXPECT_EQ(Console::background_color(), ConsoleColor::DarkMagenta);
    EXPECT_EQ(Console::foreground_color(), ConsoleColor::White);
}

TEST(ShellCommands, TimeShowsBothClocksInCyan)
{
    TestMachine machine;
    CmosClock clock(15, 7, 0);
    Kernel kernel { shell_commands() };
    run(kernel, "time");
    EXPECT_EQ(machine.line(0), "24-hours time: 15:07");
    EXPECT_EQ(machine.line(1), "12-hours time: 3:07pm");
    EXPECT_EQ(machine.attribute(0, 0), OnBlack);
    EXPECT_EQ(machine.attribute(15, 0), 0x0B);
    EXPECT_EQ(machine.attribute(15, 1), 0x0B);
    EXPECT_EQ(Console::foreground_color(), ConsoleColor::White);
}

TEST(ShellCommands, KeybrdEchoesKeyNamesUntilEscapeAndGivesTheKeyboardBack)
{
    TestMachine machine;
    Kernel kernel { shell_commands() };
    Keyboard* console = Keyboard::receiver();
    machine.type("q");
    machine.press(TestMachine::Up);
    machine.press(TestMachine::Backspace);
    machine.press(TestMachine::Escape);
    run(kernel, "keybrd");
    EXPECT_EQ(machine.line(0), "q");
    EXPECT_EQ(machine.line(1), "UP");
    EXPECT_EQ(machine.line(2), "DEL");
    EXPECT_EQ(machine.line(3), "ESC");
    EXPECT_EQ(Keyboard::receiver(), console);

    // The console reads keys again.
    machine.type("ok\n");
    auto line = Console::read_line();
    ASSERT_FALSE(line.is_error());
    EXPECT_EQ(ascii(line.value()), "ok");
}

TEST(ShellCommands, TestprogbarFillsToOneHundredInOneHundredSteps)
{
    TestMachine machine;
    timer_on_every_halt();
    Kernel kernel { shell_commands() };
    run(kernel, "testprogbar");
    EXPECT_EQ(machine.line(1), "[" + std::string(50, '=') + "]  100%");
    EXPECT_EQ(Console::cursor_top(), 0);
    EXPECT_EQ(Console::cursor_left(), 0);
    // The pauses of the rules add up to 43,900 ms, waited in 50 ms timer
    // periods.
    EXPECT_EQ(Sim::halt_count(), 43900u / 50);
}

namespace {

struct HeapFigures {
    unsigned long used { 0 };
    unsigned long free { 0 };
    unsigned long largest { 0 };
};

HeapFigures heap_figures(std::string const& line)
{
    HeapFigures figures;
    int end = 0;
    int fields = std::sscanf(line.c_str(), "Heap: %lu bytes in use, %lu free, largest free block %lu%n", &figures.used,
        &figures.free, &figures.largest, &end);
    EXPECT_EQ(fields, 3) << line;
    EXPECT_EQ(static_cast<size_t>(end), line.size()) << line;
    return figures;
}

}

// `mem` reads the kernel heap (here over an arena of the test's own): an
// allocation raises the bytes in use by at least its size and lowers the
// free bytes, a hole left by a freed block shows as a largest free block
// under the free total, and freeing everything brings back the first line.
TEST(ShellCommands, MemFollowsTheKernelHeapAndComesBackAfterFreeing)
{
    TestMachine machine;
    Kernel kernel { shell_commands() };
    std::vector<u8> arena(256 * 1024);
    FreeListHeap& heap = Heap::instance();
    auto start = reinterpret_cast<uintptr_t>(arena.data());
    heap.initialize(start, start + arena.size());

    run(kernel, "mem");
    HeapFigures before = heap_figures(machine.line(0));
    EXPECT_EQ(before.used, 0u);
    EXPECT_EQ(before.largest, before.free);

    void* first = heap.allocate(5000);
    void* second = heap.allocate(100);
    run(kernel, "MEM");
    HeapFigures taken = heap_figures(machine.line(1));
    EXPECT_GE(taken.used, before.used + 5100);
    EXPECT_LE(taken.free, before.free - 5100);
    EXPECT_EQ(taken.largest, taken.free);

    heap.free(first);
    run(kernel, "mem");
    HeapFigures holed = heap_figures(machine.line(2));
    EXPECT_LT(holed.used, taken.used - 5000);
    EXPECT_GE(holed.free, taken.free + 5000);
    EXPECT_LT(holed.largest, holed.free);

    heap.free(second);
    run(kernel, "mem");
    EXPECT_EQ(machine.line(3), machine.line(0));
    // Back to no heap, as the other tests know it.
    heap.initialize(0, 0);
}
