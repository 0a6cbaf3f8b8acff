// What the log says of one account today, for the parent's family list: how many programs were
// stopped (the lines of their own, and the counts of the summing-up lines), and the newest lines
// a parent would want to see (stops, kills, wrong passwords, changes outside the panel, gaps).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace veltrixd {

inline constexpr std::size_t kAlertsShown = 3;

struct LogDigest {
    long long stoppedToday = 0;
    std::vector<std::string> alerts;  // "2026-12-09 14:02:11 Stopped firefox ...", newest last
};

// `log`: the log's lines (the part kept before first); `date`: today, "YYYY-MM-DD".
LogDigest DigestOf(std::string_view log, const std::string& account, const std::string& date);

}  // namespace veltrixd
