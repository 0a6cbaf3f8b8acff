// A child's own day as the service tells it ("mine"), and the child's view's words for it.
#pragma once

#include <optional>
#include <string>

#include "lib/control/Protocol.h"

namespace child {

struct MyDay {
    bool on = false;       // blocking on
    bool blocked = false;  // this hour (or the day's time used up, or a pause) blocks
    std::string until;     // "until 20:00", or ""
    long long used = 0;    // seconds today
    int allowed = -1;      // minutes today; -1: no limit
    std::string asked;     // the open request: "15", "30", "60", "hour"; "" for none
    std::string askedAt;   // "HH:MM"
    std::string reason;
};

// The reply's fields after "ok"; nothing when they are not a day's.
std::optional<MyDay> ParseMine(const control::Fields& reply);

// "Today: 1:12 of 2:00 used, 0:48 left." / "Today: no limit (1:12 used)."
std::string TodayWords(const MyDay& day);
// "Now: allowed until 20:00." / "Now: blocked until 08:00." / "Blocking is off: ..."
std::string NowWords(const MyDay& day);
// "You asked for 30 more minutes at 18:42: homework. Waiting for an answer." or "".
std::string RequestWords(const MyDay& day);

}  // namespace child
