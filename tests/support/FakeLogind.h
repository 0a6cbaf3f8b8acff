// logind for a test: a private system bus (dbus-daemon) of the test's own with python3-dbusmock's
// logind template on it. A service started with Env() in its environment asks it, through its
// own sd-bus code, as it would ask the real logind; the test adds sessions and sets their
// Active, IdleHint and LockedHint. Both processes are the test's, ended by pid.
#pragma once

#include <sys/types.h>

#include <string>

namespace testing_support {

class FakeLogind {
  public:
    FakeLogind();
    ~FakeLogind();
    FakeLogind(const FakeLogind&) = delete;
    FakeLogind& operator=(const FakeLogind&) = delete;

    // False where dbus-daemon or python3-dbusmock is missing.
    bool started() const { return !address_.empty(); }
    // "DBUS_SYSTEM_BUS_ADDRESS=..." for the service's environment.
    std::string Env() const { return "DBUS_SYSTEM_BUS_ADDRESS=" + address_; }
    // A session on `seat` ("" for none: a remote login).
    bool AddSession(const std::string& id, uid_t uid, const std::string& user, bool active,
                    const std::string& seat = "seat0") const;
    // A boolean property of the session: "Active", "IdleHint", "LockedHint".
    bool Set(const std::string& id, const std::string& property, bool value) const;

  private:
    std::string dir_, address_;
    pid_t bus_ = -1, mock_ = -1;
};

}  // namespace testing_support
