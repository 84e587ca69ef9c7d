#include "kernel/Shell.h"
#include "base/StdString.h"

#include <gtest/gtest.h>

TEST(SplitAtFirstSpace, SplitsOnlyAtTheFirstSpace)
{
    EXPECT_EQ(SplitAtFirstSpace("").size(), 0u);
    auto one = SplitAtFirstSpace("ls");
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(ascii(one[0]), "ls");
    auto trailing = SplitAtFirstSpace("ls ");
    ASSERT_EQ(trailing.size(), 2u);
    EXPECT_EQ(ascii(trailing[1]), "");
    auto spaced = SplitAtFirstSpace("help    me");
    ASSERT_EQ(spaced.size(), 2u);
    EXPECT_EQ(ascii(spaced[0]), "help");
    EXPECT_EQ(ascii(spaced[1]), "   me");
    auto leading = SplitAtFirstSpace(" x");
    ASSERT_EQ(leading.size(), 2u);
    EXPECT_EQ(ascii(leading[0]), "");
    EXPECT_EQ(ascii(leading[1]), "x");
}

TEST(GetKeyFromKey, NamesKeys)
{
    EXPECT_EQ(ascii(getKeyFromKey(ConsoleKey::F1)), "");
    EXPECT_EQ(ascii(getKeyFromKey(ConsoleKey::Backspace)), "DEL");
    EXPECT_EQ(ascii(getKeyFromKey(static_cast<ConsoleKey>(81))), "q");
    EXPECT_EQ(ascii(getKeyFromKey(ConsoleKey::Enter)), "\n");
    EXPECT_EQ(ascii(getKeyFromKey(ConsoleKey::Escape)), "ESC");
    EXPECT_EQ(ascii(getKeyFromKey(ConsoleKey::Spacebar)), " ");
    EXPECT_EQ(ascii(getKeyFromKey(ConsoleKey::DownArrow)), "DOWN");
    EXPECT_EQ(ascii(getKeyFromKey(static_cast<ConsoleKey>(48))), "");
}
