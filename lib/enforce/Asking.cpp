#include "lib/enforce/Asking.h"

#include <sstream>

#include <algorithm>

namespace enforce {

namespace {

// The code point at `s[i]` (advancing `i`), or -1 for a byte that does not begin valid UTF-8.
long NextCodePoint(std::string_view s, std::size_t& i) {
    const auto b = static_cast<unsigned char>(s[i]);
    const int more = b < 0x80             ? 0
                     : (b & 0xE0) == 0xC0 ? 1
                     : (b & 0xF0) == 0xE0 ? 2
                     : (b & 0xF8) == 0xF0 ? 3
                                          : -1;
    if (more < 0 || i + static_cast<std::size_t>(more) >= s.size()) return -1;
    long cp = more == 0 ? b : b & (0x3F >> more);
    for (std::size_t k = 1; k <= static_cast<std::size_t>(more); ++k) {
        const auto c = static_cast<unsigned char>(s[i + k]);
        if ((c & 0xC0) != 0x80) return -1;
        cp = (cp << 6) | (c & 0x3F);
    }
    // Overlong forms, surrogates and what lies past Unicode are no text.
    static constexpr long kLeast[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kLeast[more] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return -1;
    i += static_cast<std::size_t>(more) + 1;
    return cp;
}

// Control characters (C0, DEL, C1), line and paragraph separators, and the invisible format and
// direction marks a line could hide behind.
bool Unprintable(long cp) {
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0x200B || cp == 0x200E ||
           cp == 0x200F || (cp >= 0x2028 && cp <= 0x202E) || (cp >= 0x2060 && cp <= 0x206F) ||
           cp == 0xFEFF || (cp >= 0xFFF9 && cp <= 0xFFFB);
}

}  // namespace

std::string ReasonProblem(std::string_view reason) {
    std::size_t characters = 0;
    for (std::size_t i = 0; i < reason.size();) {
        const long cp = NextCodePoint(reason, i);
        if (cp < 0) return "The reason is not text.";
        if (cp == '\n' || cp == '\r' || cp == 0x2028 || cp == 0x2029)
            return "The reason must be one line.";
        if (Unprintable(cp)) return "The reason may hold only printable characters.";
        if (++characters > kReasonMost)
            return std::string("The reason may be ")
                .append(std::to_string(kReasonMost))
                .append(" characters long at most.");
    }
    return {};
}

bool AskableMinutes(int minutes) {
    return minutes == 15 || minutes == 30 || minutes == 60 || minutes == kUntilEndOfHour;
}

void Asking::Day(const std::string& date) {
    if (date == date_) return;
    date_ = date;
    open_.reset();
    refusedAt_ = -1;
    answers_ = {};
}

std::string Asking::Ask(std::int64_t now, const std::string& date, int minutes,
                        std::string reason) {
    Day(date);
    if (!AskableMinutes(minutes))
        return "Ask for 15, 30 or 60 minutes, or until the end of this hour.";
    if (std::string problem = ReasonProblem(reason); !problem.empty()) return problem;
    if (open_) return "A request is waiting for an answer already.";
    if (refusedAt_ >= 0 && now < refusedAt_ + kAskAgainAfterRefusal) {
        const std::int64_t wait = (refusedAt_ + kAskAgainAfterRefusal - now + 59) / 60;
        return std::string("The last request was refused: ask again in ")
            .append(std::to_string(wait))
            .append(wait == 1 ? " minute." : " minutes.");
    }
    open_ = MoreTime{now, minutes, std::move(reason)};
    return {};
}

std::optional<MoreTime> Asking::Open(const std::string& date) {
    Day(date);
    return open_;
}

void Asking::Grant(std::int64_t now, const std::string& date, int minutes, std::int64_t until,
                   std::int64_t midnight) {
    Day(date);
    open_.reset();
    answers_.pausedUntil = 0;
    answers_.pausedBy.clear();
    if (minutes > 0) {
        answers_.extraMinutes += minutes;
        until = now + std::int64_t{minutes} * 60;
    }
    answers_.allowedUntil = std::min(std::max(answers_.allowedUntil, until), midnight);
}

void Asking::Refuse(std::int64_t now, const std::string& date) {
    Day(date);
    open_.reset();
    refusedAt_ = now;
}

void Asking::Pause(const std::string& date, std::int64_t until, std::int64_t midnight,
                   const std::string& parent) {
    Day(date);
    answers_.allowedUntil = 0;
    answers_.pausedUntil = std::min(until, midnight);
    answers_.pausedBy = parent;
}

Answers Asking::Today(const std::string& date) {
    Day(date);
    return answers_;
}

// date DATE / open AT MINUTES REASON / refused AT / answers EXTRA ALLOWED PAUSED [BY]
std::string Asking::Serialize() const {
    if (date_.empty()) return {};
    std::string text = "date " + date_ + "\n";
    if (open_)
        text += "open " + std::to_string(open_->at) + " " + std::to_string(open_->minutes) + " " +
                open_->reason + "\n";
    if (refusedAt_ >= 0) text += "refused " + std::to_string(refusedAt_) + "\n";
    text += "answers " + std::to_string(answers_.extraMinutes) + " " +
            std::to_string(answers_.allowedUntil) + " " + std::to_string(answers_.pausedUntil);
    if (!answers_.pausedBy.empty()) text += " " + answers_.pausedBy;
    return text + "\n";
}

Asking Asking::Parse(const std::string& text) {
    Asking a;
    std::istringstream in(text);
    std::string line;
    auto number = [](std::istringstream& words, std::int64_t& out) {
        return static_cast<bool>(words >> out) && out >= 0;
    };
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string kind;
        words >> kind;
        if (kind == "date") {
            words >> a.date_;
            if (a.date_.size() != 10) return {};
        } else if (kind == "open") {
            MoreTime m;
            std::int64_t minutes = 0;
            if (!number(words, m.at) || !number(words, minutes)) return {};
            m.minutes = static_cast<int>(minutes);
            std::getline(words >> std::ws, m.reason);
            if (!AskableMinutes(m.minutes) || !ReasonProblem(m.reason).empty()) return {};
            a.open_ = std::move(m);
        } else if (kind == "refused") {
            if (!number(words, a.refusedAt_)) return {};
        } else if (kind == "answers") {
            std::int64_t extra = 0;
            if (!number(words, extra) || !number(words, a.answers_.allowedUntil) ||
                !number(words, a.answers_.pausedUntil) || extra > 24 * 60)
                return {};
            a.answers_.extraMinutes = static_cast<int>(extra);
            words >> a.answers_.pausedBy;
        } else if (!kind.empty()) {
            return {};
        }
    }
    if (a.date_.empty()) return {};
    return a;
}

}  // namespace enforce
