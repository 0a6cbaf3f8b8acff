// One guard per user: the first start holds a lock in the user's runtime directory (or, without
// one, the state directory) with its pid; a later start finds the lock taken, asks that guard to
// read the settings again (SIGUSR1, only when the holder runs this same program as this user) and
// ends. Also the heartbeat file in the user's state directory ($XDG_STATE_HOME/veltrix, by
// default ~/.local/state/veltrix), which outlives the session.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "lib/platform/files/UniqueFd.h"

namespace sentrel {

std::string StateDirectory();    // created 0700 when missing
std::string RuntimeDirectory();  // likewise; the state directory without XDG_RUNTIME_DIR
std::string OwnExecutable();     // the running program's path

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

// The heartbeat file, kept open and rewritten in place.
class HeartbeatFile {
  public:
    HeartbeatFile();  // the guard's, in the user's state directory
    explicit HeartbeatFile(const std::string& path);
    ~HeartbeatFile();
    HeartbeatFile(const HeartbeatFile&) = delete;
    HeartbeatFile& operator=(const HeartbeatFile&) = delete;

    // What the previous guard left ("" when nothing).
    std::string Previous() const { return previous_; }
    void Write(const std::string& record);
    static std::string Path();

  private:
    platform::UniqueFd fd_;
    std::string previous_;
};

}  // namespace sentrel
