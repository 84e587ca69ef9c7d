#include "tests/sim/TestMachine.h"

#include <gtest/gtest.h>

namespace {
std::string ascii(String const& s)
{
    std::string out;
    for (char16_t c : s.chars())
        out += static_cast<char>(c & 0xFF);
    return out;
}
}

TEST(ReadLine, InsertsAtTheCursorAfterLeftArrows)
{
    TestMachine machine;
    machine.type("abc");
    machine.press(TestMachine::Left);
    machine.press(TestMachine::Left);
    machine.type("X\n");
    auto line = Console::ReadLine();
    ASSERT_FALSE(line.is_error());
    EXPECT_EQ(ascii(line.value()), "aXbc");
    EXPECT_EQ(machine.line(0), "aXbc");
    EXPECT_EQ(Console::CursorTop(), 1);
    EXPECT_EQ(Console::CursorLeft(), 0);
}
