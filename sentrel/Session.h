// The login session the guard runs in, as systemd-logind keeps it: its id (from the guard's own
// cgroup, ".../session-<id>.scope"), its leader (whom the guard never stops), and whether it has
// ended. Without logind (a test, a session that is not one of logind's) there is no id, no
// leader, and the session never ends by this account.
#pragma once

#include <string>

namespace sentrel {

class Session {
  public:
    // The session of the calling process.
    static Session Own();

    const std::string& Id() const { return id_; }
    int Leader() const;
    // The session is over or closing (logind removed it, or its state is "closing").
    bool Ended() const;

  private:
    std::string id_;
};

}  // namespace sentrel
