#include "lib/enforce/Asking.h"

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

}  // namespace enforce
