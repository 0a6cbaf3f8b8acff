#include "lib/enforce/Repeats.h"

#include <algorithm>
#include <array>

namespace enforce {
namespace {
constexpr std::array<std::int64_t, 3> kWindowSeconds = {60, 600, 3600};
}

bool RepeatFilter::Admit(const std::string& key, std::int64_t now, const std::string& detail) {
    auto it = windows_.find(key);
    if (it == windows_.end()) {
        windows_[key] = Window{now, now + kWindowSeconds[0], 0, 0, {}};
        return true;
    }
    ++it->second.count;
    it->second.detail = detail;
    return false;
}

std::vector<RepeatFilter::Summary> RepeatFilter::Due(std::int64_t now) {
    std::vector<Summary> due;
    for (auto it = windows_.begin(); it != windows_.end();) {
        Window& w = it->second;
        if (w.end > now) {
            ++it;
            continue;
        }
        if (w.count == 0) {
            it = windows_.erase(it);
            continue;
        }
        due.push_back({it->first, w.count, w.start, w.detail});
        w.stage = std::min<int>(w.stage + 1, static_cast<int>(kWindowSeconds.size()) - 1);
        w.start = now;
        w.end = now + kWindowSeconds[static_cast<std::size_t>(w.stage)];
        w.count = 0;
        w.detail.clear();
        ++it;
    }
    return due;
}

std::vector<RepeatFilter::Summary> RepeatFilter::Flush() {
    std::vector<Summary> due;
    for (auto& [key, w] : windows_)
        if (w.count > 0) due.push_back({key, w.count, w.start, w.detail});
    windows_.clear();
    return due;
}

}  // namespace enforce
