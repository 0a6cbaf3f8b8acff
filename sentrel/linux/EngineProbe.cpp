#include "sentrel/linux/EngineProbe.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "lib/platform/files/BoundedRead.h"
#include "lib/platform/files/ReadFile.h"

namespace sentrel {
namespace {

constexpr std::size_t kMaxMaps = 16 << 20;
constexpr std::size_t kMaxKnown = 4096;  // executables remembered; a scan re-learns the rest

bool IsFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The engine whose files lie beside the executable (Firefox and Chromium keep theirs there).
Engine EngineBeside(const std::string& exe) {
    const auto slash = exe.rfind('/');
    if (slash == std::string::npos || slash == 0) return Engine::None;
    const std::string dir = exe.substr(0, slash + 1);
    return EngineOfOwnFiles(
        [&dir](std::string_view name) { return IsFile(dir + std::string(name)); });
}

// Whether the process sleeps in a call that only a program's own code makes: it is past loading.
bool WaitsInItsOwnCode(int procFd, const EngineProbe::Sighting& s) {
    if (s.state != 'S') return false;
    const std::string text = platform::ReadFileAt(procFd, std::to_string(s.pid) + "/syscall", 64);
    if (text.empty() || text[0] < '0' || text[0] > '9') return false;  // running, or no call
    const long call = std::strtol(text.c_str(), nullptr, 10);
    static constexpr long kWaits[] = {
#ifdef SYS_pause
        SYS_pause,
#endif
#ifdef SYS_poll
        SYS_poll,
#endif
#ifdef SYS_select
        SYS_select,
#endif
#ifdef SYS_epoll_wait
        SYS_epoll_wait,
#endif
        SYS_nanosleep,  SYS_clock_nanosleep, SYS_ppoll,
        SYS_pselect6,   SYS_epoll_pwait,     SYS_wait4,
        SYS_waitid,     SYS_rt_sigsuspend,   SYS_rt_sigtimedwait,
        SYS_futex,      SYS_accept4,         SYS_recvmsg,
        SYS_recvfrom,
    };
    for (long wait : kWaits)
        if (call == wait) return true;
    return false;
}

}  // namespace

EngineProbe::EngineProbe(Packages packages) : packages_(std::move(packages)) {}

std::optional<Engine> EngineProbe::ReadMaps(int procFd, int pid) {
    ++mapsReads_;
    // Bounded: the maps wait for the process's memory, which it may make hang.
    const auto maps = platform::ReadFileBounded(procFd, std::to_string(pid) + "/maps", kMaxMaps);
    if (!maps) return std::nullopt;
    return EngineInMaps(*maps);
}

const PackageFacts& EngineProbe::Facts(Known& known, const Sighting& s) {
    if (!known.factsKnown) {
        // Packages are installed as root (dpkg, snapd, a system-wide Flatpak). A file an account
        // owns is its own software, whatever scope it runs in: a copy in a home, a download, a
        // Flatpak it installed for itself (`flatpak install --user`, whose desktop entry it
        // could write as it likes). It is no package's, and needs no look through the lists.
        known.facts = known.owner != 0 ? PackageFacts{} : packages_.Of(s.exe, s.app);
        known.factsKnown = true;
    }
    return known.facts;
}

EngineProbe::Verdict EngineProbe::Look(int procFd, const Sighting& s) {
    Verdict v;
    v.reads = s.reads;
    const bool due = EngineReadDueInMs(s) == 0;
    const int readsAfter = s.ageMs >= kEngineLastReadMs ? 2 : s.reads + 1;  // 1 s: the last one
    struct stat st {};
    const bool identified =
        ::fstatat(procFd, (std::to_string(s.pid) + "/exe").c_str(), &st, 0) == 0;
    if (!identified && (errno == ENOENT || errno == ESRCH)) {
        v.final = true;  // gone
        return v;
    }
    // A script or program run through an interpreter or the loader, and an executable the caller
    // may not look at: this process alone says what it runs.
    if (!identified || !s.program.empty()) {
        if (due) {
            if (const auto engine = ReadMaps(procFd, s.pid)) {  // else due again
                v.engine = *engine;
                v.reads = readsAfter;
            }
        }
        v.final = v.engine != Engine::None || v.reads >= 2;
        if (v.engine != Engine::None && (!s.program.empty() || !s.app.empty()))
            v.package = packages_.Of(s.program.empty() ? s.exe : s.program, s.app);
        return v;
    }
    const Key key{st.st_dev, st.st_ino, st.st_ctim.tv_sec, st.st_ctim.tv_nsec, s.exe};
    auto it = known_.find(key);
    if (it == known_.end()) {
        if (known_.size() >= kMaxKnown) known_.clear();
        Known fresh;
        fresh.owner = st.st_uid;
        fresh.engine = EngineBeside(s.exe);
        fresh.settled = fresh.engine != Engine::None;
        it = known_.emplace(key, fresh).first;
    }
    Known& known = it->second;
    if (!known.settled && due) {
        if (const auto engine = ReadMaps(procFd, s.pid)) {  // else due again
            known.engine = *engine;
            v.reads = readsAfter;
            known.settled = known.engine != Engine::None || s.cpuMs >= kEngineSettledCpuMs ||
                            WaitsInItsOwnCode(procFd, s);
        }
    }
    v.engine = known.engine;
    v.final = known.settled || v.reads >= 2;
    if (v.engine != Engine::None) v.package = Facts(known, s);
    return v;
}

std::int64_t EngineReadDueInMs(const EngineProbe::Sighting& s) {
    const auto age = static_cast<std::int64_t>(s.ageMs);
    if (s.reads == 0) return std::max<std::int64_t>(0, kEngineFirstReadMs - age);
    if (s.reads == 1) return std::max<std::int64_t>(0, kEngineLastReadMs - age);
    return -1;
}

}  // namespace sentrel
