#include "veltrixd/LogDigest.h"

#include <cstdlib>

namespace veltrixd {
namespace {

// The number that follows `marker` in `text`, or 0.
long long CountAfter(std::string_view text, std::string_view marker) {
    const std::size_t at = text.find(marker);
    if (at == std::string_view::npos) return 0;
    long long n = 0;
    for (std::size_t i = at + marker.size(); i < text.size() && text[i] >= '0' && text[i] <= '9';
         ++i)
        n = n < 1000000000 ? n * 10 + (text[i] - '0') : n;
    return n;
}

bool IsAlert(std::string_view text) {
    for (std::string_view mark :
         {std::string_view("Stopped "), std::string_view(" was stopped "),
          std::string_view(" more program"), std::string_view("was killed"),
          std::string_view("wrong password"), std::string_view("outside the panel"),
          std::string_view("No guard ran"), std::string_view("password was")})
        if (text.find(mark) != std::string_view::npos) return true;
    return false;
}

}  // namespace

LogDigest DigestOf(std::string_view log, const std::string& account, const std::string& date) {
    LogDigest digest;
    const std::string tag = " [" + account + "] ";
    // "YYYY-MM-DD HH:MM:SS [account] text"
    constexpr std::size_t kStamp = 19;
    while (!log.empty()) {
        const std::size_t end = log.find('\n');
        std::string_view line = log.substr(0, end);
        log.remove_prefix(end == std::string_view::npos ? log.size() : end + 1);
        if (line.size() <= kStamp + tag.size() || line.compare(kStamp, tag.size(), tag) != 0)
            continue;
        const std::string_view text = line.substr(kStamp + tag.size());
        if (!IsAlert(text)) continue;
        if (line.compare(0, date.size(), date) == 0) {
            if (text.rfind("Stopped ", 0) == 0)
                ++digest.stoppedToday;
            else
                digest.stoppedToday += CountAfter(text, " was stopped ") +
                                       (text.rfind("and ", 0) == 0 ? CountAfter(text, "and ") : 0);
        }
        digest.alerts.emplace_back(std::string(line.substr(0, kStamp)) + " " + std::string(text));
        if (digest.alerts.size() > kAlertsShown) digest.alerts.erase(digest.alerts.begin());
    }
    return digest;
}

}  // namespace veltrixd
