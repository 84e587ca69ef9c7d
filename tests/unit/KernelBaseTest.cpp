#include "kernel/KernelBase.h"
#include "base/StdString.h"
#include "hal/Console.h"
#include "tests/sim/Sim.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string screen_line(int y)
{
    std::string text;
    for (int x = 0; x < 80; ++x)
        text += static_cast<char>(Console::writer().screen().cell(x, y) & 0xFF);
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

// A kernel whose run fails on its third pass.
class CountingKernel : public KernelBase {
public:
    int before = 0, runs = 0;

protected:
    ErrorOr<void> before_run() override
    {
        ++before;
        return {};
    }
    ErrorOr<void> run() override
    {
        if (++runs == 3)
            return Error("disk on fire");
        return {};
    }
};

}

TEST(KernelBase, ReportsAnErrorThatEndsTheRunAndRefusesASecondStart)
{
    Sim::reset();
    CountingKernel kernel;
    EXPECT_FALSE(kernel.start().is_error());
    EXPECT_EQ(kernel.before, 1);
    EXPECT_EQ(kernel.runs, 3);
    EXPECT_EQ(screen_line(0), "Exception occurred while running kernel:");
    EXPECT_EQ(screen_line(1), "Exception: disk on fire");

    auto again = kernel.start();
    ASSERT_TRUE(again.is_error());
    EXPECT_EQ(ascii(again.error().message()), "Kernel has already been started. A kernel cannot be started twice.");
    EXPECT_EQ(kernel.before, 1);
}
