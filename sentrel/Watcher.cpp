#include "sentrel/Watcher.h"

#include <poll.h>
#include <spawn.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <ctime>
#include <string>

#include "lib/enforce/Heartbeat.h"
#include "lib/enforce/linux/HeartbeatFile.h"
#include "lib/enforce/linux/ProcScanner.h"
#include "lib/enforce/linux/Stopper.h"
#include "lib/platform/files/UniqueFd.h"
#include "sentrel/Instance.h"
#include "sentrel/Session.h"

extern char** environ;

namespace sentrel {
namespace {

volatile sig_atomic_t g_stop = 0;

void OnStop(int) {
    g_stop = 1;
}

// Waits up to `ms` for `fd` to become readable, or for a stop signal; true when readable.
bool WaitReadable(int fd, int ms) {
    pollfd p{fd, POLLIN, 0};
    for (;;) {
        if (g_stop) return false;
        const int n = ::poll(&p, 1, ms);
        if (n > 0) return true;
        if (n == 0) return false;
        if (errno != EINTR) return false;
    }
}

}  // namespace

pid_t SpawnWatcher(const std::string& exe) {
    const std::string pid = std::to_string(::getpid());
    const std::string start = std::to_string(enforce::ProcScanner::StartTime(::getpid()));
    char* argv[] = {const_cast<char*>("Sentrel.exe"), const_cast<char*>("--watch"),
                    const_cast<char*>(pid.c_str()), const_cast<char*>(start.c_str()), nullptr};
    posix_spawnattr_t attr;
    ::posix_spawnattr_init(&attr);
    sigset_t none;
    sigemptyset(&none);
    ::posix_spawnattr_setsigmask(&attr, &none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int s : {SIGTERM, SIGINT, SIGHUP, SIGUSR1, SIGPIPE}) sigaddset(&defaults, s);
    ::posix_spawnattr_setsigdefault(&attr, &defaults);
    ::posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t child = -1;
    const int rc = ::posix_spawn(&child, exe.c_str(), nullptr, &attr, argv, environ);
    ::posix_spawnattr_destroy(&attr);
    return rc == 0 ? child : -1;
}

int RunWatcher(const std::string& exe, pid_t guard, std::uint64_t startTime) {
    struct sigaction sa {};
    sa.sa_handler = OnStop;
    sigemptyset(&sa.sa_mask);
    for (int s : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(s, &sa, nullptr);
    // A guard killed before this watcher could hold it (in the moment after it started the
    // watcher) has ended all the same: gone, or its pid already another process's.
    platform::UniqueFd fd(enforce::Stopper::OpenPidfd(guard));
    const Session session = Session::Own();
    if (fd.valid() && enforce::ProcScanner::StartTime(guard) == startTime) {
        while (!g_stop && !WaitReadable(fd.get(), 60000)) {
            if (session.Ended()) return 0;
        }
    }
    fd.reset();
    const auto ended = static_cast<std::int64_t>(::time(nullptr));
    if (g_stop) return 0;
    // The guard has ended. Give a session that is ending a moment to say so.
    ::usleep(300000);
    if (g_stop || session.Ended()) return 0;
    {
        enforce::HeartbeatFile file(GuardHeartbeatPath());
        const enforce::PreviousRun last = enforce::ParseHeartbeat(file.Previous());
        if (last.kind == enforce::PreviousRun::Stopped && last.pid == guard &&
            last.reason == kSessionEnded)
            return 0;
        // The guard ended without a word: record when.
        if (last.kind != enforce::PreviousRun::Stopped)
            file.Write(enforce::EndedRecord(ended, guard));
    }  // closed before the exec
    char* argv[] = {const_cast<char*>("Sentrel.exe"), nullptr};
    ::execv(exe.c_str(), argv);
    return 1;
}

}  // namespace sentrel
