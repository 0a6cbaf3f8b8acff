#include "lib/enforce/Guard.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "lib/enforce/Allowance.h"
#include "lib/store/HourBoxes.h"

namespace enforce {
namespace {

std::string Join(const std::vector<std::string>& items) {
    std::string out;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i) out += i + 1 == items.size() ? " and " : ", ";
        out += items[i];
    }
    return out;
}

std::string HourSpan(const LocalTime& t) {
    return std::string(DayName(t.weekday)) + " " + FormatHour(t.hour) + "-" +
           (t.hour == 23 ? std::string("24:00") : FormatHour(t.hour + 1));
}

// "20:00", or "20:30" past the whole hour.
std::string FormatClock(const LocalTime& t) {
    if (t.minute == 0) return FormatHour(t.hour);
    char text[8];
    std::snprintf(text, sizeof text, "%02d:%02d", t.hour, t.minute);
    return text;
}

int SecondsToNextHour(const LocalTime& t) {
    return 3600 - (t.minute * 60 + t.second);
}

}  // namespace

Guard::Guard(Clock& clock, ProcessTable& table, Outside& outside, Identity identity)
    : clock_(clock), table_(table), outside_(outside), identity_(std::move(identity)) {
    protected_.insert(identity_.pid);
}

void Guard::Log(const std::string& text) {
    const std::string who = identity_.account.empty() ? "" : "[" + identity_.account + "] ";
    outside_.Log(FormatDateTime(clock_.Local(clock_.Now())) + " " + who + text);
}

void Guard::Alert(const std::string& text) {
    const std::string who = identity_.account.empty() ? "" : "[" + identity_.account + "] ";
    outside_.Alert(FormatDateTime(clock_.Local(clock_.Now())) + " " + who + text);
}

void Guard::Started(const PreviousRun& previous) {
    Log(identity_.program + " " + identity_.version + " started (pid " +
        std::to_string(identity_.pid) + ")");
    if (previous.kind == PreviousRun::None) return;
    const std::int64_t now = clock_.Now();
    const std::string gap = FormatDuration(now - previous.lastSeen);
    const std::string when = FormatDateTime(clock_.Local(previous.lastSeen));
    const std::string before = "the guard before (pid " + std::to_string(previous.pid) + ")";
    if (previous.kind == PreviousRun::Vanished && previous.exact)
        Alert("No guard ran for " + gap + ": " + before + " was killed at " + when);
    else if (previous.kind == PreviousRun::Vanished)
        Alert("No guard ran for about " + gap + ": " + before + " was last seen at " + when +
              " and ended without stopping (it was killed, or the computer stopped)");
    else
        Alert("No guard ran for " + gap + ": " + before + " stopped at " + when + " (" +
              previous.reason + ")");
}

void Guard::Stopping(const std::string& reason) {
    LogSummaries(repeats_.Flush());
    LogFolded(true);
    Log(identity_.program + " " + identity_.version + " stopped (pid " +
        std::to_string(identity_.pid) + "): " + reason);
}

void Guard::SettingsRead(const enforce::SettingsRead& read) {
    if (!readError_.empty()) {
        Log("The settings can be read again");
        readError_.clear();
    }
    const std::set<std::string> now(read.problems.begin(), read.problems.end());
    for (const std::string& problem : read.problems)
        if (!problems_.contains(problem)) Log("Settings: " + problem);
    problems_ = now;
    if (haveSettings_ && read.settings == settings_) return;
    settings_ = read.settings;
    haveSettings_ = true;
    Log(DescribeSettings(settings_, clock_.Local(clock_.Now()).weekday));
}

void Guard::CannotReadSettings(const std::string& why) {
    if (why == readError_) return;
    readError_ = why;
    Log("The settings cannot be read (" + why + "): " +
        (haveSettings_ ? "the settings read before stay in force"
                       : "nothing is blocked until they can be read"));
}

void Guard::AskedToReread(int pid) {
    Log("Started again (pid " + std::to_string(pid) +
        "): the running guard reads the settings anew");
}

void Guard::WatcherStarted(int pid) {
    Protect(pid);
    Log("Protection on: a watcher (pid " + std::to_string(pid) +
        ") starts the guard again if it is killed");
}

void Guard::WatcherEnded(int pid, bool restarting) {
    Unprotect(pid);
    if (restarting)
        Log("The watcher (pid " + std::to_string(pid) + ") was stopped; a new one is started");
    else
        Log("Protection off: the watcher (pid " + std::to_string(pid) + ") is stopped");
}

bool Guard::BlockedAt(std::int64_t when) const {
    if (when < override_.pausedUntil) return true;  // a parent's pause, blocking on or off
    if (!settings_.blocking) return false;
    if (when < override_.allowedUntil) return false;
    const LocalTime t = clock_.Local(when);
    return GridBlocks(t) || (!usedUpWhy_.empty() && DateOf(t) == usedUp_);
}

