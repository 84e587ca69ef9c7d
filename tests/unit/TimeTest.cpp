#include "hal/Time.h"
#include "base/StdString.h"
#include "hal/Interrupts.h"
#include "tests/sim/CmosClock.h"
#include "tests/sim/Sim.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct ClockTest : ::testing::Test {
    Sim::FreshMachine fresh;
    CmosClock cmos { 0, 0, 0, 0 }; // standing still unless a test says
    void binary_24h(u8 hour, u8 minute)
    {
        cmos.registers[0x0B] = 0x06;
        cmos.registers[0x04] = hour;
        cmos.registers[0x02] = minute;
    }
};

}

TEST_F(ClockTest, ConvertsBcdValues)
{
    cmos.registers[0x0B] = 0x02; // BCD, 24-hour
    cmos.registers[0x00] = 0x59;
    cmos.registers[0x04] = 0x23;
    cmos.registers[0x09] = 0x26;
    EXPECT_EQ(RTC::second(), 59);
    EXPECT_EQ(RTC::hour(), 23);
    EXPECT_EQ(RTC::year(), 26);
}

TEST_F(ClockTest, ConvertsTwelveHourClocks)
{
    cmos.registers[0x0B] = 0x00; // BCD, 12-hour
    cmos.registers[0x04] = 0x12; // 12 am
    EXPECT_EQ(RTC::hour(), 0);
    cmos.registers[0x04] = 0x80 | 0x12; // 12 pm
    EXPECT_EQ(RTC::hour(), 12);
    cmos.registers[0x04] = 0x80 | 0x01; // 1 pm
    EXPECT_EQ(RTC::hour(), 13);
    cmos.registers[0x04] = 0x09;
    EXPECT_EQ(RTC::hour(), 9);
}

TEST_F(ClockTest, WaitsOutAnUpdateButGivesUpOnAFlagStuckOn)
{
    binary_24h(10, 30);
    // A poll of the real clock takes about a microsecond.
    Sim::set_timer_ticks_per_read(2);
    cmos.busy_reads = 1000;
    EXPECT_EQ(RTC::minute(), 30);
    EXPECT_EQ(cmos.busy_reads, 0);
    // A dead CMOS reads 0xFF, update flag included: the wait is a matter of
    // milliseconds on the timer, however fast the polls.
    cmos.registers[0x0A] = 0xFF;
    u64 before = Sim::timer_milliseconds();
    EXPECT_EQ(RTC::minute(), 30);
    u64 waited = Sim::timer_milliseconds() - before;
    EXPECT_GE(waited, 2u);
    EXPECT_LE(waited, 10u);
}

TEST_F(ClockTest, FormatsTwentyFourAndTwelveHourTimes)
{
    struct Case {
        u8 hour, minute;
        char const* twenty_four;
        char const* twelve;
    } cases[] = {
        { 14, 7, "14:07", "2:07pm" },
        { 9, 30, "9:30", "9:30am" },
        { 0, 5, "0:05", "12:05am" },
        { 9, 5, "9:05", "9:05am" },
        { 12, 30, "12:30", "12:30pm" },
        { 13, 30, "13:30", "1:30pm" },
    };
    for (auto const& c : cases) {
        binary_24h(c.hour, c.minute);
        EXPECT_EQ(ascii(Time::twenty_four_hour_to_string()), c.twenty_four);
        EXPECT_EQ(ascii(Time::twelve_hour_to_string()), c.twelve);
    }
}

TEST_F(ClockTest, WaitLastsWholeSecondsOfTheTimerWhileTheClockStandsStill)
{
    for (i32 seconds : { 0, 1, 3 }) {
        u64 before = Sim::timer_milliseconds();
        Time::wait(seconds);
        u64 waited = Sim::timer_milliseconds() - before;
        EXPECT_GE(waited, seconds * 1000u) << seconds;
        EXPECT_LE(waited, seconds * 1010u) << seconds;
    }
}

