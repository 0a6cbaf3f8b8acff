// The real service against what a member can do with what it may touch (root only; throwaway
// accounts the test creates): a lock held on the log the member may read, a flood of programs
// of distinct names, a change of the system's time zone; and a service that stalls anyway,
// ended and restarted by its watchdog with the test as the supervisor.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <thread>

#include "lib/control/Client.h"
#include "lib/password/PasswordHash.h"
#include "lib/platform/files/UniqueFd.h"
#include "lib/store/HourBoxes.h"
#include "lib/store/ValueNames.h"
#include "tests/support/GuardUser.h"
#include "tests/support/ServiceProcess.h"
#include "tests/support/Signal.h"
#include "tests/support/Wait.h"
#include "veltrixd/SealedStore.h"

namespace fs = std::filesystem;
using testing_support::GuardUser;
using testing_support::Running;
using testing_support::ServiceProcess;
using testing_support::WaitForEnd;

namespace {

constexpr int kStopMs = 10000;  // generous for a loaded machine; the benchmark measures speed

using Clock = std::chrono::steady_clock;

// Whether a process holds a lock on `path` (a try of the exclusive one fails).
bool Locked(const std::string& path) {
    return std::system(("flock -n -x '" + path + "' true").c_str()) != 0;
}

using testing_support::Eventually;

std::size_t CountOf(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

struct Family {
    GuardUser kid, sister;
    std::string group = kid.MemberGroup();
    Family() { std::system(("usermod -aG " + group + " " + sister.name).c_str()); }
};

}  // namespace

// flock() needs no more than reading the log, which every member may: a member that holds the
// lock, shared or exclusive, holds no stop of any member, no answer, and no line of the log.
TEST(ServiceResilience, AMembersLockOnTheLogHoldsNoStopNoAnswerAndNoLine) {
    if (!GuardUser::Possible()) GTEST_SKIP() << "needs root to create throwaway users";
    Family f;
    ServiceProcess service(f.group, {});
    ASSERT_TRUE(service.started());
    ASSERT_TRUE(service.Seal(f.kid.uid, "0"));
    ASSERT_TRUE(service.Seal(f.sister.uid, "0"));
    ASSERT_TRUE(service.Reread(f.kid.name));
    ASSERT_TRUE(service.Reread(f.sister.name));
    const std::string log = service.dir() + "/log/Block.log";
    // (-o: the lock is flock's own, so ending flock ends the lock.)
    const pid_t shared = f.kid.Spawn({"/usr/bin/flock", "-o", "-s", log, "sleep", "600"});
    ASSERT_TRUE(Eventually([&] { return Locked(log); }, 10000));

    std::vector<std::pair<std::string, pid_t>> stopped;
    auto expectStopped = [&](GuardUser& who, const std::string& name) {
        const pid_t pid = who.Spawn({who.Program(name)});
        EXPECT_TRUE(WaitForEnd(pid, kStopMs)) << name << " of " << who.name;
        stopped.emplace_back("[" + who.name + "] Stopped " + name + " (pid " + std::to_string(pid),
                             pid);
    };
    expectStopped(f.kid, "chromium");
    expectStopped(f.sister, "firefox");
    const control::Reply status = control::Ask({"status"}, 5000);
    EXPECT_TRUE(status.ok()) << status.Text();

    // An exclusive lock queued behind the shared one, then held.
    const pid_t exclusive = f.sister.Spawn({"/usr/bin/flock", "-o", "-x", log, "sleep", "600"});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    expectStopped(f.kid, "epiphany");
    testing_support::Signal(shared, SIGKILL);
    EXPECT_TRUE(WaitForEnd(shared, kStopMs));
    ASSERT_TRUE(Eventually([&] { return !Running(exclusive) || Locked(log); }, 5000));
    expectStopped(f.sister, "chromium");
    EXPECT_TRUE(control::Ask({"status"}, 5000).ok());
    testing_support::Signal(exclusive, SIGKILL);
    EXPECT_TRUE(WaitForEnd(exclusive, kStopMs));

    // Every stop is in the log, once, in the order of the stops.
    for (const auto& stop : stopped) {
        const std::string& line = stop.first;
        EXPECT_TRUE(
            Eventually([&] { return service.LogText().find(line) != std::string::npos; }, 5000))
            << line << "\n"
            << service.LogText();
    }
    const std::string text = service.LogText();
    std::size_t at = 0;
    for (const auto& [line, pid] : stopped) {
        EXPECT_EQ(CountOf(text, line), 1u) << line;
        const std::size_t found = text.find(line);
        EXPECT_GE(found, at) << line;
        at = found == std::string::npos ? at : found;
    }
}

// The test is the supervisor, as systemd with WatchdogSec=: the service's notifications come to
// a socket of its own; a service that sends no WATCHDOG=1 in time is killed and started again,
// and the new one says, for each member's parent, how long nothing enforced.
TEST(ServiceResilience, AStalledServiceIsRestartedByItsWatchdogAndTellsTheGap) {
    if (!GuardUser::Possible()) GTEST_SKIP() << "needs root to create throwaway users";
    GuardUser kid;
    char tmpl[] = "/tmp/veltrix-notify-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    const std::string dir = tmpl;
    const std::string path = dir + "/notify";
    const platform::UniqueFd sock(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    ASSERT_EQ(::bind(sock.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    constexpr int kWatchdogMs = 2000;
    auto next = [&](int ms) -> std::string {
        pollfd p{sock.get(), POLLIN, 0};
        if (::poll(&p, 1, ms) <= 0) return {};
        char buf[4096];
        const ssize_t n = ::recv(sock.get(), buf, sizeof buf, 0);
        return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
    };
    // Messages until `what` came, within `ms`.
    auto awaitMessage = [&](const std::string& what, int ms) {
        const auto until = Clock::now() + std::chrono::milliseconds(ms);
        while (Clock::now() < until)
            if (next(100).find(what) != std::string::npos) return true;
        return false;
    };

    ServiceProcess service(
        kid.MemberGroup(), {},
        {"NOTIFY_SOCKET=" + path, "WATCHDOG_USEC=" + std::to_string(kWatchdogMs * 1000)});
    ASSERT_TRUE(service.started());
    ASSERT_TRUE(service.Seal(kid.uid, "1"));
    ASSERT_TRUE(service.Reread(kid.name));
    EXPECT_TRUE(awaitMessage("READY=1", 10000));
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(awaitMessage("WATCHDOG=1", kWatchdogMs * 2));

    testing_support::Signal(service.pid(),
                            SIGUSR2);  // the test build's hook: the loop stops turning
    // Supervise: the time since the last WATCHDOG=1 passes the period (bounded).
    auto last = Clock::now();
    const auto giveUp = last + std::chrono::seconds(60);
    while (Clock::now() - last < std::chrono::milliseconds(kWatchdogMs) && Clock::now() < giveUp)
        if (next(100).find("WATCHDOG=1") != std::string::npos) last = Clock::now();
    ASSERT_LT(Clock::now(), giveUp) << "the service kept saying it is alive";
    // systemd sends WatchdogSignal= (SIGABRT by default), then SIGKILL; the end is the same.
    testing_support::Signal(service.pid(), SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(service.pid(), &status, 0), service.pid());
    EXPECT_TRUE(WIFSIGNALED(status));

    ASSERT_TRUE(service.Restart());
    EXPECT_TRUE(awaitMessage("READY=1", 10000));
    EXPECT_TRUE(Eventually(
        [&] {
            return service.LogText().find("[" + kid.name + "] No guard ran for about") !=
                   std::string::npos;
        },
        10000))
        << service.LogText();
    EXPECT_TRUE(awaitMessage("WATCHDOG=1", kWatchdogMs * 2));
    fs::remove_all(dir);
}

// A child that starts two thousand programs of distinct names (each stopped) leaves a score of
// lines and one that counts the rest, not two thousand.
TEST(ServiceResilience, AFloodOfDistinctProgramsKeepsTheLogSmall) {
    if (!GuardUser::Possible()) GTEST_SKIP() << "needs root to create throwaway users";
    GuardUser kid;
    ServiceProcess service(kid.MemberGroup(), {});
    ASSERT_TRUE(service.started());
    ASSERT_TRUE(service.Seal(kid.uid, "0"));
    ASSERT_TRUE(service.Reread(kid.name));
    // Hard links of one program beside a Chromium engine's files: each a browser of its own name.
    const std::string program = kid.Program("notes");
    constexpr int kPrograms = 2000;
    const std::string script =
        "set -e; mkdir -p ~/x; cd ~/x; : > icudtl.dat; : > v8_context_snapshot.bin; "
        "for i in $(seq " +
        std::to_string(kPrograms) + "); do ln -f " + program + " notes$i; done; for i in $(seq " +
        std::to_string(kPrograms) + "); do ./notes$i & done; wait";
    // Ends when every program was stopped (bounded: a program never stopped fails the test).
    EXPECT_EQ(kid.Run({"/usr/bin/timeout", "120", "/bin/bash", "-c", script}), 0);
    EXPECT_TRUE(Eventually(
        [&] {
            for (const auto& [pid, cmd] : kid.Processes())
                if (cmd.find("notes") != std::string::npos) return false;
            return true;
        },
        60000));
    EXPECT_EQ(service.Stop(), 0);  // the stop tells what was folded
    const std::string text = service.LogText();
    const std::size_t lines = CountOf(text, "Stopped chromium (a copy in");
    EXPECT_LE(lines, 20u) << text.substr(0, 4000);
    const std::size_t at = text.find(" more programs stopped since ");
    ASSERT_NE(at, std::string::npos) << text.substr(0, 4000);
    const std::size_t start = text.rfind("and ", at) + 4;
    const int folded = std::stoi(text.substr(start, at - start));
    EXPECT_GE(folded + static_cast<int>(lines), kPrograms * 9 / 10) << text.substr(0, 4000);
    EXPECT_LT(text.size(), 20000u);
}

// The system's time zone replaced while the service runs: the grid applies to the new local time
// at once (the zone file is read again), and the log says so.
TEST(ServiceResilience, ATimeZoneChangeIsFollowedAtOnce) {
    if (!GuardUser::Possible()) GTEST_SKIP() << "needs root to create throwaway users";
    if (!fs::exists("/usr/share/zoneinfo/Etc/GMT-6")) GTEST_SKIP() << "no zone database";
    GuardUser kid;
    char tmpl[] = "/tmp/veltrix-zone-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    const std::string dir = tmpl;
    const std::string zone = dir + "/localtime";
    fs::create_symlink("/usr/share/zoneinfo/Etc/UTC", zone);
    ServiceProcess service(kid.MemberGroup(), {"--zone-file", zone});
    ASSERT_TRUE(service.started());

    // This hour and the next blocked in UTC+6 (Etc/GMT-6), every hour of UTC allowed.
    veltrixd::Sealed sealed{password::Hash("parent").value_or(""), {{store::kNeedJob, "Yes"}}};
    for (int box = 1; box <= store::kHourFlags; ++box)
        sealed.values[store::HourFlagName(box)] = "1";
    const std::time_t now = std::time(nullptr);
    for (std::time_t t : {now + 6 * 3600, now + 7 * 3600}) {
        std::tm tm{};
        ::gmtime_r(&t, &tm);
        sealed.values[store::HourFlagName(store::HourBox(tm.tm_wday, tm.tm_hour))] = "0";
    }
    ASSERT_TRUE(
        veltrixd::SealedStore(service.dir() + "/state/sealed").Save(kid.uid, sealed, nullptr));
    ASSERT_TRUE(service.Reread(kid.name));

    const pid_t browser = kid.Spawn({kid.Program("firefox")});
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_TRUE(Running(browser)) << service.LogText();
    // Replaced as a package or timedatectl does: a new link renamed over the old.
    fs::create_symlink("/usr/share/zoneinfo/Etc/GMT-6", dir + "/localtime.new");
    fs::rename(dir + "/localtime.new", zone);
    EXPECT_TRUE(WaitForEnd(browser, kStopMs)) << service.LogText();
    EXPECT_TRUE(Eventually(
        [&] {
            return service.LogText().find("[" + kid.name +
                                          "] The time zone was changed from Etc/UTC to "
                                          "Etc/GMT-6") != std::string::npos;
        },
        5000))
        << service.LogText();
    fs::remove_all(dir);
}
