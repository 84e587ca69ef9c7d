#include "kernel/Kernel.h"
#include "base/StdString.h"
#include "tests/sim/TestMachine.h"

#include <gtest/gtest.h>

#include <string>

namespace {

int g_passes = 0;

// Stands in for the benchmark image's task: fails on the run's third pass.
ErrorOr<void> fail_on_third_pass(Kernel&)
{
    if (++g_passes == 3)
        return Error("disk on fire");
    return {};
}

}

TEST(Kernel, GoesRoundTheQuestionUntilAnErrorEndsTheRunThenReportsItAndRefusesASecondStart)
{
    TestMachine machine;
    g_passes = 0;
    Kernel::run_after_boot_screen(fail_on_third_pass);
    // Neither DOS nor GUI: the run asks again.
    machine.type("x\ny\n");
    Kernel kernel { Vector<Command>() };
    EXPECT_FALSE(kernel.start().is_error());
    Kernel::run_after_boot_screen(nullptr);
    EXPECT_EQ(g_passes, 3);

    std::string screen = machine.screen();
    EXPECT_NE(screen.find("Creating partitions...OK\n"
                          "Do you want to boot on DOS or on GUI? DOS/GUI\nx\n"
                          "Do you want to boot on DOS or on GUI? DOS/GUI\ny\n"
                          "Exception occurred while running kernel:\nException: disk on fire"),
        std::string::npos)
        << screen;

    auto again = kernel.start();
    ASSERT_TRUE(again.is_error());
    EXPECT_EQ(ascii(again.error().message()), "Kernel has already been started. A kernel cannot be started twice.");
    EXPECT_EQ(g_passes, 3);
}
