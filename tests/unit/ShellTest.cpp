#include "kernel/Shell.h"
#include "base/StdString.h"

#include <gtest/gtest.h>

TEST(SplitAtFirstSpace, SplitsOnlyAtTheFirstSpace)
{
    EXPECT_EQ(split_at_first_space("").size(), 0u);
    auto one = split_at_first_space("ls");
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(ascii(one[0]), "ls");
    auto trailing = split_at_first_space("ls ");
    ASSERT_EQ(trailing.size(), 2u);
    EXPECT_EQ(ascii(trailing[1]), "");
    auto spaced = split_at_first_space("help    me");
    ASSERT_EQ(spaced.size(), 2u);
    EXPECT_EQ(ascii(spaced[0]), "help");
    EXPECT_EQ(ascii(spaced[1]), "   me");
    auto leading = split_at_first_space(" x");
    ASSERT_EQ(leading.size(), 2u);
    EXPECT_EQ(ascii(leading[0]), "");
    EXPECT_EQ(ascii(leading[1]), "x");
}

TEST(GetKeyFromKey, NamesKeys)
{
    EXPECT_EQ(ascii(get_key_from_key(ConsoleKey::F1)), "");
    EXPECT_EQ(ascii(get_key_from_key(ConsoleKey::Backspace)), "DEL");
    EXPECT_EQ(ascii(get_key_from_key(static_cast<ConsoleKey>(81))), "q");
    EXPECT_EQ(ascii(get_key_from_key(ConsoleKey::Enter)), "\n");
    EXPECT_EQ(ascii(get_key_from_key(ConsoleKey::Escape)), "ESC");
    EXPECT_EQ(ascii(get_key_from_key(ConsoleKey::Spacebar)), " ");
    EXPECT_EQ(ascii(get_key_from_key(ConsoleKey::DownArrow)), "DOWN");
    EXPECT_EQ(ascii(get_key_from_key(static_cast<ConsoleKey>(48))), "");
}
