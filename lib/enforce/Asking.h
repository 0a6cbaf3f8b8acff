// A child's requests for more time and a parent's answers, for one child and one local day, as
// the service keeps them. The child asks for 15, 30 or 60 minutes, or until the end of this hour,
// with a reason of plain printable text; one request is open at a time, and after a refusal the
// next may come 10 minutes later at the earliest. A parent grants minutes (added to today's
// allowance, and neither an hour nor the day used up blocks before they have passed), or allows
// until a time, or refuses; or pauses (blocked until a time). Everything ends at midnight: a new
// day has no request and no answer. Times are wall-clock seconds; the clock is root's.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace enforce {

inline constexpr std::size_t kReasonMost = 100;             // characters
inline constexpr std::int64_t kAskAgainAfterRefusal = 600;  // seconds
inline constexpr int kUntilEndOfHour = 0;                   // minutes asked: the hour's rest

// Why `reason` cannot be kept as it came ("" when it can): printable UTF-8 on one line, at most
// kReasonMost characters, no control, format or direction characters.
std::string ReasonProblem(std::string_view reason);
// Whether `minutes` is a request's: 15, 30, 60, or kUntilEndOfHour.
bool AskableMinutes(int minutes);

struct MoreTime {
    std::int64_t at = 0;  // when asked
    int minutes = 0;      // 15, 30, 60, or kUntilEndOfHour
    std::string reason;
};

// Today's answers as the guard applies them.
struct Answers {
    int extraMinutes = 0;           // added to today's allowance
    std::int64_t allowedUntil = 0;  // nothing blocks before it
    std::int64_t pausedUntil = 0;   // everything blocks before it
    std::string pausedBy;           // "mum"
};

class Asking {
  public:
    // The day is `date` ("YYYY-MM-DD", local) at every call: a new one forgets the day before.
    // A child's request at `now`: "" when taken, else why not, in words for the child.
    std::string Ask(std::int64_t now, const std::string& date, int minutes, std::string reason);
    std::optional<MoreTime> Open(const std::string& date);
    // A parent grants `minutes` more from `now` (the request closed, if one was open), or
    // allows until `until` (minutes 0). `midnight`: the end of the day, past which nothing lasts.
    void Grant(std::int64_t now, const std::string& date, int minutes, std::int64_t until,
               std::int64_t midnight);
    void Refuse(std::int64_t now, const std::string& date);
    // Blocked from now until `until` (capped at `midnight`) by `parent`; a grant before ends.
    void Pause(const std::string& date, std::int64_t until, std::int64_t midnight,
               const std::string& parent);
    Answers Today(const std::string& date);

    // Kept across the service's restarts: a few lines of text. Text that is not such a record,
    // or one of another day than the one asked next, holds nothing.
    std::string Serialize() const;
    static Asking Parse(const std::string& text);

  private:
    void Day(const std::string& date);

    std::string date_;
    std::optional<MoreTime> open_;
    std::int64_t refusedAt_ = -1;
    Answers answers_;
};

}  // namespace enforce