bool Guard::GridBlocks(const LocalTime& t) const {
    return settings_.blocking &&
           settings_.blocked[static_cast<std::size_t>(store::HourBox(t.weekday, t.hour) - 1)];
}

void Guard::SetUsedUp(const std::string& date, const std::string& why) {
    usedUp_ = date;
    usedUpWhy_ = why;
}

std::vector<std::string> Guard::Governed() {
    std::vector<std::string> running;
    for (auto& [pid, name] : GovernedProcesses())
        if (std::find(running.begin(), running.end(), name) == running.end())
            running.push_back(std::move(name));
    return running;
}

std::vector<std::pair<int, std::string>> Guard::GovernedProcesses() {
    std::vector<std::pair<int, std::string>> running;
    for (const ProcessInfo& p : table_.Scan()) {
        if (Spared(p)) continue;
        const Match m = Classify(p, settings_.apps);
        if (m.kind != Match::None) running.emplace_back(p.pid, m.name);
    }
    return running;
}

bool Guard::Blocking() {
    return BlockedAt(clock_.Now());
}

bool Guard::Spared(const ProcessInfo& p) const {
    if (protected_.contains(p.pid)) return true;
    const std::string& dir = identity_.programDir;
    return !dir.empty() && !p.exeFaked && p.exe.compare(0, dir.size(), dir) == 0 &&
           p.exe.find('/', dir.size()) == std::string::npos;
}

std::optional<LocalTime> Guard::NextHour(std::int64_t now, bool blocks) const {
    // Whole hours, and a parent's answer ending between two of them.
    const std::set<std::int64_t> ends{override_.pausedUntil, override_.allowedUntil};
    std::int64_t from = now;
    std::int64_t t = now + SecondsToNextHour(clock_.Local(now));
    for (int i = 0; i < 7 * 24 + 2; ++i, from = t, t += 3600) {
        for (std::int64_t end : ends)
            if (end > from && end < t && BlockedAt(end) == blocks) return clock_.Local(end);
        if (BlockedAt(t) == blocks) return clock_.Local(t);
    }
    return std::nullopt;
}

std::string Guard::Until(std::int64_t now, bool blocks, const std::string& never) {
    const LocalTime today = clock_.Local(now);
    const auto at = NextHour(now, blocks);
    if (!at) return never;
    const bool sameDay = at->year == today.year && at->month == today.month && at->day == today.day;
    return "until " + (sameDay ? std::string() : std::string(DayName(at->weekday)) + " ") +
           FormatClock(*at);
}

std::optional<LocalTime> Guard::NextAllowed() {
    if (!settings_.blocking) return std::nullopt;
    return NextHour(clock_.Now(), false);
}

Guard::HourState Guard::StateNow() {
    const std::int64_t now = clock_.Now();
    if (!settings_.blocking && now >= override_.pausedUntil) return {};
    const bool blocked = BlockedAt(now);
    return {blocked, Until(now, !blocked, blocked ? "all week" : "")};
}

void Guard::Tick() {
    const std::int64_t now = clock_.Now();
    const std::int64_t elapsed = clock_.Elapsed();
    const std::string zone = clock_.Zone();
    if (zone != zone_) {
        if (!zone_.empty() && !zone.empty())
            Log("The time zone was changed from " + zone_ + " to " + zone + "; it is now " +
                FormatDateTime(clock_.Local(now)) + " and the schedule applies to that time");
        zone_ = zone;
    }
    if (haveTick_) {
        const std::int64_t expected = lastWall_ + (elapsed - lastElapsed_) / 1000;
        if (std::llabs(now - expected) > kClockJumpSeconds)
            Log("The clock was changed from " + FormatDateTime(clock_.Local(expected)) + " to " +
                FormatDateTime(clock_.Local(now)) + "; the schedule applies to the new time");
    }
    lastWall_ = now;
    lastElapsed_ = elapsed;
    haveTick_ = true;
    LogSummaries(repeats_.Due(elapsed / 1000));
    LogFolded(false);
    for (auto it = notified_.begin(); it != notified_.end();)
        it = elapsed / 1000 - it->second >= kNotifyAgainSeconds ? notified_.erase(it)
                                                                : std::next(it);
    Warn(now);
}

bool Guard::Admit(const std::string& key, const std::string& name, const std::string& detail,
                  bool count) {
    const std::int64_t seconds = Seconds();
    if (fold_.since >= 0 && seconds - fold_.since >= kFoldSeconds) LogFolded(true);
    if (repeats_.Counting(key)) return repeats_.Admit(key, seconds, detail);
    if (fold_.since < 0) fold_ = Fold{seconds, 0, 0, {}};
    if (fold_.lines >= kDistinctStopsPerHour) {
        if (count) {
            ++fold_.more;
            fold_.last = name;
        }
        return false;
    }
    ++fold_.lines;
    return repeats_.Admit(key, seconds, detail);
}

