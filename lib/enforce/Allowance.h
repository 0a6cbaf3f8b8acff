// How much, not only when: a child's daily allowance of governed use (a browser or a listed
// application running while the child is at the computer), counted by whoever enforces it once a
// tick, on a clock that never jumps, into the local day and hour of the tick.
//  - Time passes between two ticks; a gap longer than kLongestTickMs (the computer suspended, the
//    service stalled) counts kLongestTickMs at most.
//  - The day is the local date of the tick: a change of time zone or of the clock (root's to make)
//    moves the day counted into, never the time already counted, so nothing is refunded and
//    nothing counted twice.
//  - What was counted is kept as text (UseRecord::Serialize) at least once a minute by the
//    caller; a restart starts its ticks afresh and loses at most the time since.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lib/enforce/Clock.h"

namespace enforce {

inline constexpr int kNoLimit = -1;
inline constexpr std::int64_t kLongestTickMs = 5000;
inline constexpr int kDaysKept = 56;            // the record's 8 weeks
inline constexpr int kProgramsKeptADay = 32;    // named in a day's record; the rest are "others"
inline constexpr int kWarnings[] = {10, 5, 1};  // minutes left, told once a day each

struct Allowance {
    std::array<int, 7> minutes{kNoLimit, kNoLimit, kNoLimit, kNoLimit,
                               kNoLimit, kNoLimit, kNoLimit};  // by weekday, 0 = Sunday

    // From settings values: "MinutesADay0" .. "MinutesADay6", minutes 0..1440; anything else (or
    // nothing) is no limit.
    static Allowance FromValues(const std::map<std::string, std::string>& values);
    bool Limits(int weekday) const { return minutes.at(static_cast<std::size_t>(weekday)) >= 0; }
};

// One login session of the child's as logind tells it: in the foreground of its seat (or of no
// seat), idle, locked.
struct SessionState {
    bool active = false;
    bool idle = false;
    bool locked = false;
    bool seated = true;  // on a seat (a screen and keyboard), not a remote login
};
// Whether the child is at the computer: a session of its is active, neither idle nor locked.
// `sessions` is nullopt where logind cannot be asked: then a running governed program counts.
bool AtTheComputer(const std::optional<std::vector<SessionState>>& sessions);

// "YYYY-MM-DD"
std::string DateOf(const LocalTime& t);
// An allowance as the log says it ("2 h", "1 h 30 min", "45 min") and as a notification does
// ("2 hours", "1 hour 30 minutes", "45 minutes").
std::string ShortMinutes(int minutes);
std::string LongMinutes(int minutes);
// A time used as the family list and the use window show it: "1:05", minutes rounded down.
std::string HoursMinutes(long long seconds);

// One day's governed use: seconds in each hour, and for each program.
struct DayUse {
    std::array<int, 24> seconds{};
    std::map<std::string, int> programs;
    int Total() const;
};

// The days of use, by date, the newest kDaysKept.
class UseRecord {
  public:
    // `seconds` of use in the hour of `t`, by the programs named (each had them all).
    void Count(const LocalTime& t, int seconds, const std::vector<std::string>& programs);
    int UsedSeconds(const std::string& date) const;
    const std::map<std::string, DayUse>& Days() const { return days_; }
    // Text to keep, and read back (lines that cannot be read are left out).
    std::string Serialize() const;
    // The same as lines without their LF: every day's hours, then the programs of `programsOf`
    // (a date), or of every day when it is "".
    std::vector<std::string> Lines(const std::string& programsOf = {}) const;
    static UseRecord Parse(std::string_view text);

  private:
    std::map<std::string, DayUse> days_;
};

// One child's counter.
class UseCounter {
  public:
    struct Tick {
        std::int64_t elapsedMs = 0;  // Clock::Elapsed
        LocalTime local;             // the wall clock's local time now
        bool counting = false;       // a governed program runs and a session of the child is in use
        std::vector<std::string> programs;  // the governed programs that run, by the log's names
    };
    struct Outcome {
        int warnMinutes = 0;  // a warning due now: minutes left (10, 5, 1), or 0
        bool usedUp = false;  // the allowance ran out at this tick
    };
    explicit UseCounter(UseRecord record = {}) : record_(std::move(record)) {}

    Outcome Advance(const Tick& tick, const Allowance& allowance);
    // Seconds left today at `now`; kNoLimit when the day has no allowance.
    int LeftSeconds(const LocalTime& now, const Allowance& allowance) const;
    bool UsedUp(const LocalTime& now, const Allowance& allowance) const {
        return LeftSeconds(now, allowance) == 0;
    }
    const UseRecord& Record() const { return record_; }

  private:
    UseRecord record_;
    std::int64_t lastMs_ = -1;
    std::int64_t carryMs_ = 0;  // less than a second, not counted yet
    std::string warnedDate_, usedUpDate_;
    int warned_ = 0;  // the last warning given on warnedDate_, in minutes
};

}  // namespace enforce
