// The real clock: wall time, the boot-time clock (never jumps, counts suspend), and local time in
// the system's time zone (/etc/localtime), whatever TZ the guard's environment holds.
#pragma once

#include "sentrel/core/Clock.h"

namespace sentrel {

class SystemClock final : public Clock {
  public:
    // Pins the process's local time to /etc/localtime; call before any other use of local time.
    static void UseSystemTimeZone();

    std::int64_t Now() override;
    std::int64_t Elapsed() override;
    LocalTime Local(std::int64_t wall) override;
};

}  // namespace sentrel
