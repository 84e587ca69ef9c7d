#include "tests/unit/ShellTestSupport.h"

#include <algorithm>
#include <climits>
#include <gtest/gtest.h>

namespace {

// Real-time clocks that stand still, as real machines have them.
struct ClockFault {
    char const* name;
    void (*apply)(CmosClock& clock);
};
ClockFault const Faults[] = {
    { "updates switched off in status register B", [](CmosClock& clock) { clock.registers[0x0B] |= 0x80; } },
    { "a dead CMOS reading 0xFF",
        [](CmosClock& clock) { std::fill(std::begin(clock.registers), std::end(clock.registers), 0xFF); } },
    { "an update flag that never clears", [](CmosClock& clock) { clock.busy_reads = INT_MAX; } },
};

}

TEST(StoppedClock, NeverHangsTheBootScreenMatrixOrStopwatch)
{
    for (auto const& fault : Faults) {
        SCOPED_TRACE(fault.name);
        TestMachine machine;
        CmosClock clock(10, 0, 30, 0);
        fault.apply(clock);
        Kernel kernel { shell_commands() };

        u64 start = Sim::timer_milliseconds();
        ASSERT_FALSE(kernel.show_boot_screen().is_error());
        // Two seconds, then one, then one more.
        EXPECT_NEAR(static_cast<double>(Sim::timer_milliseconds() - start), 4000.0, 50.0);
        EXPECT_EQ(machine.line(10), "Creating partitions...OK");

        ASSERT_FALSE(run_line(kernel, "matrix").is_error());
        EXPECT_EQ(machine.row(11).substr(37, 7), "Tessary");

        // Escape after two and a half seconds: the lines of 0, 1 and 2.
        Console::clear();
        machine.press(TestMachine::Escape);
        start = Sim::timer_milliseconds();
        Sim::on_timer_read([&] {
            if (Sim::timer_milliseconds() - start >= 2500)
                machine.deliver_all();
        });
        ASSERT_FALSE(run_line(kernel, "stopwatch").is_error());
        Sim::on_timer_read(nullptr);
        EXPECT_EQ(machine.line(0), "0:0:0");
        EXPECT_EQ(machine.line(1), "0:0:1");
        EXPECT_EQ(machine.line(2), "0:0:2");
        EXPECT_EQ(machine.line(3), "");
    }
}
