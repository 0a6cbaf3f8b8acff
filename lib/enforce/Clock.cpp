#include "lib/enforce/Clock.h"

#include <array>
#include <cstdio>

namespace enforce {

std::string FormatDateTime(const LocalTime& t) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    return buf;
}

std::string FormatHour(int hour) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d:00", hour % 24);
    return buf;
}

const char* DayName(int weekday) {
    static constexpr std::array<const char*, 7> names = {
        "Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
    return names[static_cast<std::size_t>(((weekday % 7) + 7) % 7)];
}

std::string FormatDuration(std::int64_t seconds) {
    if (seconds < 0) seconds = 0;
    const std::int64_t days = seconds / 86400, hours = seconds / 3600 % 24,
                       minutes = seconds / 60 % 60, secs = seconds % 60;
    std::string out;
    auto add = [&out](std::int64_t n, const char* unit) {
        if (!out.empty()) out += ' ';
        out += std::to_string(n) + ' ' + unit;
    };
    if (days) {
        add(days, days == 1 ? "day" : "days");
        if (hours) add(hours, "h");
    } else if (hours) {
        add(hours, "h");
        if (minutes) add(minutes, "min");
    } else if (minutes) {
        add(minutes, "min");
        if (secs) add(secs, "s");
    } else {
        add(secs, "s");
    }
    return out;
}

}  // namespace enforce
