// The heartbeat file of an enforcing program (the session guard's in the user's state directory,
// the service's in its own): kept open and rewritten in place, so that the next start can tell
// how long nothing enforced.
#pragma once

#include <string>

#include "lib/platform/files/UniqueFd.h"

namespace enforce {

class HeartbeatFile {
  public:
    explicit HeartbeatFile(const std::string& path);
    ~HeartbeatFile();
    HeartbeatFile(const HeartbeatFile&) = delete;
    HeartbeatFile& operator=(const HeartbeatFile&) = delete;

    // What the previous run left ("" when nothing).
    std::string Previous() const { return previous_; }
    void Write(const std::string& record);

  private:
    platform::UniqueFd fd_;
    std::string previous_;
};

}  // namespace enforce
