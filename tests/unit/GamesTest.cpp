#include "tests/unit/ShellTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace {

void run(Kernel& kernel, String const& line) { ASSERT_FALSE(run_line(kernel, line).is_error()); }

// Cells showing '#' in the snake's green.
std::vector<std::pair<int, int>> snake_cells(TestMachine& machine)
{
    std::vector<std::pair<int, int>> cells;
    for (int y = 0; y < TextScreen::Rows; ++y) {
        for (int x = 0; x < TextScreen::Cols; ++x) {
            if (machine.character(x, y) == '#' && machine.attribute(x, y) == 0x0A)
                cells.push_back({ x, y });
        }
    }
    return cells;
}

}

TEST(Snake, TwelveUpPressesReachTheTopRowAndLoseWithScore24)
{
    TestMachine machine;
    Kernel kernel { shell_commands() };
    for (int i = 0; i < 12; ++i)
        machine.press(TestMachine::Up);
    run(kernel, "snake");
    EXPECT_EQ(machine.row(10).substr(36, 9), "YOU LOSE!");
    EXPECT_EQ(machine.attribute(36, 10), 0x0C);
    // "Your score: 24" is 14 characters: column 40 - 7 = 33.
    EXPECT_EQ(machine.line(12), std::string(33, ' ') + "Your score: 24");
    EXPECT_EQ(machine.attribute(33, 12), 0x0F);
    EXPECT_EQ(machine.line(11), "");
    // The game ended on the twelfth press: only its release is left.
    EXPECT_EQ(machine.pending(), 1u);
}

TEST(Snake, KeysBeforeTheFirstArrowDoNothingAndOtherKeysRepeatTheDirection)
{
    TestMachine machine;
    Kernel kernel { shell_commands() };
    machine.type("ab");
    // The first two keys leave the head in the middle of the screen.
    machine.press(TestMachine::Right);
    machine.type("xx");
    machine.press(TestMachine::Down);
    EXPECT_THROW(run(kernel, "snake"), Sim::Stopped);
    // Right, x, x moved three cells right; Down one cell down. The snake is
    // drawn at its cells from (40, 12).
    auto cells = snake_cells(machine);
    std::vector<std::pair<int, int>> expected = { { 43, 13 }, { 40, 12 }, { 41, 12 }, { 42, 12 }, { 43, 12 } };
    std::sort(expected.begin(), expected.end(),
        [](auto a, auto b) { return a.second != b.second ? a.second < b.second : a.first < b.first; });
    EXPECT_EQ(cells, expected);
}

TEST(Snake, KeepsItsLastEightCellsAndLosesOnTheLeftColumn)
{
    TestMachine machine;
    Kernel kernel { shell_commands() };
    for (int i = 0; i < 10; ++i)
        machine.press(TestMachine::Left);
    EXPECT_THROW(run(kernel, "snake"), Sim::Stopped);
    auto cells = snake_cells(machine);
    ASSERT_EQ(cells.size(), 8u);
    EXPECT_EQ(cells.front(), std::make_pair(30, 12));
    EXPECT_EQ(cells.back(), std::make_pair(37, 12));

    // Thirty more Left presses: column 0 is reached after 40 in all, the
    // game is lost with 80 points.
    Console::clear();
    for (int i = 0; i < 40; ++i)
        machine.press(TestMachine::Left);
    run(kernel, "snake");
    EXPECT_EQ(machine.row(12).substr(33, 14), "Your score: 80");
}

TEST(Snake, TheBottomAndRightLimitsLieOneCellOutsideTheScreen)
{
    TestMachine machine;
    Kernel kernel { shell_commands() };
    // Rows 13..24 are safe; the thirteenth Down reaches row 25.
    for (int i = 0; i < 12; ++i)
        machine.press(TestMachine::Down);
    EXPECT_THROW(run(kernel, "snake"), Sim::Stopped);
    EXPECT_EQ(machine.character(40, 24), '#');
    // A new game starts from the middle again.
    for (int i = 0; i < 13; ++i)
        machine.press(TestMachine::Down);
    run(kernel, "snake");
    EXPECT_EQ(machine.row(12).substr(33, 14), "Your score: 26");

    Console::clear();
    for (int i = 0; i < 40; ++i)
        machine.press(TestMachine::Right);
    run(kernel, "snake");
    EXPECT_EQ(machine.row(12).substr(33, 14), "Your score: 80");
}

TEST(Snake, EscapeGivesUpAndReturnsOnAnEmptyScreen)
{
    TestMachine machine;
    Kernel kernel { shell_commands() };
    machine.press(TestMachine::Up);
    machine.press(TestMachine::Escape);
    machine.press(TestMachine::Up);
    run(kernel, "snake");
    EXPECT_EQ(machine.screen(), std::string(25, '\n'));
    EXPECT_EQ(Console::cursor_top(), 0);
    EXPECT_EQ(Console::cursor_left(), 0);
    // The Up after Escape stays for the prompt.
    EXPECT_EQ(machine.pending(), 3u);
}

TEST(Matrix, RunsItsStepsAndReturnsWithTheNameInTheMiddle)
{
    TestMachine machine;
    CmosClock clock(10, 0, 30);
    Kernel kernel { shell_commands() };
    Console::set_cursor_top(3);
    run(kernel, "matrix");
    EXPECT_EQ(machine.row(11).substr(37, 7), "Tessary");
    EXPECT_EQ(machine.attribute(37, 11), 0x0F);
    // The rain scrolled the screen; every symbol keeps its colour.
    EXPECT_GT(machine.writer().scroll_count(), 0u);
    std::map<char, u8> colours = { { '*', 0x0A }, { ';', 0x0C }, { '+', 0x0E }, { '~', 0x09 }, { '&', 0x0B } };
    int symbols = 0;
    for (int y = 0; y < TextScreen::Rows; ++y) {
        for (int x = 0; x < TextScreen::Cols; ++x) {
            auto it = colours.find(static_cast<char>(machine.character(x, y)));
            if (it == colours.end())
                continue;
            ++symbols;
            EXPECT_EQ(machine.attribute(x, y), it->second) << x << "," << y;
        }
    }
    EXPECT_GT(symbols, 1000);
    EXPECT_EQ(Console::foreground_color(), ConsoleColor::White);
}

