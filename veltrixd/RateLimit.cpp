#include "veltrixd/RateLimit.h"

namespace veltrixd {

void RateLimit::Expire(std::deque<std::int64_t>& times, std::int64_t nowMs) {
    while (!times.empty() && nowMs - times.front() >= kWrongWindowMs) times.pop_front();
}

std::int64_t RateLimit::WaitMs(uid_t uid, std::int64_t nowMs) {
    auto it = wrong_.find(uid);
    if (it == wrong_.end()) return 0;
    Expire(it->second, nowMs);
    if (it->second.size() < static_cast<std::size_t>(control::kMaxWrong)) return 0;
    return it->second.front() + kWrongWindowMs - nowMs;
}

bool RateLimit::Wrong(uid_t uid, std::int64_t nowMs) {
    auto& times = wrong_[uid];
    Expire(times, nowMs);
    times.push_back(nowMs);
    // Only the last kMaxWrong tries matter for the wait.
    while (times.size() > static_cast<std::size_t>(control::kMaxWrong)) times.pop_front();
    return times.size() == static_cast<std::size_t>(control::kMaxWrong);
}

}  // namespace veltrixd
