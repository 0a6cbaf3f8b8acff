// Wrong passwords, limited per account and per caller: after kMaxWrong wrong tries at one
// account's password within a minute, every further try of that caller waits until the minute
// since the first of them has passed. A right password clears the caller's count. Each caller
// counts apart, so a child guessing at its own settings never makes its parent's tries wait.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <deque>
#include <map>
#include <utility>

#include "lib/control/Protocol.h"

namespace veltrixd {

inline constexpr std::int64_t kWrongWindowMs = 60000;

class RateLimit {
  public:
    // Milliseconds `caller` must wait before its next try at `account`'s password counts; 0 when
    // it may try now.
    std::int64_t WaitMs(uid_t account, uid_t caller, std::int64_t nowMs);
    // Records a wrong try. True when it is the one that starts a wait (log it once per burst).
    bool Wrong(uid_t account, uid_t caller, std::int64_t nowMs);
    void Right(uid_t account, uid_t caller) { wrong_.erase({account, caller}); }
    // The account's password changed: every caller's count goes.
    void Forget(uid_t account);

  private:
    using Key = std::pair<uid_t, uid_t>;  // (account, caller)
    void Expire(std::deque<std::int64_t>& times, std::int64_t nowMs);
    std::map<Key, std::deque<std::int64_t>> wrong_;  // times of the recent wrong tries
};

}  // namespace veltrixd
