#include "sentrel/linux/SystemClock.h"

#include <cstdlib>
#include <ctime>

namespace sentrel {

void SystemClock::UseSystemTimeZone() {
    // A child can set TZ for the programs it starts; the system's zone is the one that counts.
    ::setenv("TZ", ":/etc/localtime", 1);
    ::tzset();
}

std::int64_t SystemClock::Now() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

std::int64_t SystemClock::Elapsed() {
    timespec ts{};
    ::clock_gettime(CLOCK_BOOTTIME, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

LocalTime SystemClock::Local(std::int64_t wall) {
    const std::time_t t = static_cast<std::time_t>(wall);
    std::tm tm{};
    ::localtime_r(&t, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_wday,
            tm.tm_hour,        tm.tm_min,     tm.tm_sec};
}

}  // namespace sentrel
