#pragma once

#include "base/Error.h"

// The battery-backed real-time clock (CMOS registers through ports 0x70/0x71).
namespace RTC {
u8 second();
u8 minute();
u8 hour();
u8 day_of_the_week();
u8 day_of_the_month();
u8 month();
u8 year();
// Returns when the second changes. A clock that stands still (updates
// switched off by bit 7 of status register B, a dead CMOS) ends the wait
// after a little more than a second instead of never.
void wait_for_next_second();
// The clock's date and time as seconds since 1970-01-01 00:00. The clock's
// fields are taken as UTC: the system knows no time zone.
u32 seconds_since_1970();
// The same count for a date (the year in full, month and day from 1) and a
// time of day: the arithmetic alone, for dates that come from elsewhere.
constexpr u32 seconds_since_1970(u32 year, u32 month, u32 day, u32 hour, u32 minute, u32 second)
{
    // Days from 1970 to the first of the month, counted from March so that
    // the leap day ends the counted year.
    i32 shifted = static_cast<i32>(month <= 2 ? year - 1 : year);
    i32 era = shifted / 400;
    u32 year_of_era = static_cast<u32>(shifted - era * 400);
    u32 day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    u32 day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    i32 days = era * 146097 + static_cast<i32>(day_of_era) - 719468;
    return static_cast<u32>(days) * 86400 + hour * 3600 + minute * 60 + second;
}
// Forget the mode flags read at the first access (tests change clocks).
void reset();
}

// A timer on the interval timer's one-shot interrupt: its trigger runs once
// its timeout has elapsed, and again every timeout when it is recurring.
struct PITTimer {
    using Trigger = void (*)();
    PITTimer(Trigger trigger, i32 timeout_ns, bool recurring)
        : recurring(recurring)
        , nanoseconds_left(timeout_ns)
        , nanoseconds_timeout(timeout_ns)
        , trigger_routine(trigger)
    {
    }
    bool recurring;
    i32 nanoseconds_left;
    i32 nanoseconds_timeout;
    i32 timer_id { -1 };
    Trigger trigger_routine;
};

// The 8253/8254 programmable interval timer, channel 0 in one-shot mode.
class PIT {
public:
    static constexpr u32 Frequency = 1193180;

    // Arms channel 0 to interrupt once after `divisor` input clock periods
    // (at most 65535).
    static void arm_one_shot(u32 divisor);

    ErrorOr<i32> register_timer(PITTimer* timer);
    void unregister_timer(i32 id);
    // Time::wait_ms, with this timer's registered timers counted down (and
    // their triggers run) as the periods elapse.
    void wait(u32 milliseconds);
    // Counts the registered timers down by the period that just elapsed and
    // runs the triggers that came due.
    void elapse(u32 nanoseconds);
    bool has_timers() const { return !m_timers.is_empty(); }

private:
    Vector<PITTimer*> m_timers;
    i32 m_timer_counter { 0 };
};

// A time limit for loops that poll hardware. It counts the interval timer's
// channel 2, which runs freely once started and raises no interrupt, so a
// deadline works anywhere: with interrupts masked, before the interrupt
// table exists, inside a driver. The counter turns over every 55 ms; a loop
// that checks less often than that only makes its limit come later, never
// earlier.
class Deadline {
public:
    explicit Deadline(u32 milliseconds);
    bool has_passed();

private:
    u64 m_ticks_left;
    u16 m_last;
};

namespace Time {
// Whole seconds, measured on the interval timer rather than on the
// real-time clock: the clock's second only tells that a new second has
// begun, so counting n of its changes lasts anywhere from n - 1 to n
// seconds, and a clock that stands still would never end the wait. The
// timer runs whatever the CMOS does. 0 or less returns at once.
void wait(i32 seconds);
// Milliseconds measured with one-shot periods of the interval timer,
// halted through: the one way the system waits. (A Deadline only bounds
// a loop that polls hardware.) Needs interrupts: the boot has them on
// before the first wait.
void wait_ms(u32 milliseconds);

// Marks the start of the system for milliseconds_since_start; the boot
// calls it first thing.
void mark_start();
// Milliseconds since mark_start, wrapping after 49 days. Counted on the
// processor's time-stamp counter, whose rate is measured once, at the first
// call, against the interval timer.
u32 milliseconds_since_start();

String twenty_four_hour_to_string();
String twelve_hour_to_string();
String get_correct_minute();

// The line-0 interrupt: completion of the one-shot.
void on_timer_interrupt();
}
