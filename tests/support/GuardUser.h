// A throwaway unprivileged user for tests of the real guard program and service, so that neither
// can ever stop a process the test did not start: the user is created for the test and removed
// after it, with every process it still has (all of them started by the test or by what it
// started). Its home, runtime directory, settings store and a program directory (Sentrel.exe and
// veltrix-reg) live in a temporary directory. Only root can do this; tests skip otherwise.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace testing_support {

class GuardUser {
  public:
    GuardUser();
    ~GuardUser();
    GuardUser(const GuardUser&) = delete;
    GuardUser& operator=(const GuardUser&) = delete;

    static bool Possible();  // running as root

    std::string name;
    uid_t uid = 0;
    gid_t gid = 0;
    std::string root, home, runtime, store, program, bin;

    // Starts `argv` as this user (its environment: HOME, XDG_RUNTIME_DIR, the store); the pid.
    pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env = {});
    // The same in a network namespace of its own (loopback only, down): for real browsers, which
    // would otherwise reach out to their makers' servers.
    pid_t SpawnOffline(const std::vector<std::string>& argv,
                       const std::vector<std::string>& env = {});
    // What the programs started offline wrote to their standard output and error.
    std::string ProgramsOutput() const;
    // Runs `argv` as this user to its end; the exit status.
    int Run(const std::vector<std::string>& argv);
    // Sets a settings value as this user, through the store tool.
    void Set(const std::string& name, const std::string& value);
    // A copy of the do-nothing program under `name` in the user's bin directory; its path.
    std::string Program(const std::string& name);
    // Starts the guard.
    pid_t StartGuard();
    // The guard that holds the lock now (0: none).
    pid_t Guard() const;
    std::string Log() const;
    // Waits up to `ms` until Log() holds `text`.
    bool WaitForLog(const std::string& text, int ms = 15000) const;
    // A group of the test's own whose only member is this user (for a service that enforces for
    // that group alone); removed with the user. Its name.
    std::string MemberGroup();
    // Processes of this user now running, by pid, with their command lines.
    std::vector<std::pair<pid_t, std::string>> Processes() const;

  private:
    std::vector<std::string> Environment() const;
    pid_t Start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                bool offline);
    std::string group_;
};

// Whether `pid` still runs (reaps it when it is a child of the test that has ended).
bool Running(pid_t pid);
// Waits up to `ms` until `pid` no longer runs; true when it ended.
bool WaitForEnd(pid_t pid, int ms);
// Sets every hour box of the current and the next hour to `flag` for `user` (the guard's local
// time: /etc/localtime).
void SetCurrentHours(GuardUser& user, const std::string& flag);

}  // namespace testing_support
