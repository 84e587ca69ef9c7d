#include "kernel/Output.h"
#include "kernel/ProgressBar.h"
#include "tests/unit/ShellTestSupport.h"

#include <gtest/gtest.h>

TEST(WriteColoured, LeavesWhiteWhateverWasSetBefore)
{
    TestMachine machine;
    Console::set_foreground_color(ConsoleColor::Yellow);
    ASSERT_FALSE(write_coloured("ab", ConsoleColor::Green).is_error());
    EXPECT_EQ(machine.line(0), "ab");
    EXPECT_EQ(machine.attribute(0, 0), 0x0A);
    EXPECT_EQ(Console::foreground_color(), ConsoleColor::White);
}

TEST(WriteCentred, CentresOnBothAxesAndPutsCursorAndColourBack)
{
    TestMachine machine;
    Console::set_cursor_top(3);
    Console::set_cursor_left(5);
    Console::set_foreground_color(ConsoleColor::Magenta);
    ASSERT_FALSE(write_centred("Tessary", ConsoleColor::Cyan, true, true).is_error());
    // 80 / 2 - 7 / 2 = 37 on row 25 / 2 - 1 = 11.
    EXPECT_EQ(machine.row(11).substr(37, 7), "Tessary");
    EXPECT_EQ(machine.attribute(37, 11), 0x0B);
    EXPECT_EQ(Console::cursor_top(), 3);
    EXPECT_EQ(Console::cursor_left(), 5);
    EXPECT_EQ(Console::foreground_color(), ConsoleColor::Magenta);

    // Only the axes asked for are moved; an odd length rounds towards the
    // left (80 / 2 - 9 / 2 = 36).
    ASSERT_FALSE(write_centred("123456789", ConsoleColor::Red, true, false).is_error());
    EXPECT_EQ(machine.row(3).substr(36, 9), "123456789");
    EXPECT_EQ(Console::cursor_left(), 5);
}

TEST(WriteLineCentred, EndsTheLineAndRestoresOnlyTheCentredColumn)
{
    TestMachine machine;
    Console::set_cursor_top(10);
    ASSERT_FALSE(write_line_centred("YOU LOSE!", ConsoleColor::Red, true, false).is_error());
    EXPECT_EQ(machine.row(10).substr(36, 9), "YOU LOSE!");
    EXPECT_EQ(Console::cursor_top(), 11);
    EXPECT_EQ(Console::cursor_left(), 0);
    EXPECT_EQ(Console::foreground_color(), ConsoleColor::White);
}

TEST(ProgressBar, DrawsTrackFillAndPercentOnTheNextLineAndKeepsTheCursor)
{
    TestMachine machine;
    // The bar writes "[", the track, "] " and the percentage: what was on
    // the line in between and after stays.
    Console::set_cursor_top(5);
    ASSERT_FALSE(Console::write(String::repeated(u'x', 79)).is_error());
    Console::set_cursor_top(4);
    Console::set_cursor_left(0);
    ProgressBar bar(0, false);
    ASSERT_FALSE(bar.refresh().is_error());
    EXPECT_EQ(machine.line(5), "[" + std::string(50, ' ') + "] x0%" + std::string(23, 'x'));
    EXPECT_EQ(Console::cursor_top(), 4);
    EXPECT_EQ(Console::cursor_left(), 0);

    bar.set_value(37);
    ASSERT_FALSE(bar.refresh().is_error());
    EXPECT_EQ(machine.line(5), "[" + std::string(18, '=') + std::string(32, ' ') + "] x37%" + std::string(22, 'x'));

    // Out-of-range values are ignored; Increment stops at 100.
    bar.set_value(101);
    bar.set_value(-1);
    EXPECT_EQ(bar.value(), 37);
    bar.set_value(99);
    ASSERT_FALSE(bar.increment().is_error());
    ASSERT_FALSE(bar.increment().is_error());
    EXPECT_EQ(bar.value(), 100);
    EXPECT_EQ(machine.line(5), "[" + std::string(50, '=') + "] x100%" + std::string(21, 'x'));
    EXPECT_EQ(Console::cursor_top(), 4);
}

TEST(ProgressBar, CharByCharFillLooksTheSameAndADrawShrinksTheFill)
{
    TestMachine machine;
    ProgressBar bar(60, true);
    ASSERT_FALSE(bar.refresh().is_error());
    EXPECT_EQ(machine.line(1), "[" + std::string(30, '=') + std::string(20, ' ') + "]  60%");
    bar.set_value(4);
    ASSERT_FALSE(bar.refresh().is_error());
    // The shorter percentage leaves nothing of the longer one behind.
    EXPECT_EQ(machine.line(1), "[==" + std::string(48, ' ') + "]  4%");
}

TEST(ProgressBar, OnTheLastRowScrollsAndRedrawsThere)
{
    TestMachine machine;
    ASSERT_FALSE(Console::write("top").is_error());
    Console::set_cursor_top(24);
    Console::set_cursor_left(0);
    ProgressBar bar(10, false);
    ASSERT_FALSE(bar.refresh().is_error());
    EXPECT_EQ(machine.line(24).substr(0, 6), "[=====");
    ASSERT_FALSE(bar.refresh().is_error());
    EXPECT_EQ(machine.line(24).substr(0, 6), "[=====");
    // Each draw scrolled by one line: the previous bar moved up and "top"
    // left the screen.
    EXPECT_EQ(machine.line(23), machine.line(24));
    EXPECT_EQ(machine.screen().find("top"), std::string::npos);
    EXPECT_EQ(Console::cursor_top(), 24);
}
