#include "lib/platform/core/Locale.h"

#include <langinfo.h>

#include <clocale>

namespace platform {
namespace {
std::optional<std::time_t>& PinnedClock() {
    static std::optional<std::time_t> pinned;
    return pinned;
}

// Replaces the composite conversions by their parts so that the hour, minute and marker
// directives can be found.
std::string Expand(std::string fmt, int depth = 0) {
    std::string out;
    for (std::size_t i = 0; i < fmt.size(); ++i) {
        if (fmt[i] != '%' || i + 1 == fmt.size()) {
            out += fmt[i];
            continue;
        }
        char c = fmt[++i];
        while ((c == 'E' || c == 'O' || c == '-' || c == '_' || c == '0' || c == '^' || c == '#') &&
               i + 1 < fmt.size())
            c = fmt[++i];
        if (depth < 3 && c == 'T')
            out += "%H:%M:%S";
        else if (depth < 3 && c == 'R')
            out += "%H:%M";
        else if (depth < 3 && c == 'r')
            out += Expand(nl_langinfo(T_FMT_AMPM), depth + 1);
        else if (depth < 3 && c == 'X')
            out += Expand(nl_langinfo(T_FMT), depth + 1);
        else {
            out += '%';
            out += c;
        }
    }
    return out;
}

std::string TwoDigits(int v) {
    return std::string(1, static_cast<char>('0' + v / 10)) + static_cast<char>('0' + v % 10);
}
}  // namespace

void SetClockForTesting(std::optional<std::time_t> now) {
    PinnedClock() = now;
}

std::tm LocalNow() {
    std::time_t now = PinnedClock() ? *PinnedClock() : std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return tm;
}

int DayOfWeekToday() {
    return LocalNow().tm_wday;
}

std::string LongDayNameToday() {
    std::tm tm = LocalNow();
    char buf[128];
    std::size_t n = std::strftime(buf, sizeof buf, "%A", &tm);
    return std::string(buf, n);
}

TimeFormat CurrentTimeFormat() {
    TimeFormat f;
    const std::string fmt = Expand(nl_langinfo(T_FMT));
    std::size_t hour = std::string::npos, minute = std::string::npos, marker = std::string::npos;
    for (std::size_t i = 0; i + 1 < fmt.size(); ++i) {
        if (fmt[i] != '%') continue;
        char c = fmt[i + 1];
        if (hour == std::string::npos && (c == 'H' || c == 'k' || c == 'I' || c == 'l')) {
            hour = i;
            f.twelveHour = c == 'I' || c == 'l';
            f.leadingZero = c == 'H' || c == 'I';
        } else if (minute == std::string::npos && c == 'M') {
            minute = i;
        } else if (marker == std::string::npos && (c == 'p' || c == 'P')) {
            marker = i;
        }
        ++i;
    }
    if (hour != std::string::npos && minute != std::string::npos && minute > hour + 2)
        f.separator = fmt.substr(hour + 2, minute - hour - 2);
    f.am = nl_langinfo(AM_STR);
    f.pm = nl_langinfo(PM_STR);
    if (f.twelveHour && f.am.empty() && f.pm.empty()) f.twelveHour = false;
    f.markerFirst = marker != std::string::npos && hour != std::string::npos && marker < hour;
    return f;
}

std::string FormatLongTime(int hour, int minute, int second, const TimeFormat& f) {
    int h = hour;
    if (f.twelveHour) {
        h = hour % 12;
        if (h == 0) h = 12;
    }
    std::string text = f.leadingZero ? TwoDigits(h) : std::to_string(h);
    text += f.separator + TwoDigits(minute) + f.separator + TwoDigits(second);
    if (f.twelveHour) {
        const std::string& mark = hour < 12 ? f.am : f.pm;
        text = f.markerFirst ? mark + " " + text : text + " " + mark;
    }
    return text;
}

std::string LongTimeNow() {
    std::tm tm = LocalNow();
    return FormatLongTime(tm.tm_hour, tm.tm_min, tm.tm_sec, CurrentTimeFormat());
}

}  // namespace platform
