#include "fs/TimeStamp.h"

namespace {
char const* const DayNames[7] = { "Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat" };
}

String TimeStamp::dayName(u8 dayOfWeek)
{
    if (dayOfWeek < 1 || dayOfWeek > 7)
        return {};
    return DayNames[dayOfWeek - 1];
}

String TimeStamp::timeString(ClockReading const& clock)
{
    // Midnight reads 12; there is no AM/PM.
    String hour = clock.hour == 0 ? String("12") : String::number(clock.hour);
    return hour + ":" + String::zero_padded(clock.minute, 2);
}

String TimeStamp::dateTimeString(ClockReading const& clock)
{
    return dayName(clock.dayOfWeek) + " " + String::number(clock.month) + "/" + String::number(clock.day) + "/"
        + String::zero_padded(clock.year, 2) + " " + timeString(clock);
}

String TimeStamp::dateTimeString() { return dateTimeString(ReadClock()); }
String TimeStamp::timeString() { return timeString(ReadClock()); }
