#pragma once

#include "base/String.h"

#include <optional>

// The clock values a time stamp is made from; day_of_week counts from
// 1 = Sunday, year is two digits.
struct ClockReading {
    u8 day_of_week;
    u8 month;
    u8 day;
    u8 year;
    u8 hour;
    u8 minute;
};

// The date-and-time text written into every directory record, for example
// "Mon 3/7/26 9:05".
namespace TimeStamp {

String date_time_string();
String time_string();
String date_time_string(ClockReading const& clock);
String time_string(ClockReading const& clock);
// "Sun" ... "Sat" for 1 ... 7, empty otherwise.
String day_name(u8 day_of_week);
// The minute a date-and-time text names, as seconds since 1970 (the clock's
// fields are UTC, its years 2000-2099); nothing for a text of another form.
// Midnight and noon both read 12: it is taken as noon.
std::optional<u32> seconds_since_1970(String const& date_time);

// The current clock: the real-time clock in the kernel and the tests
// (fs/RtcClock.cpp), the host's clock in the tools (tools/HostClock.cpp).
// CMake links exactly one of them into each program.
ClockReading read_clock();

}
