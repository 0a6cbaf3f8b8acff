// The watcher that protects the guard ("NeedGuardOrNot" "Yes"): a second process of the same
// program ("Sentrel.exe --watch PID START") that waits on a pidfd of the guard. When the guard
// ends, the watcher looks at why: a guard that stopped because the session ended, or a session
// that is over, is left alone; any other end (killed, or stopped by a signal while the session
// goes on) makes the watcher become a new guard within a second, and the new guard logs the gap;
// so does a guard already gone when the watcher starts (killed in the moment after it started
// the watcher).
// The watcher itself ends on SIGTERM, SIGINT or SIGHUP without starting anything; the guard
// starts a new watcher when its watcher is killed.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace sentrel {

// The heartbeat reasons that mean "do not start a guard again".
inline constexpr const char* kSessionEnded = "the session ended";

// Starts a watcher for this process; its pid, or -1.
pid_t SpawnWatcher(const std::string& exe);

// The watcher's whole life. Returns the exit status, or execs a new guard.
int RunWatcher(const std::string& exe, pid_t guard, std::uint64_t startTime);

}  // namespace sentrel
