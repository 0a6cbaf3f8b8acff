// The real service enforcing for several accounts at once (root only; throwaway accounts the test
// creates): each member is held to its own sealed settings, and an account outside the group is
// never touched, whatever its programs are called.
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "lib/control/Client.h"
#include "lib/store/ValueNames.h"
#include "tests/support/AskAs.h"
#include "tests/support/FakeLogind.h"
#include "tests/support/GuardUser.h"
#include "tests/support/InputDevice.h"
#include "tests/support/ServiceProcess.h"
#include "tests/support/Signal.h"
#include "tests/support/SubordinateRange.h"
#include "tests/support/TempEnv.h"
#include "tests/support/Wait.h"

using testing_support::GuardUser;
using testing_support::Running;
using testing_support::WaitForEnd;

namespace {

// The service's reply to `request` asked by `user` (its fields joined by TABs).
std::string AskAs(const GuardUser& user, const control::Fields& request) {
    const control::Reply r = testing_support::AskAs(user.uid, user.gid, request);
    std::string text;
    for (const std::string& f : r.fields) text += (text.empty() ? "" : "\t") + f;
    return r.fields.empty() ? "no answer: " + r.why : text;
}

constexpr int kStopMs = 10000;  // generous for a loaded machine; the benchmark measures speed

// Starts `program` as `uid` (a uid with no account: a container's), its group the same number.
pid_t SpawnAs(uid_t uid, const std::string& program) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(uid) != 0 || ::setuid(uid) != 0) ::_exit(126);
        ::execl(program.c_str(), program.c_str(), nullptr);
        ::_exit(127);
    }
    return pid;
}

