// This user's processes, read from /proc. A scan lists /proc once; a new process costs a few small
// reads. A process younger than 5 s is looked at again at every scan (a fork is followed by its
// exec), an older one at every fourth (an exec keeps the pid): one readlink of its executable.
// Processes of other users are remembered by pid and looked at again every sixteenth scan (a
// process can change its user without a new pid).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "lib/platform/files/UniqueFd.h"

#include "sentrel/core/Guard.h"

namespace sentrel {

class ProcScanner final : public ProcessTable {
  public:
    explicit ProcScanner(uid_t uid);
    ~ProcScanner() override;
    ProcScanner(const ProcScanner&) = delete;
    ProcScanner& operator=(const ProcScanner&) = delete;

    const std::vector<ProcessInfo>& Scan() override;
    // Looks at `pid` afresh at the next scan (it was seen running a new program).
    void Refresh(int pid) { known_.erase(pid); }

    // Start time (clock ticks after boot) of `pid`, read from /proc/<pid>/stat; 0 when gone.
    static std::uint64_t StartTime(int pid);
    // Session id of `pid`; 0 when gone.
    static int SessionOf(int pid);
    // The executable `pid` runs ("" when it cannot be read), also after an upgrade replaced it.
    static std::string Executable(int pid);

  private:
    struct Entry {
        bool own = false;
        bool seen = false;
        unsigned skipped = 0;  // scans since the owner was last looked at
        std::string exe;       // as last read
        ProcessInfo info;
    };
    void Describe(int pid, Entry& e);

    uid_t uid_;
    platform::UniqueFd procFd_;
    unsigned scans_ = 0;
    std::unordered_map<int, Entry> known_;
    std::vector<ProcessInfo> current_;
};

}  // namespace sentrel
