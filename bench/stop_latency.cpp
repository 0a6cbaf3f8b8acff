// How long a web browser lives under a guard: starts PROGRAM (a do-nothing program named like a
// browser, which ends at SIGTERM) COUNT times as the account UID:GID, one after the other, and
// measures from the moment just before exec to its end. Prints the median, the 99th percentile
// and the worst, in milliseconds. A start that lives 5 s is killed and counted as 5000 ms.
// ARGS follow PROGRAM on its command line.
//   bench_stop_latency UID GID PROGRAM COUNT [ARGS...]
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

#include "tests/support/Signal.h"

namespace {

long long NowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: bench_stop_latency UID GID PROGRAM COUNT [ARGS...]\n");
        return 2;
    }
    const uid_t uid = static_cast<uid_t>(std::atoi(argv[1]));
    const gid_t gid = static_cast<gid_t>(std::atoi(argv[2]));
    const int count = std::atoi(argv[4]);
    std::vector<double> ms;
    std::mt19937 random(42);
    for (int i = 0; i < count; ++i) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return 1;
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(fds[0]);
            if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)
                ::_exit(126);
            const long long start = NowUs();
            if (::write(fds[1], &start, sizeof start) != sizeof start) ::_exit(126);
            std::vector<char*> args{argv[3]};
            for (int a = 5; a < argc; ++a) args.push_back(argv[a]);
            args.push_back(nullptr);
            ::execv(argv[3], args.data());
            ::_exit(127);
        }
        ::close(fds[1]);
        long long start = 0;
        if (::read(fds[0], &start, sizeof start) != sizeof start) return 1;
        ::close(fds[0]);
        const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, child, 0));
        pollfd p{pidfd, POLLIN, 0};
        if (::poll(&p, 1, 5000) == 0) testing_support::Signal(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        ms.push_back(static_cast<double>(NowUs() - start) / 1000.0);
        ::close(pidfd);
        // Not in step with a poller's period (half a second): a start at any moment of it.
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 1000));
    }
    std::sort(ms.begin(), ms.end());
    auto at = [&](double q) {
        return ms[std::min(ms.size() - 1, static_cast<size_t>(q * ms.size()))];
    };
    std::printf("median %.1f ms, 99th percentile %.1f ms, worst %.1f ms (%d starts)\n", at(0.5),
                at(0.99), ms.back(), count);
    return 0;
}
