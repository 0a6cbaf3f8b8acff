#include "tests/support/FakeLogind.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "tests/support/Signal.h"
#include "tests/support/Wait.h"

namespace testing_support {

namespace {

constexpr const char* kPython = "/usr/bin/python3";  // Debian's, where python3-dbusmock is

pid_t Start(const std::vector<std::string>& argv, const std::string& env, const std::string& out) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (!env.empty()) ::putenv(const_cast<char*>(env.c_str()));
        if (!std::freopen(out.c_str(), "w", stdout) || !std::freopen("/dev/null", "w", stderr))
            ::_exit(126);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    return pid;
}

bool Run(const std::vector<std::string>& argv, const std::string& env) {
    const pid_t pid = Start(argv, env, "/dev/null");
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

void End(pid_t& pid) {
    if (pid <= 0) return;
    Signal(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    pid = -1;
}

}  // namespace

FakeLogind::FakeLogind() {
    if (::access("/usr/bin/dbus-daemon", X_OK) != 0 ||
        !std::filesystem::exists("/usr/lib/python3/dist-packages/dbusmock"))
        return;
    char templ[] = "/tmp/veltrix-logind-XXXXXX";
    if (!::mkdtemp(templ)) return;
    dir_ = templ;
    const std::string socket = dir_ + "/bus";
    bus_ = Start({"dbus-daemon", "--session", "--nofork", "--address=unix:path=" + socket}, "",
                 "/dev/null");
    if (!Eventually([&] { return std::filesystem::exists(socket); }, 10000)) return;
    const std::string address = "unix:path=" + socket;
    const std::string env = "DBUS_SYSTEM_BUS_ADDRESS=" + address;
    mock_ =
        Start({kPython, "-m", "dbusmock", "--system", "--template", "logind"}, env, "/dev/null");
    // Ready once it answers.
    if (!Eventually(
            [&] {
                return Run(
                    {"dbus-send", "--system", "--print-reply", "--dest=org.freedesktop.login1",
                     "/org/freedesktop/login1", "org.freedesktop.login1.Manager.ListSessions"},
                    env);
            },
            20000))
        return;
    address_ = address;
}

FakeLogind::~FakeLogind() {
    End(mock_);
    End(bus_);
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
}

bool FakeLogind::AddSession(const std::string& id, uid_t uid, const std::string& user, bool active,
                            const std::string& seat) const {
    // The template makes a session on a seat only; one without is that, its seat then taken away
    // as logind shows it (an empty name and the path "/"), which dbus-send cannot write.
    return Run({"dbus-send", "--system", "--print-reply", "--dest=org.freedesktop.login1",
                "/org/freedesktop/login1", "org.freedesktop.DBus.Mock.AddSession", "string:" + id,
                "string:" + (seat.empty() ? std::string("seat0") : seat),
                "uint32:" + std::to_string(uid), "string:" + user,
                std::string("boolean:") + (active ? "true" : "false")},
               Env()) &&
           (!seat.empty() ||
            Run({kPython, "-c",
                 "import dbus, sys\n"
                 "bus = dbus.bus.BusConnection(sys.argv[1])\n"
                 "session = bus.get_object('org.freedesktop.login1', sys.argv[2])\n"
                 "session.Set('org.freedesktop.login1.Session', 'Seat',\n"
                 "            dbus.Struct(('', dbus.ObjectPath('/')), signature='so'),\n"
                 "            dbus_interface='org.freedesktop.DBus.Properties')\n",
                 address_, "/org/freedesktop/login1/session/" + id},
                Env()));
}

bool FakeLogind::Set(const std::string& id, const std::string& property, bool value) const {
    return Run({"dbus-send", "--system", "--print-reply", "--dest=org.freedesktop.login1",
                "/org/freedesktop/login1/session/" + id, "org.freedesktop.DBus.Properties.Set",
                "string:org.freedesktop.login1.Session", "string:" + property,
                std::string("variant:boolean:") + (value ? "true" : "false")},
               Env());
}

}  // namespace testing_support