namespace {

// Channel 0 of the interval timer: records the divisors it is armed with and
// fires the one-shot at the next halt.
struct OneShotTimer : Sim::PortDevice {
    std::vector<u32> divisors;
    std::vector<u8> bytes;
    u32 read(u16, int) override { return 0; }
    void write(u16 port, u32 value, int) override
    {
        if (port == 0x43 && value == 0x30)
            bytes.clear();
        if (port == 0x40) {
            bytes.push_back(static_cast<u8>(value));
            if (bytes.size() == 2)
                divisors.push_back(bytes[0] | (bytes[1] << 8));
        }
    }
};

struct TimerTest : ::testing::Test {
    OneShotTimer timer;
    void SetUp() override
    {
        Sim::reset();
        // Channel 2 stays the simulated machine's own free-running counter.
        Sim::attach(0x40, 0x40, &timer);
        Sim::attach(0x43, 0x43, &timer);
        Sim::on_halt([] { Sim::raise_irq(0); });
    }
    u64 total_microseconds() const
    {
        u64 ticks = 0;
        for (u32 d : timer.divisors)
            ticks += d;
        return ticks * 1000000 / PIT::Frequency;
    }
};

}

TEST_F(TimerTest, WaitMSWaitsTheRequestedMilliseconds)
{
    for (u32 ms : { 1u, 20u, 55u, 100u, 750u }) {
        timer.divisors.clear();
        Time::wait_ms(ms);
        EXPECT_NEAR(static_cast<double>(total_microseconds()), ms * 1000.0, ms * 2.0 + 1) << ms;
        for (u32 d : timer.divisors)
            EXPECT_LE(d, 0xFFFFu);
    }
}

TEST_F(TimerTest, WaitMSOfZeroReturnsAtOnce)
{
    Time::wait_ms(0);
    EXPECT_TRUE(timer.divisors.empty());
    EXPECT_EQ(Sim::halt_count(), 0u);
}

TEST_F(TimerTest, ArmingAOneShotUnmasksEveryLine)
{
    Sim::clear_accesses();
    PIT::arm_one_shot(1193);
    ASSERT_EQ(timer.divisors.size(), 1u);
    EXPECT_EQ(timer.divisors[0], 1193u);
    // Both controllers get every line enabled through their masks, and are
    // not initialised again (ICW1 goes to the command ports): that would
    // drop the requests they hold, a key's among them.
    auto master = Sim::writes_to(0x21);
    auto slave = Sim::writes_to(0xA1);
    ASSERT_EQ(master.size(), 1u);
    ASSERT_EQ(slave.size(), 1u);
    EXPECT_EQ(master[0].value, 0x00u);
    EXPECT_EQ(slave[0].value, 0x00u);
    EXPECT_TRUE(Sim::writes_to(0x20).empty());
    EXPECT_TRUE(Sim::writes_to(0xA0).empty());
}

TEST_F(TimerTest, PitWaitRunsItsTimerOnceItsTimeHasPassed)
{
    PIT pit;
    pit.wait(120);
    EXPECT_GE(total_microseconds(), 120000u);
    EXPECT_LT(total_microseconds(), 120000u + 50000u);
    EXPECT_FALSE(pit.has_timers());
}

TEST(PitTimers, RecurringTimersFireEveryPeriodAndRegistrationIsOnce)
{
    static int g_fired;
    g_fired = 0;
    PIT pit;
    PITTimer timer([] { ++g_fired; }, 10, true);
    EXPECT_FALSE(pit.register_timer(&timer).is_error());
    auto again = pit.register_timer(&timer);
    ASSERT_TRUE(again.is_error());
    EXPECT_EQ(ascii(again.error().message()), "Timer has already been registered!");
    pit.elapse(25);
    EXPECT_EQ(g_fired, 1);
    pit.elapse(10);
    EXPECT_EQ(g_fired, 2);
    EXPECT_TRUE(pit.has_timers());
}

TEST_F(ClockTest, CountsSecondsSince1970AcrossLeapDaysAndCenturies)
{
    cmos.registers[0x0B] = 0x06; // binary, 24-hour
    struct Date {
        u8 year, month, day, hour, minute, second;
        u32 expected;
    };
    for (Date date : { Date { 0, 1, 1, 0, 0, 0, 946684800 }, Date { 0, 2, 29, 12, 0, 0, 951825600 },
             Date { 0, 3, 1, 0, 0, 0, 951868800 }, Date { 23, 11, 14, 22, 13, 20, 1700000000 },
             Date { 38, 1, 19, 3, 14, 8, 2147483648u }, Date { 99, 12, 31, 23, 59, 59, 4102444799u } }) {
        cmos.registers[0x09] = date.year;
        cmos.registers[0x08] = date.month;
        cmos.registers[0x07] = date.day;
        cmos.registers[0x04] = date.hour;
        cmos.registers[0x02] = date.minute;
        cmos.registers[0x00] = date.second;
        RTC::reset();
        EXPECT_EQ(RTC::seconds_since_1970(), date.expected) << int(date.year) << "-" << int(date.month);
    }
}
