// One guard per user: the first start holds a lock in the user's runtime directory (or, without
// one, the state directory) with its pid; a later start finds the lock taken, asks that guard to
// read the settings again (SIGUSR1, only when the holder runs this same program as this user) and
// ends. Also where the guard's heartbeat lies: the user's state directory ($XDG_STATE_HOME/veltrix,
// by default ~/.local/state/veltrix), which outlives the session.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "lib/platform/files/UniqueFd.h"

namespace sentrel {

std::string StateDirectory();    // created 0700 when missing
std::string RuntimeDirectory();  // likewise; the state directory without XDG_RUNTIME_DIR

class InstanceLock {
  public:
    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // True when this process now holds the lock; otherwise Holder() names who does (0: unknown).
    bool Claim();
    pid_t Holder() const { return holder_; }
    // Asks the holder to read the settings again. False when it is not a guard of this user.
    bool AskHolderToReread() const;

  private:
    platform::UniqueFd fd_;
    pid_t holder_ = 0;
};

// Where the session guard keeps its heartbeat (enforce::HeartbeatFile).
std::string GuardHeartbeatPath();

}  // namespace sentrel
