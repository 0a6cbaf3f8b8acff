// This user's processes, read from /proc. A scan lists /proc once; a new process costs a few small
// reads. A process younger than 5 s is looked at again at every scan (a fork is followed by its
// exec), an older one at every fourth (an exec keeps the pid): one readlink of its executable.
// Processes of other users are remembered by pid and looked at again every sixteenth scan (a
// process can change its user without a new pid). The browser engine a process runs is learnt
// through an EngineProbe (which several scanners may share): at the process's first sight, and
// at the scans after it until the probe has said all it can (ProbeDueInMs says when).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "lib/platform/files/UniqueFd.h"

#include "lib/enforce/Guard.h"
#include "lib/enforce/linux/EngineProbe.h"

namespace enforce {

inline constexpr std::size_t kMaxRechecks = 256;

class ProcScanner final : public ProcessTable {
  public:
    // Without a probe, no engine is looked for (browsers are known by the table alone).
    ProcScanner(uid_t uid, std::shared_ptr<EngineProbe> probe);
    ~ProcScanner() override;
    ProcScanner(const ProcScanner&) = delete;
    ProcScanner& operator=(const ProcScanner&) = delete;

    // The account's subordinate uids (inclusive ranges, /etc/subuid): what its containers run
    // as is the account's too.
    void SetSubordinates(std::vector<std::pair<uid_t, uid_t>> ranges);
    const std::vector<ProcessInfo>& Scan() override;
    // Looks at `pid` afresh at the next scan (it was seen running a new program).
    void Refresh(int pid) { known_.erase(pid); }
    // In how many ms a process of the last scan is due a new look at its engine; -1: none is.
    std::int64_t ProbeDueInMs() const { return probeDueMs_; }
    // The processes the probe judges alone (interpreters, programs of no installed file) are
    // read again over their whole life: each one's stat (one small read), and its maps only when
    // what it maps has grown since. At most kMaxRechecks a call, in turns. True when one of them
    // now runs an engine (the next Scan() has it).
    bool Recheck();
    std::size_t Watched() const { return watched_.size(); }

    // Start time (clock ticks after boot) of `pid`, read from /proc/<pid>/stat; 0 when gone.
    static std::uint64_t StartTime(int pid);
    // The real user of `pid` as the kernel tells it for every process (the Uid line of its
    // status: /proc/<pid> itself shows root for a process that is not dumpable); nullopt: gone.
    static std::optional<uid_t> RealUid(int pid);
    // Whether `pid` still runs: not ended (an ended one not reaped yet does not run), or its
    // first thread ended while others run on.
    static bool StillRuns(int pid);
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
        std::string dir;       // where below /proc it was read: "PID", or "PID/task/TID"
        int engineReads = 0;   // maps reads made for it
        bool engineFinal = false;
        bool watch = false;       // judged alone: rechecked while it runs no engine
        std::uint64_t vsize = 0;  // its size when last read
        ProcessInfo info;
    };
    // Reads what the process runs into `e`; returns the text of its stat, read on the way.
    std::string Describe(int pid, Entry& e);
    // Asks the probe about the process's engine; `stat`: the text of its stat, read just now.
    void Probe(int pid, Entry& e, std::uint64_t nowMs, std::string_view stat);
    EngineProbe::Sighting SightingOf(int pid, const Entry& e);

    bool Owns(uid_t uid) const;

    uid_t uid_;
    std::vector<std::pair<uid_t, uid_t>> subordinates_;
    std::shared_ptr<EngineProbe> probe_;
    std::int64_t probeDueMs_ = -1;
    platform::UniqueFd procFd_;
    unsigned scans_ = 0;
    std::unordered_map<int, Entry> known_;
    std::vector<int> watched_;  // pids to recheck, as of the last scan
    std::size_t nextRecheck_ = 0;
    std::vector<ProcessInfo> current_;
};

// The running program's path.
std::string OwnExecutable();

}  // namespace enforce
