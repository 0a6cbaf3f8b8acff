#include "panel/child/MyDay.h"

#include <cstdlib>

#include "lib/enforce/Allowance.h"

namespace child {

namespace {

// A whole number of digits only, or -1.
long long Number(const std::string& text) {
    if (text.empty() || text.size() > 12 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    return std::atoll(text.c_str());
}

}  // namespace

std::optional<MyDay> ParseMine(const control::Fields& reply) {
    // ok on|off allowed|blocked UNTIL USED/ALLOWED [MINUTES HH:MM REASON]
    if ((reply.size() != 5 && reply.size() != 8) || reply[0] != "ok") return std::nullopt;
    MyDay day;
    if (reply[1] != "on" && reply[1] != "off") return std::nullopt;
    if (reply[2] != "allowed" && reply[2] != "blocked") return std::nullopt;
    day.on = reply[1] == "on";
    day.blocked = reply[2] == "blocked";
    day.until = reply[3];
    const auto slash = reply[4].find('/');
    if (slash == std::string::npos) return std::nullopt;
    day.used = Number(reply[4].substr(0, slash));
    const std::string allowed = reply[4].substr(slash + 1);
    day.allowed = allowed == "-" ? -1 : static_cast<int>(Number(allowed));
    if (day.used < 0 || (allowed != "-" && day.allowed < 0)) return std::nullopt;
    if (reply.size() == 8) {
        day.asked = reply[5];
        day.askedAt = reply[6];
        day.reason = reply[7];
    }
    return day;
}

std::string TodayWords(const MyDay& day) {
    const std::string used = enforce::HoursMinutes(day.used);
    if (day.allowed < 0) return "Today: no limit (" + used + " used).";
    const long long left = static_cast<long long>(day.allowed) * 60 - day.used;
    return "Today: " + used + " of " + enforce::HoursMinutes(day.allowed * 60LL) + " used, " +
           (left > 0 ? enforce::HoursMinutes(left) + " left." : std::string("none left."));
}

std::string NowWords(const MyDay& day) {
    if (!day.on) return "Blocking is off: nothing is blocked now.";
    std::string words = day.blocked ? "Now: blocked" : "Now: allowed";
    if (!day.until.empty()) words.append(" ").append(day.until);
    return words + ".";
}

std::string RequestWords(const MyDay& day) {
    if (day.asked.empty()) return {};
    std::string words = day.asked == "hour" ? "You asked for time until the end of the hour"
                                            : "You asked for " + day.asked + " more minutes";
    words.append(" at ").append(day.askedAt);
    if (!day.reason.empty() && day.reason != "-") words.append(": ").append(day.reason);
    return words + ". Waiting for an answer.";
}

}  // namespace child
