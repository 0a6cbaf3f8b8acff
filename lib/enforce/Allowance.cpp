#include "lib/enforce/Allowance.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "lib/store/ValueNames.h"

namespace enforce {

namespace {

constexpr const char* kOthers = "other programs";
constexpr std::size_t kLongestName = 200;

// A program's name as the record keeps it: one line, bounded.
std::string Kept(std::string name) {
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    if (name.size() > kLongestName) name.resize(kLongestName);
    return name.empty() ? "?" : name;
}

bool IsDate(std::string_view d) {
    if (d.size() != 10 || d[4] != '-' || d[7] != '-') return false;
    for (std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
        if (d[i] < '0' || d[i] > '9') return false;
    return true;
}

}  // namespace

Allowance Allowance::FromValues(const std::map<std::string, std::string>& values) {
    Allowance a;
    for (int day = 0; day < 7; ++day) {
        const auto it = values.find(store::MinutesADayName(day));
        if (it == values.end() || it->second.empty() || it->second.size() > 4) continue;
        int minutes = 0;
        bool number = true;
        for (char c : it->second) {
            number = number && c >= '0' && c <= '9';
            minutes = minutes * 10 + (c - '0');
        }
        if (number && minutes <= store::kMostMinutesADay)
            a.minutes[static_cast<std::size_t>(day)] = minutes;
    }
    return a;
}

bool AtTheComputer(const std::optional<std::vector<SessionState>>& sessions) {
    if (!sessions) return true;
    return std::any_of(sessions->begin(), sessions->end(),
                       [](const SessionState& s) { return s.active && !s.idle && !s.locked; });
}

std::string DateOf(const LocalTime& t) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", t.year % 10000, t.month % 100, t.day % 100);
    return text;
}

std::string ShortMinutes(int minutes) {
    const int h = minutes / 60, m = minutes % 60;
    if (h == 0) return std::to_string(m) + " min";
    std::string text = std::to_string(h) + " h";
    if (m != 0) text.append(" ").append(std::to_string(m)).append(" min");
    return text;
}

std::string LongMinutes(int minutes) {
    const int h = minutes / 60, m = minutes % 60;
    std::string hours = std::to_string(h) + (h == 1 ? " hour" : " hours");
    std::string mins = std::to_string(m) + (m == 1 ? " minute" : " minutes");
    if (h == 0) return mins;
    return m == 0 ? hours : hours + " " + mins;
}

std::string HoursMinutes(long long seconds) {
    const long long minutes = std::max(seconds, 0LL) / 60, m = minutes % 60;
    return std::to_string(minutes / 60) + (m < 10 ? ":0" : ":") + std::to_string(m);
}

int DayUse::Total() const {
    int total = 0;
    for (int s : seconds) total += s;
    return total;
}

void UseRecord::Count(const LocalTime& t, int seconds, const std::vector<std::string>& programs) {
    if (seconds <= 0 || t.hour < 0 || t.hour > 23) return;
    DayUse& day = days_[DateOf(t)];
    day.seconds[static_cast<std::size_t>(t.hour)] =
        std::min(day.seconds[static_cast<std::size_t>(t.hour)] + seconds, 3600);
    for (const std::string& p : programs) {
        std::string name = Kept(p);
        if (!day.programs.contains(name) && day.programs.size() >= kProgramsKeptADay)
            name = kOthers;
        day.programs[name] += seconds;
    }
    while (days_.size() > static_cast<std::size_t>(kDaysKept)) days_.erase(days_.begin());
}

int UseRecord::UsedSeconds(const std::string& date) const {
    const auto it = days_.find(date);
    return it == days_.end() ? 0 : it->second.Total();
}

std::vector<std::string> UseRecord::Lines(const std::string& programsOf) const {
    std::vector<std::string> lines;
    lines.reserve(days_.size());
    for (const auto& [date, day] : days_) {
        std::string line = "day " + date;
        for (int s : day.seconds) line.append(" ").append(std::to_string(s));
        lines.push_back(std::move(line));
    }
    for (const auto& [date, day] : days_) {
        if (!programsOf.empty() && date != programsOf) continue;
        for (const auto& [name, s] : day.programs)
            lines.push_back("program " + date + " " + std::to_string(s) + " " + name);
    }
    return lines;
}

std::string UseRecord::Serialize() const {
    std::string text;
    for (const std::string& line : Lines()) text.append(line).append("\n");
    return text;
}

UseRecord UseRecord::Parse(std::string_view text) {
    UseRecord record;
    std::istringstream lines{std::string(text)};
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream in(line);
        std::string kind, date;
        if (!(in >> kind >> date) || !IsDate(date)) continue;
        if (kind == "day") {
            DayUse day;
            bool ok = true;
            for (int& s : day.seconds) ok = ok && (in >> s) && s >= 0 && s <= 3600;
            if (ok) {
                day.programs = std::move(record.days_[date].programs);
                record.days_[date] = std::move(day);
            }
        } else if (kind == "program") {
            int s = 0;
            std::string name;
            if (!(in >> s) || s < 0 || !std::getline(in >> std::ws, name) || name.empty()) continue;
            DayUse& day = record.days_[date];
            if (day.programs.size() < kProgramsKeptADay || day.programs.contains(name))
                day.programs[Kept(name)] = s;
        }
    }
    while (record.days_.size() > static_cast<std::size_t>(kDaysKept))
        record.days_.erase(record.days_.begin());
    return record;
}

UseCounter::Outcome UseCounter::Advance(const Tick& tick, const Allowance& allowance) {
    Outcome out;
    const std::int64_t since = lastMs_ < 0 ? 0 : tick.elapsedMs - lastMs_;
    lastMs_ = tick.elapsedMs;
    if (tick.counting && since > 0) {
        carryMs_ += std::min(since, kLongestTickMs);
        const int seconds = static_cast<int>(carryMs_ / 1000);
        carryMs_ %= 1000;
        record_.Count(tick.local, seconds, tick.programs);
    } else if (!tick.counting) {
        carryMs_ = 0;
    }
    const int left = LeftSeconds(tick.local, allowance);
    if (left == kNoLimit) return out;
    const std::string today = DateOf(tick.local);
    if (left == 0) {
        if (usedUpDate_ != today) out.usedUp = true;
        usedUpDate_ = today;
        return out;
    }
    // The warnings, while in use (the end is then predictable): the smallest crossed, once.
    if (!tick.counting) return out;
    if (warnedDate_ != today) warned_ = 0;
    for (int minutes : kWarnings)
        if (left <= minutes * 60 && (warned_ == 0 || minutes < warned_)) out.warnMinutes = minutes;
    if (out.warnMinutes != 0) {
        warned_ = out.warnMinutes;
        warnedDate_ = today;
    }
    return out;
}

int UseCounter::LeftSeconds(const LocalTime& now, const Allowance& allowance) const {
    if (now.weekday < 0 || now.weekday > 6 || !allowance.Limits(now.weekday)) return kNoLimit;
    const int allowed = allowance.minutes[static_cast<std::size_t>(now.weekday)] * 60;
    return std::max(0, allowed - record_.UsedSeconds(DateOf(now)));
}

}  // namespace enforce
