// Wrong passwords, limited per account: after kMaxWrong wrong tries within a minute, every try
// waits until the minute since the first of them has passed. A right password clears the count.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <deque>
#include <map>

#include "lib/control/Protocol.h"

namespace veltrixd {

inline constexpr std::int64_t kWrongWindowMs = 60000;

class RateLimit {
  public:
    // Milliseconds the account must wait before its next try counts; 0 when it may try now.
    std::int64_t WaitMs(uid_t uid, std::int64_t nowMs);
    // Records a wrong try. True when it is the one that starts a wait (log it once per burst).
    bool Wrong(uid_t uid, std::int64_t nowMs);
    void Right(uid_t uid) { wrong_.erase(uid); }

  private:
    void Expire(std::deque<std::int64_t>& times, std::int64_t nowMs);
    std::map<uid_t, std::deque<std::int64_t>> wrong_;  // times of the recent wrong tries
};

}  // namespace veltrixd
