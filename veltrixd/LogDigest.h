// What the service knows of each account for the parent's family list: how many programs it
// stopped today, counted as it stops them (Stopped), and the newest lines of the log a parent
// would want to see (stops, kills, wrong passwords, changes outside the panel, gaps), kept as the
// service, the log's only writer, writes them (Add). The log is read whole only at the start and
// after a clear; only then are the day's stops taken from its lines, each number read where the
// service's own words put it (never where a program's name could).
#pragma once

#include <deque>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace veltrixd {

inline constexpr std::size_t kAlertsShown = 3;

struct LogDigest {
    long long stoppedToday = 0;
    std::vector<std::string> alerts;  // "2026-12-09 14:02:11 Stopped firefox ...", newest last
};

class LogDigests {
  public:
    // Takes the log's lines as they are written, oldest first (their stops are told by Stopped).
    void Add(std::string_view lines);
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
        std::deque<std::string> alerts;
    };
    std::map<std::string, Account, std::less<>> accounts_;
};

// `log`: the log's lines (the part kept before first); `date`: today, "YYYY-MM-DD".
LogDigest DigestOf(std::string_view log, const std::string& account, const std::string& date);

}  // namespace veltrixd