TEST(Lolz, CyclesThroughItsSixteenColoursEndlessly)
{
    TestMachine machine;
    // The waits' one-shots pass until the seventeenth line is there.
    Sim::on_timer_read([&machine] {
        if (machine.line(16) == "LOLZ")
            throw Sim::Stopped {};
    });
    Kernel kernel { shell_commands() };
    EXPECT_THROW(run(kernel, "lolz"), Sim::Stopped);
    Sim::on_timer_read(nullptr);
    // The stop unwound a timer wait that the kernel never leaves that way;
    // one complete wait puts the timer's bookkeeping back for later tests.
    PIT().wait(1);
    // Blue, cyan, dark blue, dark cyan, dark grey, dark green, dark magenta,
    // dark red, dark yellow twice, grey, green, magenta, red, white, yellow,
    // then blue again.
    u8 const expected[] = { 9, 11, 1, 3, 8, 2, 5, 4, 6, 6, 7, 10, 13, 12, 15, 14, 9 };
    for (int row = 0; row < 17; ++row) {
        EXPECT_EQ(machine.line(row), "LOLZ") << "row " << row;
        EXPECT_EQ(machine.attribute(0, row), expected[row]) << "row " << row;
    }
}

TEST(Fillcon, PaintsTheScreenRedAndLeavesTheBackgroundRed)
{
    TestMachine machine;
    Kernel kernel { shell_commands() };
    run(kernel, "fillcon");
    for (int row = 0; row < 24; ++row) {
        EXPECT_EQ(machine.attribute(0, row) >> 4, 12) << row;
        EXPECT_EQ(machine.attribute(79, row) >> 4, 12) << row;
    }
    EXPECT_EQ(Console::cursor_top(), 24);
    EXPECT_EQ(Console::cursor_left(), 0);
    EXPECT_EQ(Console::background_color(), ConsoleColor::Red);
}

TEST(Credits, EveryKeyButEscapeAddsAnEmptyLine)
{
    TestMachine machine;
    Kernel kernel { shell_commands() };
    ASSERT_FALSE(Console::write_line("old").is_error());
    machine.type("ab");
    machine.press(TestMachine::Escape);
    run(kernel, "credits");
    EXPECT_EQ(machine.line(0), "Press ESC to exit");
    EXPECT_EQ(machine.line(1), "a");
    EXPECT_EQ(machine.line(2), "b");
    EXPECT_EQ(Console::cursor_top(), 3);
}

TEST(Stopwatch, CountsHoursMinutesSecondsAndStopsOnEscape)
{
    TestMachine machine;
    CmosClock clock(0, 0, 0, 0); // standing still: the count runs on the timer
    Kernel kernel { shell_commands() };
    Keyboard* console = Keyboard::receiver();
    machine.press(TestMachine::Escape);
    // 5 ms per read of the interval timer keeps an hour of counting quick.
    Sim::set_timer_ticks_per_read(PIT::Frequency / 200);
    Sim::on_timer_read([&] {
        if (machine.line(23) == "1:0:0")
            machine.deliver_all();
    });
    run(kernel, "stopwatch");
    EXPECT_EQ(machine.line(22), "0:59:59");
    EXPECT_EQ(machine.line(23), "1:0:0");
    EXPECT_EQ(machine.line(24), "");
    // 3601 lines, one a second.
    EXPECT_NEAR(static_cast<double>(Sim::timer_milliseconds()), 3601000.0, 36000.0);
    EXPECT_EQ(Keyboard::receiver(), console);

    // The first line of a fresh count is 0:0:0, and the prompt's keyboard
    // receives keys again.
    Console::clear();
    machine.press(TestMachine::Escape);
    Sim::on_timer_read([&] {
        if (machine.line(0) == "0:0:0")
            machine.deliver_all();
    });
    run(kernel, "stopwatch");
    Sim::on_timer_read(nullptr);
    EXPECT_EQ(machine.line(0), "0:0:0");
    EXPECT_EQ(machine.line(1), "");
    machine.type("go\n");
    auto line = Console::read_line();
    ASSERT_FALSE(line.is_error());
    EXPECT_EQ(ascii(line.value()), "go");
}

TEST(About, SlidesTheNameInOverThirtyEightFramesOf400Milliseconds)
{
    TestMachine machine;
    timer_on_every_halt();
    Kernel kernel { shell_commands() };
    run(kernel, "about");
    // 38 separators of 400 ms, waited in 50 ms periods.
    EXPECT_EQ(Sim::halt_count(), 38u * 8);
    // The last frame: a 22-column red word, then a 16-column cyan one.
    for (int row = 0; row < 6; ++row) {
        std::string line = machine.row(row);
        EXPECT_NE(line.substr(0, 22).find('@'), std::string::npos) << row;
        EXPECT_NE(line.substr(22, 16).find('@'), std::string::npos) << row;
        EXPECT_LE(machine.line(row).size(), 38u) << row;
        for (int x = 0; x < 38; ++x) {
            if (line[x] == '@') {
                EXPECT_EQ(machine.attribute(x, row), x < 22 ? 0x0C : 0x0B) << x << "," << row;
            }
        }
    }
    EXPECT_EQ(machine.line(6), "");
}