// The hour's programs that had no line of their own: when the hour is over, or `now`.
void Guard::LogFolded(bool now) {
    if (fold_.since < 0) return;
    const std::int64_t seconds = Seconds();
    if (!now && seconds - fold_.since < kFoldSeconds) return;
    if (fold_.more > 0) {
        const std::string since =
            FormatDateTime(clock_.Local(clock_.Now() - (seconds - fold_.since)));
        Log("and " + std::to_string(fold_.more) +
            (fold_.more == 1 ? " more program" : " more programs") + " stopped since " + since +
            ", not named one by one (the last: " + fold_.last + ")");
    }
    fold_ = Fold{};
}

void Guard::Warn(std::int64_t now) {
    const LocalTime t = clock_.Local(now);
    const int left = SecondsToNextHour(t);
    const std::int64_t next = now + left;
    for (auto it = warned_.begin(); it != warned_.end();)
        it = it->first < now ? warned_.erase(it) : std::next(it);
    if (!settings_.blocking || BlockedAt(now) || !BlockedAt(next)) return;
    for (int minutes : kWarningMinutes) {
        // Each warning has a window of 45 s, so a busy second does not lose it.
        if (left > minutes * 60 || left <= minutes * 60 - 45) continue;
        if (!warned_.insert({next, minutes}).second) return;
        const std::vector<std::string> running = Governed();
        if (running.empty()) return;
        const std::string text = Join(running) + " will be closed in " + std::to_string(minutes) +
                                 (minutes == 1 ? " minute" : " minutes") + ", at " +
                                 FormatHour(clock_.Local(next).hour);
        outside_.Notify(text);
        Log("Warning shown: " + text);
        return;
    }
}

void Guard::Scan() {
    const std::int64_t now = clock_.Now();
    const LocalTime t = clock_.Local(now);
    if (!BlockedAt(now)) {
        stopping_.clear();
        return;
    }
    struct Stopped {
        std::vector<int> pids;
        std::string exe, rule;
    };
    std::map<std::string, Stopped> stopped;
    std::set<std::pair<int, std::uint64_t>> alive;
    for (const ProcessInfo& p : table_.Scan()) {
        const std::pair<int, std::uint64_t> id{p.pid, p.startTime};
        alive.insert(id);
        if (Spared(p) || stopping_.contains(id)) continue;
        const Match m = Classify(p, settings_.apps);
        if (m.kind == Match::None || !outside_.Stop(p)) continue;
        stopping_.insert(id);
        Stopped& s = stopped[m.name];
        s.pids.push_back(p.pid);
        if (s.exe.empty()) s.exe = p.exe;
        s.rule = m.rule;
    }
    for (auto it = stopping_.begin(); it != stopping_.end();)
        it = alive.contains(*it) ? std::next(it) : stopping_.erase(it);
    const std::int64_t seconds = Seconds();
    for (const auto& [name, s] : stopped) {
        std::string pids;
        for (int pid : s.pids) pids += (pids.empty() ? "" : ", ") + std::to_string(pid);
        if (Admit("stop " + name, name, pids, true))
            Log("Stopped " + name + " (pid " + pids + ", " + s.exe + "), " + s.rule + ": " +
                (now < override_.pausedUntil ? override_.why
                 : GridBlocks(t)             ? HourSpan(t) + " is a blocked hour"
                                             : usedUpWhy_));
        else if (!repeats_.Counting("stop " + name))
            continue;  // folded: no notification of its own either
        auto told = notified_.find(name);
        if (told == notified_.end() || seconds - told->second >= kNotifyAgainSeconds) {
            notified_[name] = seconds;
            outside_.Notify(name + " is blocked " + Until(now));
        }
    }
}

void Guard::Killed(const ProcessInfo& p) {
    const Match m = Classify(p, settings_.apps);
    const std::string name = m.kind == Match::None ? p.exe : m.name;
    if (Admit("kill " + name, name, std::to_string(p.pid), false))
        Log(name + " (pid " + std::to_string(p.pid) + ") did not close within 5 s and was killed");
}

void Guard::LogSummaries(const std::vector<RepeatFilter::Summary>& due) {
    const std::int64_t now = clock_.Now(), seconds = Seconds();
    for (const RepeatFilter::Summary& s : due) {
        const std::string since = FormatDateTime(clock_.Local(now - (seconds - s.since)));
        const std::string times =
            std::to_string(s.count) + (s.count == 1 ? " more time" : " more times");
        if (s.key.rfind("stop ", 0) == 0)
            Log(s.key.substr(5) + " was stopped " + times + " since " + since + " (last: pid " +
                s.detail + ")");
        else if (s.key.rfind("kill ", 0) == 0)
            Log(s.key.substr(5) + " had to be killed " + times + " since " + since);
    }
}

}  // namespace enforce
