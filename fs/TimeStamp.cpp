#include "fs/TimeStamp.h"
#include "hal/Time.h"

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

std::optional<u32> TimeStamp::seconds_since_1970(String const& date_time)
{
    // "Mon 3/7/26 9:05": the day's name, then month/day/year hour:minute,
    // each field one or two digits.
    constexpr char16_t Ends[] = { u'/', u'/', u' ', u':', 0 };
    u32 fields[5] {};
    i32 space = date_time.index_of(u' ');
    if (space < 0)
        return {};
    size_t at = static_cast<size_t>(space) + 1;
    for (size_t field = 0; field < 5; ++field) {
        size_t start = at;
        for (; at < date_time.length() && at - start < 2 && date_time[at] >= u'0' && date_time[at] <= u'9'; ++at)
            fields[field] = fields[field] * 10 + (date_time[at] - u'0');
        char16_t end = at < date_time.length() ? date_time[at] : 0;
        if (at == start || end != Ends[field])
            return {};
        ++at;
    }
    auto [month, day, year, hour, minute] = fields;
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59)
        return {};
    return RTC::seconds_since_1970(2000 + year, month, day, hour, minute, 0);
}
