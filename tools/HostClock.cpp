#include "fs/TimeStamp.h"

#include <ctime>

// Time stamps of records written by the tool come from the host's clock.
ClockReading TimeStamp::read_clock()
{
    std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);
    return { static_cast<u8>(local.tm_wday + 1), static_cast<u8>(local.tm_mon + 1), static_cast<u8>(local.tm_mday),
        static_cast<u8>(local.tm_year % 100), static_cast<u8>(local.tm_hour), static_cast<u8>(local.tm_min) };
}
