// What the log says of each account, for the parent's family list: how many programs were stopped
// today (the lines of their own, and the counts of the summing-up lines), and the newest lines a
// parent would want to see (stops, kills, wrong passwords, changes outside the panel, gaps). The
// service, the log's only writer, keeps it as it writes (LogDigests::Add), so the family list
// costs no read of the log; the log is read whole only at the start and after a clear.
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
    // Takes the log's lines as they are written (or read), oldest first.
    void Add(std::string_view lines);
    // Forgets everything, then takes `log` whole (the part kept before first).
    void Reset(std::string_view log);
    // `date`: today, "YYYY-MM-DD".
    LogDigest Of(const std::string& account, const std::string& date) const;

  private:
    void AddLine(std::string_view line);
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
