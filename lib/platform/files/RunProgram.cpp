#include "lib/platform/files/RunProgram.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>

#include "lib/platform/files/UniqueFd.h"

namespace platform {

std::optional<ProgramRun> RunProgram(const std::vector<std::string>& argv, int timeoutMs,
                                     std::size_t maxOutput) {
    if (argv.empty()) return std::nullopt;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return std::nullopt;
    UniqueFd in(fds[0]), out(fds[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out.get(), 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    char path[] = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";
    char locale[] = "LC_ALL=C";
    char* envp[] = {path, locale, nullptr};
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp);
    posix_spawn_file_actions_destroy(&actions);
    out.reset();
    if (spawned != 0 || pid <= 0) return std::nullopt;

    ProgramRun run;
    bool timedOut = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (char chunk[8192];;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        pollfd pfd{in.get(), POLLIN, 0};
        const int ready = left > 0 ? ::poll(&pfd, 1, static_cast<int>(left)) : 0;
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) {
            timedOut = true;
            break;
        }
        const ssize_t n = ::read(in.get(), chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        if (run.output.size() < maxOutput) run.output.append(chunk, static_cast<std::size_t>(n));
    }
    if (timedOut) ::kill(pid, SIGKILL);
    int status = 0;
    pid_t reaped;
    while ((reaped = ::waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
    }
    if (timedOut) return std::nullopt;
    if (reaped == pid && WIFEXITED(status)) run.exitStatus = WEXITSTATUS(status);
    return run;
}

}  // namespace platform
