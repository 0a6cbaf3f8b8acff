#include "veltrixd/RateLimit.h"

namespace veltrixd {

void RateLimit::Expire(std::deque<std::int64_t>& times, std::int64_t nowMs) {
    while (!times.empty() && nowMs - times.front() >= kWrongWindowMs) times.pop_front();
}

std::int64_t RateLimit::WaitMs(uid_t account, uid_t caller, std::int64_t nowMs) {
    auto it = wrong_.find({account, caller});
    if (it == wrong_.end()) return 0;
    Expire(it->second, nowMs);
    if (it->second.size() < static_cast<std::size_t>(control::kMaxWrong)) return 0;
    return it->second.front() + kWrongWindowMs - nowMs;
}

bool RateLimit::Wrong(uid_t account, uid_t caller, std::int64_t nowMs) {
    auto& times = wrong_[{account, caller}];
    Expire(times, nowMs);
    times.push_back(nowMs);
    // Only the last kMaxWrong tries matter for the wait.
    while (times.size() > static_cast<std::size_t>(control::kMaxWrong)) times.pop_front();
    return times.size() == static_cast<std::size_t>(control::kMaxWrong);
}

void RateLimit::Forget(uid_t account) {
    wrong_.erase(wrong_.lower_bound({account, 0}), wrong_.upper_bound({account, ~uid_t{0}}));
}

}  // namespace veltrixd
