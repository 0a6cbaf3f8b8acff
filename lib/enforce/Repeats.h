// Keeps repeated events from flooding the log: a program restarted 100 times in a minute gives
// its first line and one line with the count, not 100 lines.
//
// The first event of a kind (its key) passes at once and opens a window of one minute; repeats in
// the window are only counted. When the window ends with repeats, Due() hands out one summary and
// a longer window follows (10 minutes, then an hour, the longest), so a program that is restarted
// all day long costs a few lines an hour. A window that ends without repeats closes; the next
// event of that kind passes at once again. Times are seconds on a clock that never jumps.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace enforce {

class RepeatFilter {
  public:
    struct Summary {
        std::string key;
        int count = 0;           // repeats in the window
        std::int64_t since = 0;  // when the window began
        std::string detail;      // the last repeat's detail
    };

    // True when the event is to be logged now; false when it was counted as a repeat.
    bool Admit(const std::string& key, std::int64_t now, const std::string& detail = {});
    // True while events of `key` are counted (a window is open).
    bool Counting(const std::string& key) const { return windows_.contains(key); }
    // The windows that have ended by `now` with repeats in them.
    std::vector<Summary> Due(std::int64_t now);
    // Every open window's repeats, at once (the guard is stopping).
    std::vector<Summary> Flush();

  private:
    struct Window {
        std::int64_t start = 0, end = 0;
        int stage = 0;
        int count = 0;
        std::string detail;
    };
    std::map<std::string, Window> windows_;
};

}  // namespace enforce
