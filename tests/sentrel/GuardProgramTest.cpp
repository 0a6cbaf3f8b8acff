// The real guard program with real processes, run as a throwaway user the test creates: copies of
// a do-nothing program named like browsers and listed applications are stopped at a blocked hour
// and left alone otherwise, another user's are never touched, a program that ignores SIGTERM is
// killed, a second start leaves one guard, protection survives kill -9, and the log says so.
// With the system service enforcing, the guard leaves stopping and logging to it.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "lib/store/ValueNames.h"
#include "tests/support/GuardUser.h"
#include "tests/support/ServiceProcess.h"
#include "tests/support/Signal.h"
#include "tests/support/TempEnv.h"
#include "tests/support/Wait.h"

using testing_support::GuardUser;
using testing_support::Running;
using testing_support::SetCurrentHours;
using testing_support::WaitForEnd;

namespace {

// Generous bounds for a loaded machine; the benchmark measures how fast it really is.
constexpr int kStopMs = 10000;

class GuardProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!GuardUser::Possible()) GTEST_SKIP() << "needs root to create a throwaway user";
        user = std::make_unique<GuardUser>();
    }
    void TearDown() override { user.reset(); }

    // Blocking on and every hour allowed, then the guard.
    pid_t Start() {
        user->Set(store::kNeedJob, "Yes");
        SetCurrentHours(*user, "1");
        const pid_t guard = user->StartGuard();
        EXPECT_TRUE(user->WaitForLog("Settings read:")) << user->Log();
        return guard;
    }
    // Stays alive for a while: a negative check where the guard scans nothing, so no later stop
    // can show that it saw the process and left it. One such wait a test at most.
    static bool Survives(pid_t pid) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        return Running(pid);
    }
    std::unique_ptr<GuardUser> user;
};

// What the notification recorder wrote to `shown`, once its first line is there (`ms` at most).
std::string FirstShown(const std::string& shown, int ms = 10000) {
    std::string text;
    for (int i = 0; i < ms / 20 && text.find('\n') == std::string::npos; ++i) {
        std::ifstream in(shown);
        std::getline(in, text, '\0');
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return text;
}

}  // namespace

TEST_F(GuardProgram, StopsBrowsersAndAppsAtABlockedHourOnly) {
    user->Set("App1", "Game.EXE");
    Start();
    const pid_t early = user->Spawn({user->Program("firefox"), "--new-window"});
    EXPECT_TRUE(Survives(early)) << "stopped at an allowed hour";

    SetCurrentHours(*user, "0");  // the store change takes effect: the running one goes
    EXPECT_TRUE(WaitForEnd(early, kStopMs)) << user->Log();
    // Started before the browser, so the scan that stops the browser has seen it too.
    const pid_t other = user->Spawn({user->Program("gedit")});
    const auto started = std::chrono::steady_clock::now();
    const pid_t browser = user->Spawn({user->Program("firefox-esr")});
    const pid_t game = user->Spawn({user->Program("game")});
    EXPECT_TRUE(WaitForEnd(browser, kStopMs));
    EXPECT_TRUE(WaitForEnd(game, kStopMs));
    std::cout << "stopped a new browser after "
              << std::chrono::duration_cast<std::chrono::milliseconds>(
                     std::chrono::steady_clock::now() - started)
                     .count()
              << " ms\n";
    EXPECT_TRUE(Running(other));
    EXPECT_TRUE(user->WaitForLog("Stopped game (pid " + std::to_string(game) + ", " + user->bin +
                                 "game), the application 'Game.EXE': "));
    EXPECT_TRUE(user->WaitForLog("Stopped firefox (pid " + std::to_string(early)));
}

TEST_F(GuardProgram, SwitchedOffItStopsNothingAndRunsOn) {
    Start();
    SetCurrentHours(*user, "0");
    user->Set(store::kNeedJob, "No");
    EXPECT_TRUE(user->WaitForLog("Settings read: blocking off"));
    const pid_t browser = user->Spawn({user->Program("chromium")});
    EXPECT_TRUE(Survives(browser));
    EXPECT_NE(user->Guard(), 0);
}

