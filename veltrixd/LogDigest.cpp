#include "veltrixd/LogDigest.h"

namespace veltrixd {
namespace {

// "YYYY-MM-DD HH:MM:SS [account] text"
constexpr std::size_t kStamp = 19;

// The number at `at` in `text`, or 0.
long long CountAt(std::string_view text, std::size_t at) {
    long long n = 0;
    for (std::size_t i = at; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
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

void LogDigests::Add(std::string_view lines) {
    while (!lines.empty()) {
        const std::size_t end = lines.find('\n');
        AddLine(lines.substr(0, end), false);
        lines.remove_prefix(end == std::string_view::npos ? lines.size() : end + 1);
    }
}

void LogDigests::Stopped(const std::string& account, const std::string& date) {
    Account& a = accounts_[account];
    if (date > a.date) {
        a.date = date;
        a.stopped = 0;
    }
    if (date == a.date) ++a.stopped;
}

void LogDigests::AddLine(std::string_view line, bool countStops) {
    if (line.size() < kStamp + 4 || line.compare(kStamp, 2, " [") != 0) return;
    const std::size_t close = line.find("] ", kStamp + 2);
    if (close == std::string_view::npos) return;
    const std::string_view name = line.substr(kStamp + 2, close - kStamp - 2);
    const std::string_view text = line.substr(close + 2);
    if (name.empty() || !IsAlert(text)) return;
    auto it = accounts_.find(name);
    if (it == accounts_.end()) it = accounts_.emplace(std::string(name), Account{}).first;
    Account& a = it->second;
    const std::string_view date = line.substr(0, 10);
    if (date > std::string_view(a.date)) {  // a new day: its stops count from zero
        a.date = std::string(date);
        a.stopped = 0;
    }
    if (countStops && date == std::string_view(a.date)) {
        // "Stopped NAME ...", "NAME was stopped N more times since DATE", "and N more programs
        // stopped since ...": the number is read where the service's words put it.
        if (text.rfind("Stopped ", 0) == 0)
            ++a.stopped;
        else if (text.rfind("and ", 0) == 0)
            a.stopped += CountAt(text, 4);
        else if (const auto at = text.rfind(" was stopped "); at != std::string_view::npos)
            a.stopped += CountAt(text, at + 13);
    }
    a.alerts.emplace_back(std::string(line.substr(0, kStamp)) + " " + std::string(text));
    if (a.alerts.size() > kAlertsShown) a.alerts.pop_front();
}

void LogDigests::Reset(std::string_view log) {
    accounts_.clear();
    while (!log.empty()) {
        const std::size_t end = log.find('\n');
        AddLine(log.substr(0, end), true);
        log.remove_prefix(end == std::string_view::npos ? log.size() : end + 1);
    }
}

LogDigest LogDigests::Of(const std::string& account, const std::string& date) const {
    LogDigest digest;
    const auto it = accounts_.find(account);
    if (it == accounts_.end()) return digest;
    if (it->second.date == date) digest.stoppedToday = it->second.stopped;
    digest.alerts.assign(it->second.alerts.begin(), it->second.alerts.end());
    return digest;
}

LogDigest DigestOf(std::string_view log, const std::string& account, const std::string& date) {
    LogDigests digests;
    digests.Reset(log);
    return digests.Of(account, date);
}

}  // namespace veltrixd
