// Wall clock, CPU time and peak memory for the benchmarks, running a peer command, and a loopback
// listener for their senders.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/support/Loopback.h"

namespace bench {

inline double Now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

inline double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

inline long PeakKb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// Seconds a shell command takes; negative when it failed.
inline double TimeCommand(const std::string& command) {
    const double start = Now();
    const int rc = std::system(command.c_str());
    const double took = Now() - start;
    return rc == 0 ? took : -1;
}

inline void Row(const char* what, double ours, double peer, const char* peerName) {
    if (peer > 0)
        std::printf("%-44s %9.4f s   %-22s %9.4f s   ratio %.2f x\n", what, ours, peerName, peer,
                    ours / peer);
    else
        std::printf("%-44s %9.4f s   (%s unavailable)\n", what, ours, peerName);
}

}  // namespace bench