// A process that has run for a while and then becomes a browser (exec keeps its pid), as a
// terminal's shell that runs "exec firefox" does.
TEST_F(GuardProgram, AnOldProcessThatExecsABrowserIsStopped) {
    Start();
    SetCurrentHours(*user, "0");
    const std::string browser = user->Program("falkon");
    const pid_t shell = user->Spawn({"/bin/sh", "-c", "sleep 4; exec '" + browser + "'"});
    // A browser started after the shell: the scan that stops it has seen the shell as well.
    const pid_t sentinel = user->Spawn({user->Program("firefox")});
    EXPECT_TRUE(WaitForEnd(sentinel, kStopMs));
    EXPECT_TRUE(Running(shell)) << "stopped while it was a shell";
    EXPECT_TRUE(WaitForEnd(shell, 4000 + kStopMs));
    EXPECT_TRUE(user->WaitForLog("Stopped falkon (pid " + std::to_string(shell)));
}

// A program whose first thread ended while another runs on: /proc/PID shows no executable and
// no mappings of it, its other threads do.
TEST_F(GuardProgram, AProgramWhoseFirstThreadEndedIsSeenThroughTheOthers) {
    Start();
    SetCurrentHours(*user, "0");
    const pid_t hidden = user->Spawn({user->Program("firefox"), "--leader-exits"});
    EXPECT_TRUE(WaitForEnd(hidden, kStopMs)) << user->Log();
    EXPECT_TRUE(user->WaitForLog("Stopped firefox (pid " + std::to_string(hidden))) << user->Log();
}

TEST_F(GuardProgram, AnotherUsersProgramIsLeftAlone) {
    Start();
    SetCurrentHours(*user, "0");
    // A browser of the test's own user (root), from the throwaway user's bin directory.
    const std::string path = user->Program("firefox");
    std::error_code ec;
    const pid_t mine = ::fork();
    if (mine == 0) {
        execl(path.c_str(), "firefox", nullptr);
        _exit(127);
    }
    for (int i = 0; i < 500 && std::filesystem::read_symlink(
                                   "/proc/" + std::to_string(mine) + "/exe", ec) != path;
         ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    // Started after the test's own: the scan that stops it has seen the other one too.
    const pid_t theirs = user->Spawn({path});
    EXPECT_TRUE(WaitForEnd(theirs, kStopMs));
    EXPECT_TRUE(Running(mine));
    EXPECT_EQ(user->Log().find("pid " + std::to_string(mine)), std::string::npos);
    testing_support::Signal(mine, SIGKILL);
    WaitForEnd(mine, 5000);
}

TEST_F(GuardProgram, AProgramThatIgnoresTermIsKilledAfterFiveSeconds) {
    Start();
    SetCurrentHours(*user, "0");
    const auto started = std::chrono::steady_clock::now();
    const pid_t stubborn = user->Spawn({user->Program("brave"), "--ignore-term"});
    EXPECT_TRUE(user->WaitForLog("Stopped brave (pid " + std::to_string(stubborn)));
    EXPECT_TRUE(Running(stubborn)) << "killed with its TERM";
    EXPECT_TRUE(WaitForEnd(stubborn, kStopMs));
    // It is found within a second of its start, so a kill before its 5 s of grace ends earlier.
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::seconds(5))
        << "killed before its grace time";
    EXPECT_TRUE(user->WaitForLog("brave (pid " + std::to_string(stubborn) +
                                 ") did not close within 5 s and was killed"));
}

