#include "veltrixd/LogDigest.h"

#include <iterator>

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

// A line about stops: "Stopped NAME ...", "NAME was stopped N more times ...", "and N more
// programs stopped ...", "NAME (pid N) did not close within 5 s and was killed".
bool IsStop(std::string_view text) {
    return text.rfind("Stopped ", 0) == 0 || text.rfind("and ", 0) == 0 ||
           text.find(" was stopped ") != std::string_view::npos ||
           text.ends_with(" and was killed");
}

// "YYYY-MM-DD HH:MM:SS [account] text" as "YYYY-MM-DD HH:MM:SS text"; "" when it is none.
std::string Shown(std::string_view line) {
    if (line.size() < kStamp + 4 || line.compare(kStamp, 2, " [") != 0) return {};
    const std::size_t close = line.find("] ", kStamp + 2);
    if (close == std::string_view::npos) return {};
    return std::string(line.substr(0, kStamp)) + " " + std::string(line.substr(close + 2));
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
    if (name.empty() || !IsStop(text)) return;
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

void LogDigests::Alert(const std::string& account, std::string_view line) {
    std::string shown = Shown(line);
    if (shown.empty()) return;
    std::deque<std::string>& unseen = accounts_[account].unseen;
    unseen.push_back(std::move(shown));
    if (unseen.size() > kUnseenKept) unseen.pop_front();
}

bool LogDigests::Seen(const std::string& account) {
    const auto it = accounts_.find(account);
    if (it == accounts_.end() || it->second.unseen.empty()) return false;
    it->second.unseen.clear();
    return true;
}

std::string LogDigests::Unseen() const {
    std::string kept;
    for (const auto& [name, a] : accounts_)
        for (const std::string& alert : a.unseen) kept += name + "\t" + alert + "\n";
    return kept;
}

void LogDigests::RestoreUnseen(std::string_view kept) {
    while (!kept.empty()) {
        const std::size_t end = kept.find('\n');
        const std::string_view line = kept.substr(0, end);
        kept.remove_prefix(end == std::string_view::npos ? kept.size() : end + 1);
        const std::size_t tab = line.find('\t');
        if (tab == 0 || tab == std::string_view::npos || line.size() < tab + 1 + kStamp + 2)
            continue;
        std::deque<std::string>& unseen = accounts_[std::string(line.substr(0, tab))].unseen;
        unseen.emplace_back(line.substr(tab + 1));
        if (unseen.size() > kUnseenKept) unseen.pop_front();
    }
}

void LogDigests::Reset(std::string_view log) {
    // What was not seen yet stays: a clear is of the log, an alert is the parent's to see.
    for (auto it = accounts_.begin(); it != accounts_.end();) {
        it->second.date.clear();
        it->second.stopped = 0;
        it->second.alerts.clear();
        it = it->second.unseen.empty() ? accounts_.erase(it) : std::next(it);
    }
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
    digest.alerts.insert(digest.alerts.end(), it->second.unseen.begin(), it->second.unseen.end());
    return digest;
}

LogDigest DigestOf(std::string_view log, const std::string& account, const std::string& date) {
    LogDigests digests;
    digests.Reset(log);
    return digests.Of(account, date);
}

}  // namespace veltrixd
