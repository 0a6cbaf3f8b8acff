#include "lib/blocklog/BlockLog.h"

#include <algorithm>
#include <cerrno>
#include <span>
#include <unordered_map>

#include "lib/platform/files/SharedLog.h"
#include "lib/rtl/Exception.h"

namespace blocklog {
namespace {

std::string ReadWhole(const platform::LockedLog& log) {
    if (!log.valid()) throw rtl::EInOutError::FromErrno(errno);
    std::string text;
    if (!log.Read(text)) throw rtl::EInOutError::FromErrno(errno);
    return text;
}

std::uint64_t Fingerprint(std::string_view bytes) {
    std::uint64_t h = 1469598103934665603ull;  // FNV-1a
    for (unsigned char c : bytes) h = (h ^ c) * 1099511628211ull;
    return h;
}

// The lines of `text` (each with CR LF) that `known` does not account for, counting repeats.
std::string LinesNotIn(std::string_view text, const std::vector<std::uint64_t>& known) {
    std::unordered_map<std::uint64_t, std::size_t> count;
    for (std::uint64_t h : known) ++count[h];
    std::vector<rtl::LineSpan> lines;
    if (!text.empty()) rtl::SplitLines(text, 0, lines);
    std::string out;
    for (const auto& l : lines) {
        const std::string_view line = text.substr(l.start, l.length);
        auto it = count.find(Fingerprint(line));
        if (it != count.end() && it->second > 0) {
            --it->second;
            continue;
        }
        out.append(line).append("\r\n");
    }
    return out;
}

}  // namespace

bool AppendBlockLogLine(const std::string& path, const std::string& line) {
    return platform::AppendSharedLogLine(path, line);
}

void BlockLog::Load() {
    text_.clear();
    lines_.clear();
    known_ = false;
    previousSize_ = 0;
    previousLines_ = 0;
    std::string before;
    if (const auto previous = platform::LockedLog::ForReading(path_ + ".1"); previous.valid()) {
        if (previous.Read(before)) previousSize_ = before.size();
        if (!before.empty() && before.back() != '\n') before += "\r\n";
    }
    const auto log = platform::LockedLog::ForReading(path_);
    std::string text = ReadWhole(log);
    known_ = true;
    id_ = log.Id();
    size_ = text.size();
    fingerprint_ = Fingerprint(text);
    if (!before.empty()) {
        std::vector<rtl::LineSpan> lines;
        rtl::SplitLines(before, 0, lines);
        previousLines_ = lines.size();
        text.insert(0, before);
        Hold(std::move(text), true);
        return;
    }
    Hold(std::move(text), false);  // an existing empty file is one empty line
}

std::vector<std::uint64_t> BlockLog::HeldFingerprints() const {
    std::vector<std::uint64_t> out;
    out.reserve(lines_.size());
    for (std::size_t i = 0; i < lines_.size(); ++i) out.push_back(Fingerprint(Line(i)));
    return out;
}

void BlockLog::Hold(std::string text, bool emptyMeansNoLines) {
    text_ = std::move(text);
    lines_.clear();
    if (!(emptyMeansNoLines && text_.empty())) rtl::SplitLines(text_, 0, lines_);
    cleared_ = false;
    clearedLines_.clear();
}

void BlockLog::Clear() {
    previousLines_ = 0;
    // Until now the held lines were the file's; keep what is needed to know them again.
    if (!cleared_) clearedLines_ = HeldFingerprints();
    cleared_ = true;
    text_.clear();
    lines_.clear();
}

void BlockLog::WriteBack() {
    const auto log = platform::LockedLog::ForRewriting(path_);
    // What the file holds beyond what was loaded or last written is the guard's. A file that
    // was replaced or rewritten by someone else (another panel's statistics window) is new only
    // in the lines this window has not seen: the other window wrote back what both had loaded.
    const std::string now = ReadWhole(log);
    const bool same = known_ && log.Id() == id_ && now.size() >= size_ &&
                      Fingerprint(std::string_view(now).substr(0, size_)) == fingerprint_;
    std::string unseen;
    std::string_view tail = std::string_view(now).substr(same ? size_ : 0);
    if (!same && known_) {
        unseen = LinesNotIn(now, cleared_ ? clearedLines_ : HeldFingerprints());
        tail = unseen;
    }

    std::string out;
    out.reserve(text_.size() + 2 * lines_.size() + tail.size());
    // The part kept before is shown, never written into the log itself.
    const std::size_t first = std::min(previousLines_, lines_.size());
    for (const auto& line : std::span(lines_).subspan(first)) {
        out.append(text_, line.start, line.length);
        out += "\r\n";
    }
    out += tail;

    const auto written = log.Replace(out);
    if (!written) throw rtl::EInOutError::FromErrno(errno);
    known_ = true;
    id_ = *written;
    size_ = out.size();
    fingerprint_ = Fingerprint(out);
    Hold(std::move(out), true);
    previousLines_ = 0;
    // Closing `log` releases the lock; a guard waiting on it sees the path moved on.
}

}  // namespace blocklog
