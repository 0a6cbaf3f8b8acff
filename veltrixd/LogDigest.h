// What the service knows of each account for the parent's family list:
//  - how many programs it stopped today, counted as it stops them (Stopped);
//  - the newest lines of the log about stops (Add), kept as the service, the log's only writer,
//    writes them;
//  - the alerts of the service's own (wrong passwords, a password changed, changes outside the
//    panel, time with no guard), told by the code that writes them (Alert), never recognised in a
//    line's text, where a program's name could put any words. They stay until a parent has seen
//    them (Seen: the account's password was given), whatever the child's programs add after them,
//    and outlast the service's restarts (Unseen, RestoreUnseen).
// The log is read whole only at the start and after a clear; only then are the day's stops taken
// from its lines, each number read where the service's own words put it.
#pragma once

#include <deque>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace veltrixd {

inline constexpr std::size_t kAlertsShown = 3;  // of the stops
inline constexpr std::size_t kUnseenKept = 8;   // alerts not seen yet, per account

struct LogDigest {
    long long stoppedToday = 0;
    // "2026-12-09 14:02:11 Stopped firefox ...": the newest stops, then the alerts not seen yet,
    // each oldest first (so the last is the newest unseen alert, if there is one).
    std::vector<std::string> alerts;
};

class LogDigests {
  public:
    // Takes the log's lines as they are written, oldest first (their stops are told by Stopped).
    void Add(std::string_view lines);
    // An alert of the service's own about `account`: its log line.
    void Alert(const std::string& account, std::string_view line);
    // A parent has seen `account`'s alerts; false when there were none.
    bool Seen(const std::string& account);
    // The alerts not seen yet, as lines "ACCOUNT\tLOG LINE", to be kept; and taken back.
    std::string Unseen() const;
    void RestoreUnseen(std::string_view kept);
    // One program of `account` stopped at `date` ("YYYY-MM-DD").
    void Stopped(const std::string& account, const std::string& date);
    // Forgets everything, then takes `log` whole (the part kept before first).
    void Reset(std::string_view log);
    // `date`: today, "YYYY-MM-DD".
    LogDigest Of(const std::string& account, const std::string& date) const;

  private:
    void AddLine(std::string_view line, bool countStops);
    struct Account {
        std::string date;  // of the stops counted
        long long stopped = 0;
        std::deque<std::string> alerts;  // of stops
        std::deque<std::string> unseen;
    };
    std::map<std::string, Account, std::less<>> accounts_;
};

// `log`: the log's lines (the part kept before first); `date`: today, "YYYY-MM-DD".
LogDigest DigestOf(std::string_view log, const std::string& account, const std::string& date);

}  // namespace veltrixd
