// What logind says of the members' login sessions, asked on the system bus with sd-bus: each
// session's user, whether it is on a seat, and whether it is active (the foreground of its
// seat), idle and locked. Asked
// only while a member with an allowance runs a governed program, with a short timeout; a bus or
// a logind that cannot be asked is tried again a minute later, and meanwhile use is counted as
// where logind is not there.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "lib/enforce/Allowance.h"

struct sd_bus;

namespace veltrixd {

inline constexpr std::uint64_t kLogindTimeoutUs = 500'000;
inline constexpr std::int64_t kLogindRetryMs = 60'000;

class Logind {
  public:
    Logind() = default;
    ~Logind();
    Logind(const Logind&) = delete;
    Logind& operator=(const Logind&) = delete;

    // Every session's state by the uid it belongs to; nullopt when logind cannot be asked now.
    // `nowMs` on a clock that never jumps.
    std::optional<std::map<uid_t, std::vector<enforce::SessionState>>> Sessions(std::int64_t nowMs);

  private:
    bool Connect();
    void Drop(std::int64_t nowMs);

    sd_bus* bus_ = nullptr;
    std::int64_t retryAtMs_ = -1;
};

}  // namespace veltrixd
