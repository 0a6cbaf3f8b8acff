// The real clock: wall time, the boot-time clock (never jumps, counts suspend), and local time in
// the system's time zone (/etc/localtime), whatever TZ the guard's environment holds. A new zone
// (the file replaced, or its link pointed elsewhere) is followed at the next Zone().
#pragma once

#include <string>

#include "lib/enforce/Clock.h"

namespace enforce {

class SystemClock final : public Clock {
  public:
    // Pins the process's local time to the zone file (the system's, by default); call before
    // any other use of local time.
    static void UseSystemTimeZone(const std::string& zoneFile = "/etc/localtime");

    std::int64_t Now() override;
    std::int64_t Elapsed() override;
    LocalTime Local(std::int64_t wall) override;
    std::string Zone() override;
};

}  // namespace enforce
