#include "kernel/TessScript.h"
#include "tests/unit/ShellTestSupport.h"

#include <gtest/gtest.h>

namespace {
i32 run(String const& script)
{
    auto result = TessScript::Run(script);
    EXPECT_FALSE(result.is_error());
    return result.is_error() ? -1 : result.value();
}
}

TEST(TessScript, PushesAreExactPrefixesAndTheStackIsKeptBetweenRuns)
{
    TestMachine machine;
    TessScript::stack.clear();
    EXPECT_EQ(run("push hello\npush$ a b\npush\nPush x\npush$x\n"), 0);
    ASSERT_EQ(TessScript::stack.size(), 2u);
    EXPECT_EQ(ascii(TessScript::stack[0]), "hello");
    EXPECT_EQ(ascii(TessScript::stack[1]), "a b");
    EXPECT_EQ(run("push again\n"), 0);
    ASSERT_EQ(TessScript::stack.size(), 3u);
    EXPECT_EQ(ascii(TessScript::stack[2]), "again");
    EXPECT_EQ(machine.screen(), std::string(25, '\n'));
}

TEST(TessScript, TheTextAfterTheLastLineFeedIsNotRun)
{
    TestMachine machine;
    TessScript::stack.clear();
    ASSERT_FALSE(Console::WriteLine("keep").is_error());
    EXPECT_EQ(run("cls"), 0);
    EXPECT_EQ(machine.line(0), "keep");
    EXPECT_EQ(run("push one\npush two"), 0);
    ASSERT_EQ(TessScript::stack.size(), 1u);
    EXPECT_EQ(ascii(TessScript::stack[0]), "one");
    EXPECT_EQ(run("cls\n"), 0);
    EXPECT_EQ(machine.line(0), "");
    EXPECT_EQ(run(""), 0);
}

TEST(TessScript, WaitReportsOnceAndDoesNotWait)
{
    TestMachine machine;
    EXPECT_EQ(run("wait 10\n\nwait\nnonsense\n"), 0);
    EXPECT_EQ(machine.screen().substr(0, 31), "WAIT function not implemented!\n");
    EXPECT_EQ(machine.line(1), "");
    EXPECT_EQ(Sim::halt_count(), 0u);
}

TEST(TessScript, WaitForKeyReadsAndEchoesOneKeyButNotOnCrLfLines)
{
    TestMachine machine;
    machine.type("xy");
    EXPECT_EQ(run("wfk\n"), 0);
    EXPECT_EQ(machine.line(0), "x");
    // With CR LF line ends the line is "wfk\r": no statement, no key read.
    EXPECT_EQ(run("wfk\r\ncls\r\n"), 0);
    EXPECT_EQ(machine.line(0), "x");
    EXPECT_EQ(machine.pending(), 3u);
}
