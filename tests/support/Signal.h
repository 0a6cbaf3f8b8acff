// Signals from tests go to one process the test started, named by a pid above 0. kill(2) with 0
// signals the caller's whole process group (the test runner with it) and -1 every process root
// may signal: a pid a failed fork or an empty lock file gave must never reach it.
#pragma once

#include <sys/types.h>

#include <csignal>
#include <cstdio>

namespace testing_support {

// Sends `signal` to `pid`; false (and nothing sent) when `pid` is not a single process.
inline bool Signal(pid_t pid, int signal) {
    if (pid <= 0) {
        std::fprintf(stderr, "test support: no signal %d sent to pid %d\n", signal,
                     static_cast<int>(pid));
        return false;
    }
    return ::kill(pid, signal) == 0;
}

}  // namespace testing_support
