#include "fs/TimeStamp.h"
#include "hal/Time.h"

// Kernel time stamps come from the battery-backed clock.
ClockReading TimeStamp::ReadClock()
{
    return { RTC::DayOfTheWeek(), RTC::Month(), RTC::DayOfTheMonth(), RTC::Year(), RTC::Hour(), RTC::Minute() };
}
