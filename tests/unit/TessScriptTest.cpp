#include "kernel/TessScript.h"
#include "tests/unit/ShellTestSupport.h"

#include <gtest/gtest.h>

namespace {
i32 run(TessScript& interpreter, String const& script)
{
    auto result = interpreter.run(script);
    EXPECT_FALSE(result.is_error());
    return result.is_error() ? -1 : result.value();
}
}

TEST(TessScript, PushesAreExactPrefixesAndTheStackIsKeptBetweenRuns)
{
    TessScript script;
    TestMachine machine;
    EXPECT_EQ(run(script, "push hello\npush$ a b\npush\nPush x\npush$x\n"), 0);
    ASSERT_EQ(script.stack().size(), 2u);
    EXPECT_EQ(ascii(script.stack()[0]), "hello");
    EXPECT_EQ(ascii(script.stack()[1]), "a b");
    EXPECT_EQ(run(script, "push again\n"), 0);
    ASSERT_EQ(script.stack().size(), 3u);
    EXPECT_EQ(ascii(script.stack()[2]), "again");
    EXPECT_EQ(machine.screen(), std::string(25, '\n'));
}

TEST(TessScript, TheTextAfterTheLastLineFeedIsNotRun)
{
    TessScript script;
    TestMachine machine;
    ASSERT_FALSE(Console::write_line("keep").is_error());
    EXPECT_EQ(run(script, "cls"), 0);
    EXPECT_EQ(machine.line(0), "keep");
    EXPECT_EQ(run(script, "push one\npush two"), 0);
    ASSERT_EQ(script.stack().size(), 1u);
    EXPECT_EQ(ascii(script.stack()[0]), "one");
    EXPECT_EQ(run(script, "cls\n"), 0);
    EXPECT_EQ(machine.line(0), "");
    EXPECT_EQ(run(script, ""), 0);
}

TEST(TessScript, WaitReportsOnceAndDoesNotWait)
{
    TessScript script;
    TestMachine machine;
    EXPECT_EQ(run(script, "wait 10\n\nwait\nnonsense\n"), 0);
    EXPECT_EQ(machine.screen().substr(0, 31), "WAIT function not implemented!\n");
    EXPECT_EQ(machine.line(1), "");
    EXPECT_EQ(Sim::halt_count(), 0u);
}

TEST(TessScript, WaitForKeyReadsAndEchoesOneKeyButNotOnCrLfLines)
{
    TessScript script;
    TestMachine machine;
    machine.type("xy");
    EXPECT_EQ(run(script, "wfk\n"), 0);
    EXPECT_EQ(machine.line(0), "x");
    // With CR LF line ends the line is "wfk\r": no statement, no key read.
    EXPECT_EQ(run(script, "wfk\r\ncls\r\n"), 0);
    EXPECT_EQ(machine.line(0), "x");
    EXPECT_EQ(machine.pending(), 3u);
}
