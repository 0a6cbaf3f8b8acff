// Time as the guard sees it, injected so that tests can set the clock, jump it, and move it across
// a change of daylight saving time.
#pragma once

#include <cstdint>
#include <string>

namespace enforce {

// A moment in the system's local time.
struct LocalTime {
    int year = 1970, month = 1, day = 1;  // month 1..12
    int weekday = 4;                      // 0 = Sunday .. 6 = Saturday
    int hour = 0, minute = 0, second = 0;
};

class Clock {
  public:
    virtual ~Clock() = default;
    // Wall-clock time, seconds since the epoch: what the user sees and can change.
    virtual std::int64_t Now() = 0;
    // Milliseconds on a clock that never jumps and counts time spent suspended.
    virtual std::int64_t Elapsed() = 0;
    // `wall` in the system's local time.
    virtual LocalTime Local(std::int64_t wall) = 0;
    // The system's time zone as people name it ("Europe/Berlin", "CET"), read again when the
    // system's zone changed; "" when unknown.
    virtual std::string Zone() { return {}; }
};

// "2026-12-08 16:05:03"
std::string FormatDateTime(const LocalTime& t);
// "16:00"
std::string FormatHour(int hour);
// "Sunday" .. "Saturday"
const char* DayName(int weekday);
// "3 min 20 s", "2 h 5 min", "4 s"
std::string FormatDuration(std::int64_t seconds);

}  // namespace enforce
