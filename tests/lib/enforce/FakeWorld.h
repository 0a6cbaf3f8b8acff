// A world for the guard's decisions: a clock the test sets and jumps, local time in a time zone the
// test chooses (the test process's TZ, which the installed guard ignores), a process table the
// test fills, and a record of what the guard did.
#pragma once

#include <cstdint>
#include <ctime>
#include <set>
#include <string>
#include <vector>

#include "lib/enforce/Guard.h"

namespace testing_support {

class FakeClock final : public enforce::Clock {
  public:
    std::int64_t wall = 0;     // seconds
    std::int64_t elapsed = 0;  // ms

    std::string zone;  // what Zone() says

    std::int64_t Now() override { return wall; }
    std::string Zone() override { return zone; }
    std::int64_t Elapsed() override { return elapsed; }
    enforce::LocalTime Local(std::int64_t at) override {
        const std::time_t t = static_cast<std::time_t>(at);
        std::tm tm{};
        localtime_r(&t, &tm);
        return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_wday,
                tm.tm_hour,        tm.tm_min,     tm.tm_sec};
    }
    // Both clocks go on by `seconds`.
    void Advance(std::int64_t seconds) {
        wall += seconds;
        elapsed += seconds * 1000;
    }
    // Sets the wall clock to a local time (mktime in the test's TZ).
    void SetLocal(int year, int month, int day, int hour, int minute = 0, int second = 0) {
        std::tm tm{};
        tm.tm_year = year - 1900;
        tm.tm_mon = month - 1;
        tm.tm_mday = day;
        tm.tm_hour = hour;
        tm.tm_min = minute;
        tm.tm_sec = second;
        tm.tm_isdst = -1;
        wall = static_cast<std::int64_t>(std::mktime(&tm));
    }
};

class FakeTable final : public enforce::ProcessTable {
  public:
    std::vector<enforce::ProcessInfo> processes;
    int scans = 0;
    const std::vector<enforce::ProcessInfo>& Scan() override {
        ++scans;
        return processes;
    }
    enforce::ProcessInfo& Add(int pid, const std::string& exe, std::vector<std::string> args = {},
                              const std::string& app = {}) {
        processes.push_back({pid, static_cast<std::uint64_t>(pid) * 7, exe, std::move(args), app});
        return processes.back();
    }
    void Remove(int pid) {
        std::erase_if(processes, [pid](const enforce::ProcessInfo& p) { return p.pid == pid; });
    }
};

class Recorder final : public enforce::Outside {
  public:
    std::vector<int> stopped;
    std::vector<std::string> notes, lines;
    std::set<int> refused;  // pids whose Stop fails (no descriptor left, say)
    bool Stop(const enforce::ProcessInfo& p) override {
        if (refused.contains(p.pid)) return false;
        stopped.push_back(p.pid);
        return true;
    }
    void Notify(const std::string& text) override { notes.push_back(text); }
    void Log(const std::string& line) override { lines.push_back(line); }
    // The lines without their date and time.
    std::vector<std::string> Texts() const {
        std::vector<std::string> out;
        for (const std::string& l : lines) out.push_back(l.size() > 20 ? l.substr(20) : l);
        return out;
    }
    int Count(const std::string& part) const {
        int n = 0;
        for (const std::string& l : lines) n += l.find(part) != std::string::npos;
        return n;
    }
};

// Sets TZ for the life of the object.
class TimeZone {
  public:
    explicit TimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) old_ = old, had_ = true;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~TimeZone() {
        if (had_)
            setenv("TZ", old_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

  private:
    std::string old_;
    bool had_ = false;
};

}  // namespace testing_support
