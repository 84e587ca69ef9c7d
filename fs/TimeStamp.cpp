#include "fs/TimeStamp.h"

namespace {
char const* const DayNames[7] = { "Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat" };
}

String TimeStamp::day_name(u8 day_of_week)
{
    if (day_of_week < 1 || day_of_week > 7)
        return {};
    return DayNames[day_of_week - 1];
}

String TimeStamp::time_string(ClockReading const& clock)
{
    // Midnight reads 12; there is no AM/PM.
    String hour = clock.hour == 0 ? String("12") : String::number(clock.hour);
    return hour + ":" + String::zero_padded(clock.minute, 2);
}

String TimeStamp::date_time_string(ClockReading const& clock)
{
    return day_name(clock.day_of_week) + " " + String::number(clock.month) + "/" + String::number(clock.day) + "/"
        + String::zero_padded(clock.year, 2) + " " + time_string(clock);
}

String TimeStamp::date_time_string() { return date_time_string(read_clock()); }
String TimeStamp::time_string() { return time_string(read_clock()); }
