#include "lib/enforce/Settings.h"

#include "lib/enforce/Clock.h"
#include "lib/store/HourBoxes.h"
#include "lib/store/ValueNames.h"

namespace enforce {
namespace {

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

// A switch: on only for exactly "Yes".
bool Switch(const ValueReader& read, const char* name, const char* meaning,
            std::vector<std::string>& problems) {
    const StoreValue v = read(name);
    if (v.state == StoreValue::Text && v.text == "Yes") return true;
    if (v.state == StoreValue::Text && v.text != "No")
        problems.push_back(std::string(name) + " holds " + Quoted(v.text) + ": " + meaning +
                           " is off");
    if (v.state == StoreValue::OtherType)
        problems.push_back(std::string(name) + " is not a text: " + meaning + " is off");
    if (v.state == StoreValue::Unreadable)
        problems.push_back(std::string(name) + " cannot be read: " + meaning + " is off");
    return false;
}

}  // namespace

SettingsRead InterpretSettings(const ValueReader& read) {
    SettingsRead r;
    r.settings.blocking = Switch(read, store::kNeedJob, "blocking", r.problems);
    r.settings.protect = Switch(read, store::kNeedGuard, "the guard's protection", r.problems);
    for (int n = 1; n <= store::kHourFlags; ++n) {
        const std::string name = store::HourFlagName(n);
        const StoreValue v = read(name);
        bool blocked = false;
        switch (v.state) {
            case StoreValue::Absent:
                break;
            case StoreValue::Text:
                blocked = v.text == "0";
                if (v.text != "0" && v.text != "1")
                    r.problems.push_back(name + " holds " + Quoted(v.text) +
                                         ": that hour is allowed, as the panel shows it ticked");
                break;
            case StoreValue::OtherType:
                blocked = true;
                r.problems.push_back(name + " is not a text: that hour is blocked");
                break;
            case StoreValue::Unreadable:
                blocked = true;
                r.problems.push_back(name + " cannot be read: that hour is blocked");
                break;
        }
        r.settings.blocked[static_cast<std::size_t>(n - 1)] = blocked;
    }
    for (int n = 1; n <= store::kBlockedApps; ++n) {
        const std::string name = store::AppName(n);
        const StoreValue v = read(name);
        if (v.state == StoreValue::Text) {
            if (v.text.find_first_not_of(" \t") != std::string::npos)
                r.settings.apps.push_back(v.text);
        } else if (v.state != StoreValue::Absent) {
            r.problems.push_back(
                name + (v.state == StoreValue::OtherType ? " is not a text" : " cannot be read") +
                ": it is ignored");
        }
    }
    return r;
}

std::string BlockedHoursOf(const GuardSettings& s, int weekday) {
    std::string out;
    for (int hour = 0; hour < 24;) {
        if (!s.blocked[static_cast<std::size_t>(store::HourBox(weekday, hour) - 1)]) {
            ++hour;
            continue;
        }
        int end = hour;
        while (end < 24 && s.blocked[static_cast<std::size_t>(store::HourBox(weekday, end) - 1)])
            ++end;
        if (!out.empty()) out += ", ";
        out += FormatHour(hour) + "-" + (end == 24 ? std::string("24:00") : FormatHour(end));
        hour = end;
    }
    return out.empty() ? "none" : out;
}

std::string DescribeSettings(const GuardSettings& s, int weekday) {
    std::string apps;
    for (const std::string& a : s.apps) apps += (apps.empty() ? "" : ", ") + a;
    return std::string("Settings read: blocking ") + (s.blocking ? "on" : "off") + ", protection " +
           (s.protect ? "on" : "off") + "; blocked hours today (" + DayName(weekday) +
           "): " + BlockedHoursOf(s, weekday) + "; applications: " + (apps.empty() ? "none" : apps);
}

}  // namespace enforce
