#include "fs/TimeStamp.h"
#include "hal/Time.h"

// Kernel time stamps come from the battery-backed clock.
ClockReading TimeStamp::read_clock()
{
    return { RTC::day_of_the_week(), RTC::month(), RTC::day_of_the_month(), RTC::year(), RTC::hour(), RTC::minute() };
}
