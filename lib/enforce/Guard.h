// The guard's decisions, with the clock, the process table and everything it does to the outside
// world injected. The program wires it to the system; tests drive it with a fake clock and a
// process table of their own.
//
//  - Blocking() holds while blocking is on ("NeedJobOrNot" "Yes") and the current local hour's
//    box is blocked. Scan() then stops every process of the table that is a web browser or a
//    listed application, except the protected ones: the guard's own processes, its watcher, the
//    session's leader, and every program of the program directory (the panel among them). A
//    process is asked to stop once; Outside::Stop() kills it if it has not ended after 5 s.
//  - Tick() (about once a second) notices clock changes of more than 2 minutes against a clock
//    that never jumps and changes of the time zone, warns 10, 5 and 1 minutes before a blocked
//    hour begins while something it would stop is running, and writes the summaries of repeated
//    events.
//  - The log stays small whatever runs: repeats of one program are counted (RepeatFilter), and
//    past kDistinctStopsPerHour distinct programs in an hour the others are only counted too,
//    and told in one line ("and 212 more programs stopped ...") when the hour is over.
//  - Every event is one line of the log: date and time, then plain words.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "lib/enforce/Clock.h"
#include "lib/enforce/Heartbeat.h"
#include "lib/enforce/Programs.h"
#include "lib/enforce/Repeats.h"
#include "lib/enforce/Settings.h"

namespace enforce {

class ProcessTable {
  public:
    virtual ~ProcessTable() = default;
    // This user's processes as they run now.
    virtual const std::vector<ProcessInfo>& Scan() = 0;
};

class Outside {
  public:
    virtual ~Outside() = default;
    // Asks the process to close now and kills it if it still runs 5 s later. False when it
    // could not be asked (it is asked again at the next scan, if it still runs).
    virtual bool Stop(const ProcessInfo& p) = 0;
    virtual void Notify(const std::string& text) = 0;  // a desktop notification
    virtual void Log(const std::string& line) = 0;     // one line of Block.log
    // One line of Block.log that is an alert for the parent (time with no guard).
    virtual void Alert(const std::string& line) { Log(line); }
};

struct Identity {
    std::string version;              // "1.0"
    int pid = 0;                      // the guard's own
    std::string programDir;           // with its trailing '/'
    std::string program = "Sentrel";  // the guard's name in its start and stop lines
    std::string account;  // when set, every line names it ("[child] ..."): one log, many accounts
};

inline constexpr std::int64_t kClockJumpSeconds = 120;
// Stop lines of distinct programs one account's log gets in an hour; the others are counted.
inline constexpr int kDistinctStopsPerHour = 20;
inline constexpr std::int64_t kFoldSeconds = 3600;
inline constexpr std::int64_t kNotifyAgainSeconds = 60;
inline constexpr int kWarningMinutes[] = {10, 5, 1};

class Guard {
  public:
    Guard(Clock& clock, ProcessTable& table, Outside& outside, Identity identity);

    // Logs the start, and how long no guard ran before it.
    void Started(const PreviousRun& previous);
    // Logs the stop (and the repeats still counted).
    void Stopping(const std::string& reason);

    void SettingsRead(const SettingsRead& read);
    // The store could not be read: the settings read last stay in force.
    void CannotReadSettings(const std::string& why);
    // A second start asked this guard to read the settings again.
    void AskedToReread(int pid);
    // The watcher that restarts a killed guard.
    void WatcherStarted(int pid);
    void WatcherEnded(int pid, bool restarting);
    void Protect(int pid) { protected_.insert(pid); }
    void Unprotect(int pid) { protected_.erase(pid); }

    void Tick();
    bool Blocking();
    void Scan();
    // A process that Stop() was asked to end did not close in time and was killed.
    void Killed(const ProcessInfo& p);

    const GuardSettings& Settings() const { return settings_; }
    // The rest of the day of `date` ("YYYY-MM-DD", local) blocks too, while blocking is on: the
    // day's allowance is used up. `why` ends the stop lines ("today's 2 h are used up"); "" and
    // any date lift it.
    void SetUsedUp(const std::string& date, const std::string& why);
    // A parent's answer on top of the hours and the allowance (blocking on): allowed until
    // `allowedUntil` (wall-clock seconds: neither an hour nor a day used up blocks before it),
    // or blocked until `pausedUntil`, `why` saying by whom. 0: none.
    struct Override {
        std::int64_t allowedUntil = 0;
        std::int64_t pausedUntil = 0;
        std::string why;
        bool operator==(const Override&) const = default;
    };
    void SetOverride(const Override& o) { override_ = o; }
    bool UsedUpOn(const std::string& date) const { return !usedUpWhy_.empty() && usedUp_ == date; }
    // The names of the browsers and listed applications of the table running now (as the stop
    // lines name them), each once.
    std::vector<std::string> Governed();
    // The same with each process: its pid and its name.
    std::vector<std::pair<int, std::string>> GovernedProcesses();
    // What the account's hours say now: whether one blocks (blocking on and a blocked hour), and
    // until when ("until 17:00", "until Monday 08:00"; "" when it never changes).
    struct HourState {
        bool blocked = false;
        std::string until;
    };
    HourState StateNow();
    // The first hour from now that allows (blocking on); nullopt when none of the week does.
    std::optional<LocalTime> NextAllowed();
    // Logs a line of the guard's own, with the date and time first.
    void Log(const std::string& text);
    void Alert(const std::string& text);

  private:
    // At wall-clock second `when`: a pause, else (unless allowed by a parent) the grid's hour or
    // a day used up.
    bool BlockedAt(std::int64_t when) const;
    bool GridBlocks(const LocalTime& t) const;
    bool Spared(const ProcessInfo& p) const;
    // "until HH:00" (with the day when not today) of the first hour from `now` that blocks
    // (`blocks`) or allows; `never` when no hour of the week does.
    std::string Until(std::int64_t now, bool blocks = false,
                      const std::string& never = "at every hour of the week");
    // The first whole hour after `now` that blocks (`blocks`) or allows.
    std::optional<LocalTime> NextHour(std::int64_t now, bool blocks) const;
    void Warn(std::int64_t now);
    void LogSummaries(const std::vector<RepeatFilter::Summary>& due);
    // True when a line of its own is due for `key`: not a repeat, and within the hour's share
    // (else counted as one more program stopped when `count`).
    bool Admit(const std::string& key, const std::string& name, const std::string& detail,
               bool count);
    void LogFolded(bool now);
    std::int64_t Seconds() { return clock_.Elapsed() / 1000; }

    Clock& clock_;
    ProcessTable& table_;
    Outside& outside_;
    Identity identity_;

    GuardSettings settings_;
    bool haveSettings_ = false;
    std::set<std::string> problems_;
    std::string readError_;

    bool haveTick_ = false;
    std::int64_t lastWall_ = 0, lastElapsed_ = 0;
    std::set<std::pair<std::int64_t, int>> warned_;  // (hour start, minutes before)
    std::string zone_;

    struct Fold {
        std::int64_t since = -1;  // the hour's start (clock that never jumps), -1: none open
        int lines = 0;            // distinct programs logged in it
        int more = 0;             // programs stopped without a line of their own
        std::string last;
    } fold_;

    std::set<int> protected_;
    std::set<std::pair<int, std::uint64_t>> stopping_;  // (pid, start time)
    std::map<std::string, std::int64_t> notified_;      // program name -> when last told
    Override override_;
    std::string usedUp_, usedUpWhy_;  // the day whose rest blocks, and why
    RepeatFilter repeats_;
};

}  // namespace enforce