TEST_F(GuardProgram, ASecondStartLeavesOneGuardThatReadsTheSettingsAgain) {
    const pid_t first = Start();
    const pid_t second = user->StartGuard();
    EXPECT_TRUE(WaitForEnd(second, kStopMs));
    EXPECT_TRUE(user->WaitForLog("Started again (pid " + std::to_string(second) + ")"));
    EXPECT_EQ(user->Guard(), first);
    int guards = 0;
    for (const auto& [pid, cmd] : user->Processes())
        guards += cmd.find("Sentrel.exe") == 0 || cmd.find("/Sentrel.exe") != std::string::npos;
    EXPECT_EQ(guards, 1);

    testing_support::Signal(first,
                            SIGTERM);  // stopped by a signal: logged, and the heartbeat says why
    EXPECT_TRUE(WaitForEnd(first, kStopMs));
    EXPECT_TRUE(
        user->WaitForLog("stopped (pid " + std::to_string(first) + "): stopped by SIGTERM"));
    user->StartGuard();
    EXPECT_TRUE(user->WaitForLog("(stopped by SIGTERM"));
}

TEST_F(GuardProgram, ProtectionStartsAKilledGuardAgain) {
    user->Set(store::kNeedGuard, "Yes");
    const pid_t first = Start();
    ASSERT_TRUE(user->WaitForLog("Protection on: a watcher (pid "));
    testing_support::Signal(first, SIGKILL);
    EXPECT_TRUE(WaitForEnd(first, kStopMs));
    pid_t next = 0;
    for (int i = 0; i < 3000 && (next == 0 || next == first);
         ++i) {  // up to 30 s: a loaded machine
        next = user->Guard();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_NE(next, 0) << user->Log();
    EXPECT_NE(next, first);
    EXPECT_TRUE(
        user->WaitForLog("the guard before (pid " + std::to_string(first) + ") was killed at"))
        << user->Log();
    // The new guard blocks too.
    SetCurrentHours(*user, "0");
    const pid_t browser = user->Spawn({user->Program("vivaldi-bin")});
    EXPECT_TRUE(WaitForEnd(browser, kStopMs));

    user->Set(store::kNeedGuard, "No");
    EXPECT_TRUE(user->WaitForLog("Protection off: the watcher"));
    testing_support::Signal(next, SIGKILL);
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    EXPECT_EQ(user->Guard(), 0) << "started again without protection";
}

// A guard killed in the moment after it started its watcher, before the watcher could hold it:
// the watcher finds it gone and starts a new guard all the same.
TEST_F(GuardProgram, AWatcherWhoseGuardIsAlreadyGoneStartsANewOne) {
    user->Set(store::kNeedJob, "Yes");
    SetCurrentHours(*user, "1");
    const pid_t gone = user->Spawn({"/bin/true"});
    ASSERT_TRUE(WaitForEnd(gone, kStopMs));
    user->Spawn({user->program + "Sentrel.exe", "--watch", std::to_string(gone), "12345"});
    EXPECT_TRUE(user->WaitForLog("Sentrel 1.0 started")) << user->Log();
    pid_t guard = 0;
    for (int i = 0; i < 3000 && guard == 0; ++i) {
        guard = user->Guard();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_NE(guard, 0) << user->Log();
}

// On a session bus of the test's own, with a notification service that records what it is sent:
// stopping a program is shown as "firefox is blocked until HH:00". When the bus goes (the session
// ends), the guard stops and says why.
TEST_F(GuardProgram, NotificationsReachTheDesktopAndTheSessionsEndStopsTheGuard) {
    if (::access("/usr/bin/dbus-run-session", X_OK) != 0) GTEST_SKIP() << "no dbus-run-session";
    user->Set(store::kNeedJob, "Yes");
    SetCurrentHours(*user, "0");
    const std::string shown = user->home + "/shown";
    const pid_t session = user->Spawn({"/usr/bin/dbus-run-session", "--",
                                       testing_support::ToolPath("notify-recorder"), shown,
                                       user->program + "Sentrel.exe"});
    ASSERT_TRUE(user->WaitForLog("Settings read:")) << user->Log();
    const pid_t browser = user->Spawn({user->Program("firefox")});
    EXPECT_TRUE(WaitForEnd(browser, kStopMs));
    const std::string text = FirstShown(shown);
    EXPECT_NE(text.find("Veltrix|Veltrix|firefox is blocked "), std::string::npos) << text;

    // The end of the session: the bus goes away.
    for (const auto& [pid, cmd] : user->Processes())
        if (cmd.find("dbus-daemon") != std::string::npos) testing_support::Signal(pid, SIGTERM);
    EXPECT_TRUE(user->WaitForLog("stopped (pid ")) << user->Log();
    EXPECT_TRUE(user->WaitForLog("): the session ended"));
    EXPECT_TRUE(WaitForEnd(session, kStopMs));
}

// Where the system service enforces the account, it stops and logs; the session guard only shows
// the service's notifications, and killing it costs nothing else.
TEST_F(GuardProgram, WithTheServiceTheGuardShowsTheServicesNotifications) {
    if (::access("/usr/bin/dbus-run-session", X_OK) != 0) GTEST_SKIP() << "no dbus-run-session";
    // The service enforces for a group of the test's own, whose only member is the throwaway user.
    testing_support::ServiceProcess service(user->MemberGroup(), {});
    ASSERT_TRUE(service.started());
    ASSERT_TRUE(service.Seal(user->uid, "0"));
    service.Reread(user->name);

    // The account's own store allows everything: only the service blocks.
    user->Set(store::kNeedJob, "No");
    const std::string shown = user->home + "/shown";
    // The panel beside the guard, a stand-in that notes how it was started; the notification
    // service clicks "Ask for more time" on every notification that offers it.
    const std::string asked = user->home + "/asked";
    {
        std::ofstream panel(user->program + "veltrix");
        panel << "#!/bin/sh\necho \"$@\" > '" << asked << "'\n";
    }
    ::chmod((user->program + "veltrix").c_str(), 0755);
    user->Spawn({"/usr/bin/dbus-run-session", "--", testing_support::ToolPath("notify-recorder"),
                 shown, user->program + "Sentrel.exe"},
                {"NOTIFY_RECORDER_INVOKE=ask"});
    for (int i = 0; i < 500 && user->Guard() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_NE(user->Guard(), 0);
    // The guard holds its lock a moment before it links to the service, and a stop before the
    // link is nobody's to show (the service tells each program once a minute): a browser of
    // another name until one is shown.
    std::string name, text;
    pid_t browser = 0;
    for (const char* next : {"firefox", "chromium", "epiphany", "falkon", "opera"}) {
        name = next;
        browser = user->Spawn({user->Program(name)});
        EXPECT_TRUE(WaitForEnd(browser, kStopMs)) << service.LogText();
        text = FirstShown(shown, 3000);
        if (!text.empty()) break;
    }
    EXPECT_NE(text.find("Veltrix|Veltrix|" + name + " is blocked "), std::string::npos) << text;
    EXPECT_EQ(text.find('\n'), text.rfind('\n')) << "told twice: " << text;
    EXPECT_NE(service.LogText().find("[" + user->name + "] Stopped " + name + " (pid " +
                                     std::to_string(browser)),
              std::string::npos)
        << service.LogText();
    EXPECT_EQ(user->Log().find("Stopped"), std::string::npos) << user->Log();
    // "Ask for more time" on it opens the child's own view, asking.
    EXPECT_TRUE(testing_support::Eventually([&] { return std::ifstream(asked).good(); }, 10000));
    std::string how;
    std::getline(std::ifstream(asked) >> std::ws, how);
    EXPECT_EQ(how, "--ask");

    // Without the session guard (and its watcher) the service blocks on.
    for (const auto& [pid, cmd] : user->Processes())
        if (cmd.find("Sentrel.exe") != std::string::npos) testing_support::Signal(pid, SIGKILL);
    const pid_t again = user->Spawn({user->Program("midori")});
    EXPECT_TRUE(WaitForEnd(again, kStopMs)) << service.LogText();
}
