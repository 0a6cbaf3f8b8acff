// Clock and the user's locale, from the C library (LC_TIME of the environment).
#pragma once

#include <ctime>
#include <optional>
#include <string>

namespace platform {

// Current local time; tests may pin it.
std::tm LocalNow();
void SetClockForTesting(std::optional<std::time_t> now);

// 0 = Sunday .. 6 = Saturday, of the current local date.
int DayOfWeekToday();
// The full weekday name of today in the user's locale ("Wednesday", "Mittwoch").
std::string LongDayNameToday();

// The user's long time format, as far as the error log uses it.
struct TimeFormat {
    bool twelveHour = false;
    bool leadingZero = true;  // "hh" rather than "h"
    std::string separator = ":";
    bool markerFirst = false;  // AM/PM text before the time
    std::string am, pm;
};

TimeFormat CurrentTimeFormat();  // from nl_langinfo(T_FMT) of LC_TIME
std::string FormatLongTime(int hour, int minute, int second, const TimeFormat& format);
// The current local time of day in the user's long time format.
std::string LongTimeNow();

}  // namespace platform