// What the child's containers run as is the child: a browser as one of its subordinate uids is
// stopped at its blocked hour, also from a copy nobody may read (execute only: /proc shows such
// a process as root's), and logged for the child.
TEST(ServiceEnforcement, AMembersSubordinateUidsAreTheMember) {
    if (!GuardUser::Possible()) GTEST_SKIP() << "needs root to create throwaway users";
    GuardUser kid;
    const testing_support::SubordinateRange range(kid.name, kid.uid);
    testing_support::ServiceProcess service(kid.MemberGroup(), {});
    ASSERT_TRUE(service.started());
    ASSERT_TRUE(service.Seal(kid.uid, "0"));
    ASSERT_TRUE(service.Reread(kid.name));
    const std::string readable = kid.Program("firefox");
    const std::string hidden = kid.bin + "chromium";
    std::filesystem::copy_file(readable, hidden);
    ASSERT_EQ(::chmod(hidden.c_str(), 0111), 0);
    for (const std::string& program : {readable, hidden}) {
        const pid_t pid = SpawnAs(range.first + 1000, program);
        ASSERT_GT(pid, 0);
        const bool ended = WaitForEnd(pid, kStopMs);  // (reaped when it ended)
        EXPECT_TRUE(ended) << program << "\n" << service.LogText();
        if (!ended) {
            testing_support::Signal(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
    const std::string log = service.LogText();
    EXPECT_NE(log.find("[" + kid.name + "] Stopped firefox"), std::string::npos) << log;
    EXPECT_NE(log.find("[" + kid.name + "] Stopped chromium"), std::string::npos) << log;
}

// Copies nobody may read (execute only) under names of no browser are judged by what they are:
// the engine they map, the installed browser whose executable they copy. (How fast: the
// enforcement benchmark's execute-only figures.)
TEST(ServiceEnforcement, ExecuteOnlyCopiesAreKnownForWhatTheyAre) {
    if (!GuardUser::Possible()) GTEST_SKIP() << "needs root to create throwaway users";
    const std::string webkit = "/usr/lib/x86_64-linux-gnu/libwebkit2gtk-4.1.so.0";
    if (!std::filesystem::exists(webkit) || !std::filesystem::exists("/usr/bin/w3m"))
        GTEST_SKIP() << "needs WebKitGTK and w3m";
    GuardUser kid;
    testing_support::ServiceProcess service(kid.MemberGroup(), {});
    ASSERT_TRUE(service.started());
    ASSERT_TRUE(service.Seal(kid.uid, "0"));
    ASSERT_TRUE(service.Reread(kid.name));
    ASSERT_EQ(kid.Run({"/bin/sh", "-c",
                       "cd ~ && cp '" + kid.Program("fake") + "' notes && cp " + webkit +
                           " libnotes.so && cp /usr/bin/w3m pager && chmod 0111 notes pager"}),
              0);
    const pid_t mapper = kid.Spawn({kid.home + "/notes", "--map", kid.home + "/libnotes.so"});
    const pid_t pager = kid.Spawn({"/bin/sh", "-c", "sleep 600 | exec ~/pager -T text/html"});
    EXPECT_TRUE(WaitForEnd(mapper, kStopMs)) << service.LogText();
    const std::string copy = "Stopped w3m (a copy in " + kid.home + "/pager)";
    EXPECT_TRUE(testing_support::Eventually(
        [&] { return service.LogText().find(copy) != std::string::npos; }, kStopMs))
        << service.LogText();
    testing_support::Signal(pager, SIGKILL);
    EXPECT_NE(
        service.LogText().find("Stopped a WebKitGTK browser (a copy in " + kid.home + "/notes)"),
        std::string::npos)
        << service.LogText();
}

// The request `fields` asked as `uid`: "ok", the reply's first field, or "failed".
std::string AskAs(uid_t uid, gid_t gid, const control::Fields& fields) {
    const control::Reply r = testing_support::AskAs(uid, gid, fields);
    return r.ok() ? "ok" : r.fields.empty() ? "failed" : r.fields[0];
}

// The alerts the parents' family list shows for `account`, one a line; the last of them.
std::string Alerts(const std::string& account) {
    const control::Reply r = control::Ask({"state", account}, 10000);
    std::string alerts;
    for (std::size_t i = 7; r.ok() && i < r.fields.size(); ++i) alerts += r.fields[i] + "\n";
    return r.ok() ? alerts : "(none: " + r.Text() + ")";
}
std::string LastAlert(const std::string& account) {
    const control::Reply r = control::Ask({"state", account}, 10000);
    return r.ok() && r.fields.size() > 7 ? r.fields.back() : "(none: " + r.Text() + ")";
}

// A child's guesses at the password stay the family list's last alert, whatever the child has
// stopped after them, through a restart of the service, until a parent gives the password.
TEST(ServiceEnforcement, AWrongPasswordStaysInTheFamilyListUntilAParentHasSeenIt) {
    if (!GuardUser::Possible()) GTEST_SKIP() << "needs root to create throwaway users";
    GuardUser kid;
    testing_support::ServiceProcess service(kid.MemberGroup(), {"--no-events"});
    ASSERT_TRUE(service.started());
    ASSERT_TRUE(service.Seal(kid.uid, "0"));
    ASSERT_TRUE(service.Reread(kid.name));
    for (int i = 0; i < 5; ++i) AskAs(kid.uid, kid.gid, {"verify", "guess " + std::to_string(i)});
    const std::string guessing = "wrong passwords within a minute";
    // At once, before their minute is logged: the wrong ones so far, the newest alert.
    const std::string soFar =
        "5 wrong passwords for " + kid.name + " from the account of " + kid.name + " so far";
    EXPECT_NE(Alerts(kid.name).find(guessing), std::string::npos) << service.LogText();
    EXPECT_NE(LastAlert(kid.name).find(soFar), std::string::npos) << Alerts(kid.name);
    // Programs named like the service's alerts, stopped after it.
    for (int i = 0; i < 4; ++i) {
        const pid_t p = kid.Spawn({kid.Program("firefox"), "1 wrong password for " + kid.name});
        EXPECT_TRUE(WaitForEnd(p, kStopMs)) << service.LogText();
    }
    EXPECT_NE(LastAlert(kid.name).find(soFar), std::string::npos) << Alerts(kid.name);
    // A path with a line break, and a line of its own after it: one alert of one stop.
    const std::string forged = kid.bin + "x\n2026-12-09 00:00:00 [" + kid.name + "] Stopped y";
    std::filesystem::create_directories(forged);
    std::filesystem::copy_file(kid.Program("chromium"), forged + "/chromium");
    const pid_t odd = kid.Spawn({forged + "/chromium"});
    EXPECT_TRUE(WaitForEnd(odd, kStopMs)) << service.LogText();
    EXPECT_EQ(Alerts(kid.name).find("00:00:00 Stopped y"), std::string::npos) << Alerts(kid.name);
    EXPECT_NE(Alerts(kid.name).find("x\\x0a2026-12-09 00:00:00"), std::string::npos)
        << Alerts(kid.name);
    ASSERT_TRUE(service.Restart());
    // (The service's own restart is an alert too: the time it did not enforce.)
    EXPECT_NE(Alerts(kid.name).find(guessing), std::string::npos) << service.LogText();
    // The parent opens the child's settings: seen.
    EXPECT_TRUE(control::Ask({"for", kid.name, "verify", "parent"}, 10000).ok());
    const std::string after = Alerts(kid.name);
    EXPECT_EQ(after.find(guessing), std::string::npos) << after;
    EXPECT_EQ(after.find("No guard ran"), std::string::npos) << after;
    EXPECT_NE(LastAlert(kid.name).find("Stopped chromium"), std::string::npos) << after;
}

// A day's allowance: counted while a browser runs at an allowed hour, the browser stopped once it
// is used up, the rest of the day blocked (across a restart of the service too), told once.
TEST(ServiceEnforcement, ADailyAllowanceUsedUpBlocksTheRestOfTheDay) {
    if (!GuardUser::Possible()) GTEST_SKIP() << "needs root to create throwaway users";
    GuardUser kid;
    testing_support::ServiceProcess service(kid.MemberGroup(), {});
    ASSERT_TRUE(service.started());
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::localtime_r(&now, &tm);
    if (tm.tm_hour == 23 && tm.tm_min >= 55) GTEST_SKIP() << "too near midnight";
    // Every hour allowed, one minute a day today, of which 50 s were used before.
    ASSERT_TRUE(service.Seal(kid.uid, "1", {{store::MinutesADayName(tm.tm_wday), "1"}}));
    service.UsedThisHour(kid.uid, tm, 50);
    ASSERT_TRUE(service.Restart());
    ASSERT_TRUE(service.Reread(kid.name));

    // One whose first thread ends at once, as a program that would hide does: counted all the
    // same.
    const pid_t browser = kid.Spawn({kid.Program("firefox"), "--leader-exits"});
    EXPECT_TRUE(WaitForEnd(browser, 30000)) << service.LogText();
    const std::string used = "] today's 1 min used up at ";
    EXPECT_NE(service.LogText().find(used), std::string::npos) << service.LogText();
    EXPECT_NE(service.LogText().find("a web browser: today's 1 min is used up"), std::string::npos)
        << service.LogText();
    // The family list's "Time today": the whole minute of one.
    const control::Reply state = control::Ask({"state", kid.name}, 10000);
    ASSERT_GT(state.fields.size(), 6u) << state.Text();
    // (at least the minute: the tick that ended it may have counted a second past it)
    EXPECT_TRUE(state.fields[6].ends_with("/1") && std::stoi(state.fields[6]) >= 60)
        << state.fields[6];
    ASSERT_TRUE(service.Restart());
    const pid_t again = kid.Spawn({kid.Program("firefox")});
    EXPECT_TRUE(WaitForEnd(again, kStopMs)) << service.LogText();
    const std::string log = service.LogText();
    EXPECT_EQ(log.find(used), log.rfind(used)) << log;  // told once
    // The parent gives the day a minute more: the browser runs again.
    ASSERT_TRUE(service.Seal(kid.uid, "1", {{store::MinutesADayName(tm.tm_wday), "2"}}));
    testing_support::Signal(service.pid(), SIGHUP);
    ASSERT_TRUE(testing_support::Eventually(
        [&] {
            const control::Reply r = control::Ask({"state", kid.name}, 10000);
            return r.fields.size() > 6 && r.fields[6].ends_with("/2");
        },
        10000))
        << service.LogText();
    const pid_t more = kid.Spawn({kid.Program("firefox")});
    std::this_thread::sleep_for(std::chrono::seconds(3));
    EXPECT_TRUE(testing_support::Running(more)) << service.LogText();
    testing_support::Signal(more, SIGKILL);
    // What was counted is kept, root's alone.
    struct stat st {};
    ASSERT_EQ(::stat((service.dir() + "/state/use/" + std::to_string(kid.uid)).c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 0u);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

// Use counts while the child's session is in use as logind says, unless the keyboard says
// otherwise: a session that calls itself idle while it is typed in is in use.
TEST(ServiceEnforcement, OnlyTimeAtTheComputerCountsAsLogindAndTheKeyboardTellIt) {
    if (!GuardUser::Possible()) GTEST_SKIP() << "needs root to create throwaway users";
    testing_support::FakeLogind logind;
    if (!logind.started()) GTEST_SKIP() << "needs dbus-daemon and python3-dbusmock";
    GuardUser kid;
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::localtime_r(&now, &tm);
    if (tm.tm_hour == 23 && tm.tm_min >= 57) GTEST_SKIP() << "too near midnight";
    // Every hour allowed, one minute today; the kid's one session is idle from the start.
    ASSERT_TRUE(logind.AddSession("c1", kid.uid, kid.name, true));
    ASSERT_TRUE(logind.Set("c1", "IdleHint", true));
    testing_support::ServiceProcess service(kid.MemberGroup(), {}, {logind.Env()});
    ASSERT_TRUE(service.started());
    ASSERT_TRUE(service.Seal(kid.uid, "1", {{store::MinutesADayName(tm.tm_wday), "1"}}));
    // 30 s of it used before.
    service.UsedThisHour(kid.uid, tm, 30);
    ASSERT_TRUE(service.Restart());
    ASSERT_TRUE(service.Reread(kid.name));
    testing_support::InputDevice keyboard(service.InputDir(), "event0");
    const auto used = [&] {
        const control::Reply r = control::Ask({"state", kid.name}, 10000);
        return r.fields.size() > 6 ? std::atoi(r.fields[6].c_str()) : -1;
    };

    // Idle, then locked, then another account in the foreground of the seat: nothing counts.
    const pid_t browser = kid.Spawn({kid.Program("firefox")});
    std::this_thread::sleep_for(std::chrono::seconds(7));
    ASSERT_TRUE(logind.Set("c1", "LockedHint", true));
    ASSERT_TRUE(logind.Set("c1", "IdleHint", false));
    std::this_thread::sleep_for(std::chrono::seconds(7));
    ASSERT_TRUE(logind.Set("c1", "Active", false));
    ASSERT_TRUE(logind.Set("c1", "LockedHint", false));
    std::this_thread::sleep_for(std::chrono::seconds(7));
    EXPECT_TRUE(Running(browser)) << service.LogText();
    EXPECT_EQ(used(), 30) << service.LogText();
    // Idle as the session says (its owner may say so) while the keyboard is used: it counts;
    // once the hands are off, the session's word holds again.
    ASSERT_TRUE(logind.Set("c1", "Active", true));
    ASSERT_TRUE(logind.Set("c1", "IdleHint", true));
    EXPECT_TRUE(testing_support::Eventually(
        [&] {
            keyboard.Send({EV_KEY, EV_SYN});
            return used() >= 36;
        },
        30000))
        << used() << service.LogText();
    // (the next look still sees the last keys, the one after none: two looks, with room for a
    // loaded machine's late ticks)
    std::this_thread::sleep_for(std::chrono::seconds(20));
    const int typed = used();
    std::this_thread::sleep_for(std::chrono::seconds(6));
    EXPECT_EQ(used(), typed);
    EXPECT_LT(typed, 60);
    EXPECT_TRUE(Running(browser)) << service.LogText();
    // A second session of the kid's, in use: the minute runs out and the browser goes.
    ASSERT_TRUE(logind.AddSession("c2", kid.uid, kid.name, true));
    EXPECT_TRUE(WaitForEnd(browser, 90000)) << service.LogText();
    EXPECT_GE(used(), 60);
    EXPECT_NE(service.LogText().find("] today's 1 min used up at "), std::string::npos)
        << service.LogText();
}

// A child whose day is used up asks; a parent grants two minutes and the browser runs; the
// parent's pause stops it at once. What the child cannot do is refused and logged nowhere.
TEST(ServiceEnforcement, AChildAsksAParentGrantsThenPausesAndEachAppliesAtOnce) {
    if (!GuardUser::Possible()) GTEST_SKIP() << "needs root to create throwaway users";
    GuardUser kid;
    testing_support::ServiceProcess service(kid.MemberGroup(), {});
    ASSERT_TRUE(service.started());
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::localtime_r(&now, &tm);
    if (tm.tm_hour == 23 && tm.tm_min >= 50) GTEST_SKIP() << "too near midnight";
    ASSERT_TRUE(service.Seal(kid.uid, "1", {{store::MinutesADayName(tm.tm_wday), "1"}}));
    service.UsedThisHour(kid.uid, tm, 60);
    ASSERT_TRUE(service.Restart());
    ASSERT_TRUE(service.Reread(kid.name));
    const pid_t stopped = kid.Spawn({kid.Program("firefox")});
    EXPECT_TRUE(WaitForEnd(stopped, kStopMs)) << service.LogText();

    EXPECT_EQ(AskAs(kid, {"ask", "15", "maths homework"}), "ok");
    EXPECT_EQ(AskAs(kid, {"ask", "30", "again"}),
              "error\tA request is waiting for an answer already.");
    EXPECT_EQ(AskAs(kid, {"ask", "30", "evil\x1b[2J"}),
              "error\tThe reason may hold only printable characters.");
    EXPECT_EQ(AskAs(kid, {"ask", "30", std::string(10240, 'x')}),
              "error\tThe reason may be 100 characters long at most.");
    EXPECT_EQ(AskAs(kid, {"for", kid.name, "grant", "parent", "60"}).rfind("error", 0), 0u);
    EXPECT_EQ(AskAs(kid, {"grant", "parent", "60"}).rfind("error", 0), 0u);
    const control::Reply asks = control::Ask({"asks"}, 10000);
    ASSERT_EQ(asks.fields.size(), 2u) << asks.Text();
    EXPECT_EQ(control::Parse(asks.fields[1] + "\n").fields.at(3), "maths homework");

    // Two more minutes from the parent: a browser runs.
    const control::Reply granted = control::Ask({"for", kid.name, "grant", "parent", "2"}, 10000);
    EXPECT_TRUE(granted.ok()) << granted.Text();
    const pid_t browser = kid.Spawn({kid.Program("firefox")});
    std::this_thread::sleep_for(std::chrono::seconds(3));
    EXPECT_TRUE(Running(browser)) << service.LogText();
    EXPECT_EQ(control::Ask({"asks"}, 10000).fields.size(), 1u);  // answered
    // A pause until midnight stops it at once (its line folded into the first stop's count).
    const control::Reply paused =
        control::Ask({"for", kid.name, "pause", "parent", "midnight", "dinner"}, 10000);
    EXPECT_TRUE(paused.ok()) << paused.Text();
    EXPECT_TRUE(WaitForEnd(browser, 5000)) << service.LogText();
    const std::string log = service.LogText();
    const std::string at = "[" + kid.name + "] ";
    for (const std::string& line :
         {at + "asks for 15 more minutes: maths homework", at + "root gave 2 more minutes",
          at + "root blocked everything until midnight: dinner"})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    EXPECT_EQ(log.find("again"), std::string::npos);
    EXPECT_EQ(log.find("evil"), std::string::npos);

    // A restart keeps today's answers: the two minutes given, and the pause, which stops a
    // browser for what it is.
    ASSERT_TRUE(service.Restart());
    const control::Reply state = control::Ask({"state", kid.name}, 10000);
    ASSERT_GT(state.fields.size(), 6u) << state.Text();
    EXPECT_TRUE(state.fields[6].ends_with("/3")) << state.fields[6];
    const pid_t after = kid.Spawn({kid.Program("firefox")});
    EXPECT_TRUE(WaitForEnd(after, kStopMs)) << service.LogText();
    EXPECT_TRUE(testing_support::Eventually(
        [&] {
            return service.LogText().find("Stopped firefox (pid " + std::to_string(after)) !=
                   std::string::npos;
        },
        5000));
    const std::string restarted = service.LogText();
    const std::string stop =
        restarted.substr(restarted.find("Stopped firefox (pid " + std::to_string(after)));
    EXPECT_NE(stop.substr(0, stop.find('\n')).find("paused by root until"), std::string::npos)
        << stop;
}

TEST(ServiceEnforcement, EachMemberByItsOwnSettingsAndNobodyElse) {
    if (!GuardUser::Possible()) GTEST_SKIP() << "needs root to create throwaway users";
    GuardUser blocked, allowed, outsider;
    const std::string group = blocked.MemberGroup();
    ASSERT_EQ(std::system(("usermod -aG " + group + " " + allowed.name).c_str()), 0);
    testing_support::ServiceProcess service(group, {});
    ASSERT_TRUE(service.started());
    ASSERT_TRUE(service.Seal(blocked.uid, "0"));
    ASSERT_TRUE(service.Seal(allowed.uid, "1"));
    // The outsider's uid gets a blocking file too, as if it had been a member once.
    ASSERT_TRUE(service.Seal(outsider.uid, "0"));
    service.Reread(blocked.name);

    const pid_t other = outsider.Spawn({outsider.Program("firefox")});
    const pid_t fine = allowed.Spawn({allowed.Program("firefox")});
    const pid_t tool = blocked.Spawn({blocked.Program("gedit")});
    const pid_t browser = blocked.Spawn({blocked.Program("chromium")});
    EXPECT_TRUE(WaitForEnd(browser, kStopMs)) << service.LogText();
    // The scan that stopped the browser saw the others too (they started first); one more
    // stopped after it shows a later scan that left them too.
    const pid_t later = blocked.Spawn({blocked.Program("chromium")});
    EXPECT_TRUE(WaitForEnd(later, kStopMs)) << service.LogText();
    EXPECT_TRUE(Running(tool));
    EXPECT_TRUE(Running(fine)) << service.LogText();
    EXPECT_TRUE(Running(other)) << service.LogText();
    const std::string log = service.LogText();
    EXPECT_NE(log.find("[" + blocked.name + "] Stopped chromium (pid " + std::to_string(browser)),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("[" + outsider.name + "]"), std::string::npos) << log;
}

// A child's shell and a few lines of Python with the WebKitGTK the system has: each road that
// passed for installed software, or was looked at too early, is now stopped.
TEST(ServiceEnforcement, PageViewersOfAFewLinesAreStoppedOnEveryRoad) {
    if (!GuardUser::Possible()) GTEST_SKIP() << "needs root to create throwaway users";
    const std::string webkit = "/usr/lib/x86_64-linux-gnu/libwebkit2gtk-4.1.so.0";
    if (!std::filesystem::exists(webkit)) GTEST_SKIP() << "WebKitGTK is not installed";
    GuardUser kid;
    const std::string group = kid.MemberGroup();
    testing_support::ServiceProcess service(group, {});
    ASSERT_TRUE(service.started());
    ASSERT_TRUE(service.Seal(kid.uid, "0"));
    service.Reread(kid.name);

    const std::string load =
        "import ctypes, time; time.sleep(SECONDS); ctypes.CDLL('" + webkit + "'); time.sleep(600)";
    auto code = [&](const char* seconds) {
        std::string c = load;
        c.replace(c.find("SECONDS"), 7, seconds);
        return c;
    };
    // The engine loaded a while after the start (past the early looks), from -c.
    const pid_t late = kid.Spawn({"/usr/bin/python3", "-c", code("1.5")});
    // A script from standard input, the command line naming an installed program after it.
    const pid_t piped = kid.Spawn(
        {"/bin/sh", "-c", "echo \"" + code("0") + "\" | exec /usr/bin/python3 - /usr/bin/ls"});
    // The engine library copied under a name of no engine.
    const std::string copy = kid.home + "/lib/libnotes.so";
    ASSERT_EQ(kid.Run({"/bin/sh", "-c", "mkdir -p ~/lib && cp '" + webkit + "' '" + copy + "'"}),
              0);
    const pid_t renamed = kid.Spawn({kid.Program("notes"), "--map", copy});
    // A text browser copied and renamed (reading a page from a pipe that stays open).
    pid_t text = 0;
    if (std::filesystem::exists("/usr/bin/w3m")) {
        ASSERT_EQ(kid.Run({"/bin/sh", "-c", "mkdir -p ~/x && cp /usr/bin/w3m ~/x/notes"}), 0);
        text = kid.Spawn({"/bin/sh", "-c", "sleep 600 | exec ~/x/notes -T text/html"});
    }
    // An installed script, run by the installed interpreter, with a .pth file of the child's in
    // its user site doing the work (a .pth line that starts with "import" runs at every start).
    const std::string version = testing_support::Run(
        "python3 -c 'import sys; print(\"%d.%d\" % sys.version_info[:2], end=\"\")'");
    const std::string site = kid.home + "/.local/lib/python" + version + "/site-packages";
    const std::string installed = "/usr/lib/python" + version + "/this.py";
    pid_t pth = 0;
    if (std::filesystem::exists(installed)) {
        ASSERT_EQ(kid.Run({"/bin/sh", "-c",
                           "mkdir -p '" + site + "' && printf '%s\n' \"" + code("0") + "\" > '" +
                               site + "/viewer.pth'"}),
                  0);
        pth = kid.Spawn({"/usr/bin/python3", installed});
    }
    for (pid_t pid : {late, renamed}) EXPECT_TRUE(WaitForEnd(pid, kStopMs)) << service.LogText();
    if (pth != 0) {
        EXPECT_TRUE(WaitForEnd(pth, kStopMs)) << service.LogText();
    }
    // The piped one ends with its python3 (the shell waits for it).
    EXPECT_TRUE(WaitForEnd(piped, kStopMs)) << service.LogText();
    if (text != 0) {
        const std::string line = "Stopped w3m (a copy in " + kid.home + "/x/notes)";
        for (int i = 0; i < kStopMs / 100 && service.LogText().find(line) == std::string::npos; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_NE(service.LogText().find(line), std::string::npos) << service.LogText();
    }
    const std::string log = service.LogText();
    EXPECT_NE(log.find("a WebKitGTK browser (a script run by /usr/bin/python3"), std::string::npos)
        << log;
    EXPECT_NE(log.find("a WebKitGTK browser (a copy in " + kid.bin + "notes)"), std::string::npos)
        << log;
    if (pth != 0) {
        EXPECT_NE(log.find("a WebKitGTK browser (a copy in " + installed + ")"), std::string::npos)
            << log;
    }
}

}  // namespace
