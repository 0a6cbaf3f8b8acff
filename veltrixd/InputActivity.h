// Whether a person used a keyboard, mouse, touchpad or touchscreen of this machine lately, read
// by root from the input devices (/dev/input/event*). A login session may tell logind it is idle
// or locked (its owner may say so), so what a child's session says of itself is checked against
// the hands on the machine: only that an event came is noted, never what it was. Keys, buttons,
// touches and relative motion count; sensors and switches (absolute axes alone, lids) do not.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "lib/platform/files/UniqueFd.h"

namespace veltrixd {

inline constexpr std::int64_t kInputFreshMs = 12'000;   // longer gaps between looks say nothing
inline constexpr std::int64_t kInputRescanMs = 60'000;  // devices plugged in are found this late

class InputActivity {
  public:
    explicit InputActivity(std::string dir) : dir_(std::move(dir)) {}

    // True when a key, button, touch or motion came since the previous look, which was at most
    // kInputFreshMs before `nowMs` (a clock that never jumps). After a longer gap, or at the
    // first look, what waited in the devices is dropped unread and the answer is false.
    bool Touched(std::int64_t nowMs);
    int Devices() const { return static_cast<int>(devices_.size()); }

  private:
    void Rescan();
    bool Drain(int fd, bool& gone);

    std::string dir_;
    std::map<std::string, platform::UniqueFd> devices_;
    std::int64_t lastLookMs_ = -1, lastScanMs_ = -1;
};

}  // namespace veltrixd
