// The real system service (veltrixd) for a test: its state, socket and log in a directory of the
// test's own, VELTRIX_CONTROL_SOCKET pointing at it for the test's clients. By default it
// enforces nothing (the control socket alone), so it can never stop a process.
#pragma once

#include <sys/types.h>

#include <ctime>
#include <map>
#include <string>
#include <vector>

namespace testing_support {

class ServiceProcess {
  public:
    // `group`: the group whose members the service serves; `extra`: further arguments; `env`:
    // further environment ("NAME=VALUE"; with WATCHDOG_USEC, WATCHDOG_PID names the service);
    // `prefix`: a command that execs the service (e.g. "ip netns exec NS": the service then runs
    // in that network namespace). The members' network is left alone unless `extra` names an
    // nftables table of the test's own ("--nft-table").
    explicit ServiceProcess(const std::string& group,
                            std::vector<std::string> extra = {"--no-enforce"},
                            std::vector<std::string> env = {},
                            std::vector<std::string> prefix = {});
    ~ServiceProcess();  // Stop(), then the directory goes
    ServiceProcess(const ServiceProcess&) = delete;
    ServiceProcess& operator=(const ServiceProcess&) = delete;

    bool started() const { return started_; }
    // Starts the service again with the same state, socket and log, once the one before has
    // ended (it is killed when it has not). True when the new one listens.
    bool Restart();
    // SIGTERM, and waits for the end (SIGKILL after 20 s); the exit status.
    int Stop();
    pid_t pid() const { return pid_; }
    const std::string& dir() const { return dir_; }
    // The directory the service reads as the machine's input devices (empty unless the test
    // makes devices there).
    std::string InputDir() const { return dir_ + "/input"; }
    std::string LogText() const;
    // Seals settings for `uid` as the service keeps them: blocking on, every hour box
    // `hourFlag`, then `values` over them; the password `parentPassword`.
    bool Seal(uid_t uid, const std::string& hourFlag,
              const std::map<std::string, std::string>& values = {},
              const std::string& parentPassword = "parent") const;
    // Records in the service's state, as it keeps it, that `uid` used `seconds` on the day of
    // `now`, all in its hour (`now` as the service's time zone reads it). Read at its start.
    void UsedThisHour(uid_t uid, const std::tm& now, int seconds) const;
    // Has the service read its members' sealed settings again (SIGHUP, repeated: a slow start
    // may not listen for signals yet) until it logs `account`'s with blocking on.
    bool Reread(const std::string& account) const;
    // The name of the group the calling process runs as (a group it is a member of).
    static std::string OwnGroup();

  private:
    bool Launch();
    std::vector<std::string> args_, env_;
    std::string dir_, previousSocket_;
    bool hadSocket_ = false;
    pid_t pid_ = -1;
    bool started_ = false;
};

}  // namespace testing_support
