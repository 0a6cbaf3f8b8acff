#include "veltrixd/InputActivity.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/input.h>
#include <unistd.h>

#include <cerrno>
#include <iterator>

namespace veltrixd {
namespace {

constexpr int kEventsARead = 64;
constexpr int kReadsALook = 32;  // a device that never runs dry does not hold the service

}  // namespace

bool InputActivity::Touched(std::int64_t nowMs) {
    const bool fresh = lastLookMs_ >= 0 && nowMs - lastLookMs_ <= kInputFreshMs;
    lastLookMs_ = nowMs;
    if (lastScanMs_ < 0 || nowMs - lastScanMs_ >= kInputRescanMs) {
        Rescan();
        lastScanMs_ = nowMs;
    }
    bool touched = false;
    for (auto it = devices_.begin(); it != devices_.end();) {
        bool gone = false;
        touched = Drain(it->second.get(), gone) || touched;
        it = gone ? devices_.erase(it) : std::next(it);
    }
    return fresh && touched;
}

void InputActivity::Rescan() {
    DIR* dir = ::opendir(dir_.c_str());
    if (!dir) return;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.rfind("event", 0) != 0 || devices_.count(name) != 0) continue;
        platform::UniqueFd fd(
            ::open((dir_ + "/" + name).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
        if (fd.valid()) devices_.emplace(name, std::move(fd));
    }
    ::closedir(dir);
}

bool InputActivity::Drain(int fd, bool& gone) {
    bool touched = false;
    input_event events[kEventsARead];
    for (int reads = 0; reads < kReadsALook; ++reads) {
        const ssize_t n = ::read(fd, events, sizeof events);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            gone = errno != EAGAIN;  // ENODEV: unplugged
            break;
        }
        if (n == 0) break;
        const auto count = static_cast<std::size_t>(n) / sizeof(input_event);
        for (std::size_t i = 0; i < count; ++i)
            touched = touched || events[i].type == EV_KEY || events[i].type == EV_REL;
    }
    return touched;
}

}  // namespace veltrixd
