// The guard's decisions with an injected clock and process table: the grid applied to the clock
// for every box and across changes of daylight saving time, which programs match, what is stopped
// and what is spared, warnings, clock jumps, repeats, and the log lines.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "lib/enforce/Guard.h"
#include "lib/store/HourBoxes.h"
#include "lib/store/ValueNames.h"
#include "tests/lib/enforce/FakeWorld.h"

using enforce::Match;
using enforce::ProcessInfo;
using enforce::StoreValue;
using testing_support::FakeClock;
using testing_support::FakeTable;
using testing_support::Recorder;
using testing_support::TimeZone;

namespace {

using Values = std::map<std::string, StoreValue>;

StoreValue Text(const std::string& text) {
    return {StoreValue::Text, text};
}

enforce::SettingsRead Interpret(const Values& values) {
    return enforce::InterpretSettings([&](const std::string& name) {
        auto it = values.find(name);
        return it == values.end() ? StoreValue{} : it->second;
    });
}

// Blocking on, and "0" in the boxes of these (weekday, hour) pairs.
Values Blocked(std::initializer_list<std::pair<int, int>> hours, const Values& more = {}) {
    Values v = more;
    v[store::kNeedJob] = Text("Yes");
    for (auto [day, hour] : hours) v[store::HourFlagName(store::HourBox(day, hour))] = Text("0");
    return v;
}

struct World {
    TimeZone zone{"Europe/Berlin"};
    FakeClock clock;
    FakeTable table;
    Recorder out;
    enforce::Guard guard{clock, table, out, {"1.0", 100, "/opt/veltrix/"}};
    World() {
        clock.elapsed = 5'000'000;
        clock.SetLocal(2026, 12, 8, 16, 30);  // a Tuesday
    }
    void Read(const Values& v) { guard.SettingsRead(Interpret(v)); }
    // Ticks once a second for `seconds`, scanning as the program does while an hour blocks.
    void Run(int seconds) {
        for (int i = 0; i < seconds; ++i) {
            clock.Advance(1);
            guard.Tick();
            if (guard.Blocking()) guard.Scan();
        }
    }
};

constexpr const char* kFirefox = "/usr/lib/firefox-esr/firefox-esr";

}  // namespace

// Every box blocks its own hour from its first to its last second, and no other.
TEST(GuardClock, EveryBoxBlocksExactlyItsHour) {
    World w;
    for (int day = 0; day < 7; ++day) {
        for (int hour = 0; hour < 24; ++hour) {
            w.Read(Blocked({{day, hour}}));
            const int date = 6 + day;  // 2026-12-06 is a Sunday
            w.clock.SetLocal(2026, 12, date, hour, 0, 0);
            EXPECT_TRUE(w.guard.Blocking()) << day << " " << hour << ":00:00";
            w.clock.SetLocal(2026, 12, date, hour, 59, 59);
            EXPECT_TRUE(w.guard.Blocking()) << day << " " << hour << ":59:59";
            w.clock.Advance(1);
            EXPECT_FALSE(w.guard.Blocking()) << "the hour after " << day << " " << hour;
            w.clock.SetLocal(2026, 12, date, hour, 0, 0);
            w.clock.Advance(-1);
            EXPECT_FALSE(w.guard.Blocking()) << "the second before " << day << " " << hour;
        }
    }
    // The panel's own examples, through the stored names.
    const std::vector<std::tuple<std::string, int, int>> examples = {
        {"CheckBox10Check", 8, 5}, {"CheckBox25Check", 6, 0}, {"CheckBox24Check", 8, 12}};
    for (const auto& [name, date, hour] : examples) {
        w.Read({{store::kNeedJob, Text("Yes")}, {name, Text("0")}});
        w.clock.SetLocal(2026, 12, date, hour, 30);
        EXPECT_TRUE(w.guard.Blocking()) << name;
    }
}

// Blocking off, or no value, stops nothing, whatever the grid says.
TEST(GuardClock, BlockingOffOrUnsetStopsNothing) {
    World w;
    w.table.Add(1000, kFirefox);
    for (const char* job : {"No", "", "yes"}) {
        Values v = Blocked({{2, 16}});
        if (*job)
            v[store::kNeedJob] = Text(job);
        else
            v.erase(store::kNeedJob);
        w.Read(v);
        EXPECT_FALSE(w.guard.Blocking()) << job;
        w.guard.Scan();
    }
    EXPECT_TRUE(w.out.stopped.empty());
}

// Europe/Berlin: 2026-03-29 02:00 does not exist, 2026-10-25 02:00-03:00 happens twice. The
// hour's box is what counts, and a change of daylight saving time is no clock change.
TEST(GuardClock, DaylightSavingChangeDays) {
    World w;
    w.Read(Blocked({{0, 2}}));
    w.clock.SetLocal(2026, 10, 25, 1, 59, 59);
    w.guard.Tick();
    std::vector<int> blockedHours;
    for (int s = 0; s < 3 * 3600; ++s) {
        w.clock.Advance(1);
        w.guard.Tick();
        if (w.guard.Blocking() && (w.clock.wall % 3600 == 0)) blockedHours.push_back(s);
    }
    EXPECT_EQ(blockedHours.size(), 2u) << "02:00-03:00 twice on the fall-back day";

    w.Read(Blocked({{0, 2}, {0, 3}}));
    w.clock.SetLocal(2026, 3, 29, 1, 59, 59);
    EXPECT_FALSE(w.guard.Blocking());
    w.clock.Advance(1);  // 03:00 summer time
    EXPECT_TRUE(w.guard.Blocking());
    EXPECT_EQ(w.out.Count("clock was changed"), 0);
    // A browser stopped at 01:30 is blocked "until 04:00", one wall-clock hour after 01:59.
    w.Read(Blocked({{0, 1}, {0, 3}}));
    w.clock.SetLocal(2026, 3, 29, 1, 30);
    w.table.Add(1000, kFirefox);
    w.guard.Scan();
    ASSERT_EQ(w.out.notes.size(), 1u);
    EXPECT_EQ(w.out.notes[0], "firefox is blocked until 04:00");
}

TEST(GuardMatching, BrowsersByTheirExecutableAndAppScope) {
    auto kind = [](const std::string& exe, std::vector<std::string> args = {},
                   const std::string& app = {}) {
        const Match m = enforce::Classify({1, 1, exe, std::move(args), app}, {});
        return m.kind == Match::Browser ? m.name : std::string("-");
    };
    EXPECT_EQ(kind(kFirefox, {"/usr/lib/firefox-esr/firefox-esr"}), "firefox");  // shows GeckoMain
    EXPECT_EQ(kind("/usr/lib/firefox/firefox"), "firefox");
    EXPECT_EQ(kind("/usr/lib/chromium/chromium", {"/usr/lib/chromium/chromium", "--type=renderer"}),
              "chromium");
    EXPECT_EQ(kind("/opt/google/chrome/chrome"), "google-chrome");
    EXPECT_EQ(kind("/opt/brave.com/brave/brave"), "brave");
    EXPECT_EQ(kind("/opt/vivaldi/vivaldi-bin"), "vivaldi");
    EXPECT_EQ(kind("/usr/lib/x86_64-linux-gnu/opera/opera"), "opera");
    EXPECT_EQ(kind("/opt/microsoft/msedge/msedge"), "msedge");
    for (const char* exe :
         {"/usr/bin/epiphany", "/usr/bin/falkon", "/usr/bin/konqueror", "/usr/bin/midori"})
        EXPECT_NE(kind(exe), "-") << exe;
    EXPECT_EQ(kind("/usr/bin/python3.11", {"/usr/bin/python3", "/usr/bin/qutebrowser"}),
              "qutebrowser");
    EXPECT_EQ(kind("/app/lib/firefox/firefox-bin", {}, "flatpak:org.mozilla.firefox"), "firefox");
    EXPECT_EQ(kind("/app/bin/weird-wrapper", {}, "flatpak:com.google.Chrome"), "google-chrome");
    EXPECT_EQ(kind("/snap/chromium/2000/usr/lib/chromium-browser/chrome", {}, "snap:chromium"),
              "chromium");
    // Not browsers: other programs, look-alike names, a browser's name as a mere argument.
    EXPECT_EQ(kind("/usr/bin/bash", {"bash"}), "-");
    EXPECT_EQ(kind("/usr/bin/firefoxy"), "-");
    EXPECT_EQ(kind("/usr/bin/vlc", {"vlc", "firefox"}), "-");
    EXPECT_EQ(kind("/usr/bin/shotwell", {"shotwell", "firefox"}), "-");
    EXPECT_EQ(kind(""), "-");  // no executable (a kernel thread, a zombie)
}

TEST(GuardMatching, ApplicationEntriesAsAParentTypesThem) {
    const std::vector<std::string> apps = {"Game.EXE",          " steam ",     "",
                                           "/opt/games/run.sh", "notepad.exe", "   "};
    auto name = [&](const std::string& exe, std::vector<std::string> args = {}) {
        const Match m = enforce::Classify({1, 1, exe, std::move(args), {}}, apps);
        return m.kind == Match::Application ? m.name : std::string("-");
    };
    EXPECT_EQ(name("/home/kid/bin/game"), "game");
    EXPECT_EQ(name("/home/kid/bin/GAME.exe"), "GAME.exe");
    EXPECT_EQ(name("/usr/games/steam"), "steam");
    EXPECT_EQ(name("/opt/games/run.sh"), "run.sh");
    EXPECT_EQ(name("/usr/bin/run.sh"), "-");  // an entry with a "/" is a whole path
    EXPECT_EQ(name("/usr/bin/python3", {"python3", "/home/kid/game.py"}), "-");
    EXPECT_EQ(name("/usr/lib/wine/wine64-preloader", {"C:\\Program Files\\Notepad\\NOTEPAD.EXE"}),
              "NOTEPAD.EXE");
    EXPECT_EQ(name("/usr/bin/gamer"), "-");
    EXPECT_EQ(name("/usr/bin/steamer"), "-");
    const Match m = enforce::Classify({1, 1, "/home/kid/game", {}, {}}, apps);
    EXPECT_EQ(m.rule, "the application 'Game.EXE'");
}

TEST(GuardStopping, BrowsersAndListedAppsStopTheRestIsSpared) {
    World w;
    w.Read(Blocked({{2, 16}}, {{"App1", Text("game")}, {"App2", Text("bash")}}));
    w.guard.Protect(42);  // the session's leader
    w.table.Add(1000, kFirefox);
    w.table.Add(1001, kFirefox);  // a content process of the same browser
    w.table.Add(1002, "/home/kid/game");
    w.table.Add(42, "/usr/bin/bash");           // listed, but the session's leader
    w.table.Add(1003, "/usr/bin/bash");         // listed: a terminal's shell
    w.table.Add(100, kFirefox);                 // the guard's own pid, whatever it shows
    w.table.Add(1004, "/opt/veltrix/veltrix");  // the panel
    w.table.Add(1005, "/usr/bin/gedit");
    // A renamed copy of Firefox in the home, and the installed Thunderbird: both run Gecko.
    w.table.Add(1006, "/home/kid/x/notes").engine = enforce::Engine::Gecko;
    enforce::ProcessInfo& mail = w.table.Add(1007, "/usr/lib/thunderbird/thunderbird-bin");
    mail.engine = enforce::Engine::Gecko;
    mail.package = {true, false};
    // A path in the program directory only in the child's own mount namespace spares nothing.
    w.table.Add(1008, "/opt/veltrix/w3m").exeFaked = true;
    ASSERT_TRUE(w.guard.Blocking());
    w.guard.Scan();
    EXPECT_EQ(w.out.stopped, (std::vector<int>{1000, 1001, 1002, 1003, 1006, 1008}));
    w.guard.Scan();  // asked once: a process that takes its time is not asked again
    EXPECT_EQ(w.out.stopped.size(), 6u);
    EXPECT_EQ(w.out.Count("Stopped firefox (pid 1000, 1001, " + std::string(kFirefox) +
                          "), a web browser: Tuesday 16:00-17:00 is a blocked hour"),
              1);
    EXPECT_EQ(w.out.Count("Stopped game (pid 1002, /home/kid/game), the application 'game'"), 1);
    EXPECT_EQ(w.out.Count("Stopped firefox (a copy in /home/kid/x/notes) (pid 1006, "
                          "/home/kid/x/notes), a web browser (Gecko engine): "),
              1);
    EXPECT_EQ(w.out.notes, (std::vector<std::string>{
                               "bash is blocked until 17:00", "firefox is blocked until 17:00",
                               "firefox (a copy in /home/kid/x/notes) is blocked until 17:00",
                               "game is blocked until 17:00", "w3m is blocked until 17:00"}));
    // An allowed hour stops nothing.
    w.clock.SetLocal(2026, 12, 8, 17, 0);
    w.table.Add(1010, kFirefox);
    EXPECT_FALSE(w.guard.Blocking());
    w.guard.Scan();
    EXPECT_EQ(w.out.stopped.size(), 6u);
}

TEST(GuardStopping, UntilTheNextAllowedHour) {
    World w;
    int pid = 1000;
    auto told = [&](const Values& v) {
        w.Read(v);
        w.out.notes.clear();
        w.clock.Advance(120);  // past the one-minute quiet time of notifications
        w.table.Add(++pid, kFirefox);
        w.guard.Scan();
        return w.out.notes.empty() ? std::string() : w.out.notes.back();
    };
    EXPECT_EQ(told(Blocked({{2, 16}, {2, 17}, {2, 18}})), "firefox is blocked until 19:00");
    Values night =
        Blocked({{2, 16}, {2, 17}, {2, 18}, {2, 19}, {2, 20}, {2, 21}, {2, 22}, {2, 23}});
    for (int h = 0; h < 8; ++h) night[store::HourFlagName(store::HourBox(3, h))] = Text("0");
    EXPECT_EQ(told(night), "firefox is blocked until Wednesday 08:00");
    Values all = {{store::kNeedJob, Text("Yes")}};
    for (int n = 1; n <= 168; ++n) all[store::HourFlagName(n)] = Text("0");
    EXPECT_EQ(told(all), "firefox is blocked at every hour of the week");
}

// A day whose allowance is used up blocks for the rest of that day only, says why in its stop
// lines, and names what runs; blocking off lifts it, as it lifts every hour.
TEST(GuardStopping, ADayUsedUpBlocksItsRestAndNoOtherDay) {
    World w;
    w.Read(Blocked({{3, 0}, {3, 1}, {3, 2}, {3, 3}, {3, 4}, {3, 5}, {3, 6}, {3, 7}}));
    w.table.Add(1001, kFirefox);
    w.table.Add(1002, "/usr/bin/gedit");
    EXPECT_EQ(w.guard.Governed(), std::vector<std::string>{"firefox"});
    EXPECT_FALSE(w.guard.Blocking());
    w.guard.SetUsedUp("2026-12-08", "today's 2 h are used up");
    EXPECT_TRUE(w.guard.UsedUpOn("2026-12-08"));
    ASSERT_TRUE(w.guard.Blocking());
    EXPECT_EQ(w.guard.StateNow().until, "until Wednesday 08:00");
    const auto next = w.guard.NextAllowed();
    ASSERT_TRUE(next.has_value());
    EXPECT_EQ(next->weekday, 3);
    EXPECT_EQ(next->hour, 8);
    w.clock.Advance(120);
    w.guard.Scan();
    ASSERT_FALSE(w.out.lines.empty());
    EXPECT_NE(w.out.lines.back().find("Stopped firefox (pid 1001"), std::string::npos);
    EXPECT_NE(w.out.lines.back().find("a web browser: today's 2 h are used up"), std::string::npos)
        << w.out.lines.back();
    EXPECT_EQ(w.out.notes.back(), "firefox is blocked until Wednesday 08:00");
    // Another day (a clock set forward) is the grid's alone.
    w.clock.SetLocal(2026, 12, 9, 9, 0);
    EXPECT_FALSE(w.guard.Blocking());
    w.clock.SetLocal(2026, 12, 8, 23, 0);
    EXPECT_TRUE(w.guard.Blocking());
    w.Read(Values{{store::kNeedJob, Text("No")}});
    EXPECT_FALSE(w.guard.Blocking());
}

// A parent's answer on top of the hours: allowed until a time past the blocked hour's start,
// then a pause that stops what runs at an allowed hour and says by whom.
TEST(GuardStopping, AParentsAnswerAllowsOrBlocksUntilItsTime) {
    World w;
    w.Read(Blocked({{2, 10}, {2, 11}}));  // Tuesday 10:00 to 12:00
    w.clock.SetLocal(2026, 12, 8, 10, 0);
    ASSERT_TRUE(w.guard.Blocking());
    const std::int64_t now = w.clock.Now();
    w.guard.SetOverride({now + 30 * 60, 0, {}});
    EXPECT_FALSE(w.guard.Blocking());
    EXPECT_EQ(w.guard.StateNow().until, "until 10:30");
    w.clock.Advance(30 * 60);
    EXPECT_TRUE(w.guard.Blocking());
    w.clock.Advance(2 * 3600);  // 12:30, allowed by the grid
    EXPECT_FALSE(w.guard.Blocking());
    w.guard.SetOverride({0, w.clock.Now() + 15 * 60, "paused by mum until 12:45"});
    w.table.Add(1001, kFirefox);
    w.guard.Scan();
    ASSERT_FALSE(w.out.lines.empty());
    EXPECT_NE(w.out.lines.back().find("a web browser: paused by mum until 12:45"),
              std::string::npos)
        << w.out.lines.back();
    EXPECT_EQ(w.out.notes.back(), "firefox is blocked until 12:45");
}

// A program restarted 100 times in a minute: its first line, then one line with the count; a
// program restarted all afternoon costs a few lines an hour.
TEST(GuardRepeats, RestartsAreCountedNotLoggedOneByOne) {
    World w;
    w.Read(Blocked({{2, 16}, {2, 17}, {2, 18}, {2, 19}}));
    w.guard.Tick();
    const std::size_t before = w.out.lines.size();
    for (int i = 0; i < 100; ++i) {
        w.table.Add(2000 + i, kFirefox);
        w.guard.Scan();
        w.table.Remove(2000 + i);
        w.clock.elapsed += 500;
        w.clock.wall += i % 2;
    }
    w.Run(20);
    EXPECT_EQ(w.out.stopped.size(), 100u);
    EXPECT_EQ(w.out.Count("Stopped firefox"), 1);
    EXPECT_EQ(w.out.Count("firefox was stopped 99 more times since"), 1);
    EXPECT_EQ(w.out.lines.size() - before, 2u);
    // Three more hours of a restart every 10 s.
    for (int i = 0; i < 3 * 360; ++i) {
        w.table.Add(5000 + i, kFirefox);
        w.Run(10);
        w.table.Remove(5000 + i);
    }
    EXPECT_LE(w.out.lines.size() - before, 10u);
    EXPECT_LE(w.out.notes.size(), 3u * 60 + 1);  // a notification a minute at most
}

// A child that starts thousands of programs of distinct names gets a score of lines an hour,
// not thousands: the rest are counted in one line when the hour is over.
TEST(GuardRepeats, DistinctProgramsPastTheHoursShareAreFoldedIntoOneLine) {
    World w;
    w.Read(Blocked({{2, 16}, {2, 17}, {2, 18}}));
    w.guard.Tick();
    const std::size_t before = w.out.lines.size();
    const int programs = 2000;
    for (int i = 0; i < programs; ++i) {
        w.table.Add(3000 + i, "/home/kid/x/notes" + std::to_string(i), {}).engine =
            enforce::Engine::Gecko;
        w.guard.Scan();
        w.table.Remove(3000 + i);
        w.clock.Advance(i % 2);
    }
    EXPECT_EQ(w.out.stopped.size(), static_cast<std::size_t>(programs));
    EXPECT_EQ(w.out.Count("Stopped firefox (a copy in"), enforce::kDistinctStopsPerHour);
    EXPECT_LE(w.out.notes.size(), static_cast<std::size_t>(enforce::kDistinctStopsPerHour));
    EXPECT_EQ(w.out.Count("more programs stopped"), 0);  // told when the hour is over
    w.Run(3600);
    const int folded = programs - enforce::kDistinctStopsPerHour;
    EXPECT_EQ(w.out.Count("and " + std::to_string(folded) +
                          " more programs stopped since 2026-12-08 16:30:00, not named one by "
                          "one (the last: firefox (a copy in /home/kid/x/notes1999))"),
              1)
        << w.out.lines.back();
    EXPECT_LE(w.out.lines.size() - before,
              static_cast<std::size_t>(enforce::kDistinctStopsPerHour) + 3);
    // The next hour has a share of its own; a stop at the end tells what was folded at once.
    for (int i = 0; i < 25; ++i) {
        w.table.Add(9000 + i, "/home/kid/y/web" + std::to_string(i)).engine =
            enforce::Engine::Gecko;
        w.guard.Scan();
        w.table.Remove(9000 + i);
    }
    EXPECT_EQ(w.out.Count("Stopped firefox (a copy in /home/kid/y/"),
              enforce::kDistinctStopsPerHour);
    w.guard.Stopping("test");
    EXPECT_EQ(w.out.Count("and 5 more programs stopped since"), 1);
}

// A stop that could not be asked (no descriptor left, say) is tried again at the next scan, and
// logged when it is made.
TEST(GuardStopping, AStopThatFailedIsTriedAgain) {
    World w;
    w.Read(Blocked({{2, 16}}));
    w.table.Add(4242, kFirefox);
    w.out.refused.insert(4242);
    w.guard.Scan();
    w.guard.Scan();
    EXPECT_TRUE(w.out.stopped.empty());
    EXPECT_EQ(w.out.Count("Stopped firefox"), 0);
    w.out.refused.clear();
    w.guard.Scan();
    EXPECT_EQ(w.out.stopped, std::vector<int>{4242});
    EXPECT_EQ(w.out.Count("Stopped firefox (pid 4242"), 1);
    w.guard.Scan();  // asked once, not again
    EXPECT_EQ(w.out.stopped.size(), 1u);
}

// A new time zone (the system's replaced) applies at the next tick, and the log says so.
TEST(GuardClock, ATimeZoneChangeIsLoggedAndTheGridFollowsAtOnce) {
    World w;
    w.clock.zone = "Europe/Berlin";
    w.Read(Blocked({{2, 10}}));  // 16:30 in Berlin is 10:30 in New York
    w.Run(2);
    EXPECT_FALSE(w.guard.Blocking());
    EXPECT_EQ(w.out.Count("time zone"), 0);
    {
        TimeZone newYork("America/New_York");
        w.clock.zone = "America/New_York";
        w.Run(1);
        EXPECT_TRUE(w.guard.Blocking());
        EXPECT_EQ(
            w.out.Count("The time zone was changed from Europe/Berlin to America/New_York; "
                        "it is now 2026-12-08 10:30:03 and the schedule applies to that time"),
            1)
            << w.out.lines.back();
        w.Run(3);
        EXPECT_EQ(w.out.Count("time zone"), 1);
    }
    w.clock.zone = "";  // unknown: nothing to say
    w.Run(1);
    EXPECT_EQ(w.out.Count("time zone"), 1);
}

TEST(GuardClock, AClockChangeIsLoggedAndTheGridAppliesToTheNewTime) {
    World w;
    w.Read(Blocked({{2, 18}}));
    w.guard.Tick();
    w.Run(2);
    EXPECT_FALSE(w.guard.Blocking());
    w.clock.wall += 60;  // a minute of drift corrected by time sync: not a change
    w.Run(1);
    EXPECT_EQ(w.out.Count("clock was changed"), 0);
    w.clock.wall += 2 * 3600 - 60;  // the child sets the clock on
    w.Run(1);
    EXPECT_EQ(w.out.Count("The clock was changed from 2026-12-08 16:31:04 to 2026-12-08 18:30:04; "
                          "the schedule applies to the new time"),
              1)
        << w.out.lines.back();
    EXPECT_TRUE(w.guard.Blocking());
    w.clock.wall -= 3 * 3600;  // and back
    w.Run(1);
    EXPECT_EQ(w.out.Count("clock was changed"), 2);
    EXPECT_FALSE(w.guard.Blocking());
}

TEST(GuardWarnings, TenFiveAndOneMinuteBeforeABlockedHourWhileSomethingRuns) {
    World w;
    w.Read(Blocked({{2, 17}}, {{"App1", Text("game")}}));
    w.clock.SetLocal(2026, 12, 8, 16, 45);
    w.guard.Tick();
    w.Run(16 * 60);  // nothing runs: no warning
    EXPECT_TRUE(w.out.notes.empty());

    w.clock.SetLocal(2026, 12, 9, 16, 45);  // the next day is not blocked at 17:00
    w.table.Add(1000, kFirefox);
    w.guard.Tick();
    w.Run(16 * 60);
    EXPECT_TRUE(w.out.notes.empty());

    w.clock.SetLocal(2026, 12, 15, 16, 45);  // Tuesday again
    w.table.Add(1001, "/usr/games/game");
    w.guard.Tick();
    w.Run(16 * 60);
    ASSERT_GE(w.out.notes.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(w.out.notes.begin(), w.out.notes.begin() + 3),
              (std::vector<std::string>{"firefox and game will be closed in 10 minutes, at 17:00",
                                        "firefox and game will be closed in 5 minutes, at 17:00",
                                        "firefox and game will be closed in 1 minute, at 17:00"}));
    EXPECT_EQ(w.out.Count("Warning shown: firefox and game will be closed in 10 minutes"), 1);
    EXPECT_EQ(w.out.stopped, (std::vector<int>{1000, 1001}));  // at 17:00
}

TEST(GuardSettings, HowEveryValueIsRead) {
    Values v = {{store::kNeedJob, Text("Yes")},
                {store::kNeedGuard, Text("maybe")},
                {"CheckBox1Check", Text("0")},
                {"CheckBox2Check", Text("1")},
                {"CheckBox3Check", Text("x")},
                {"CheckBox4Check", StoreValue{StoreValue::OtherType, {}}},
                {"CheckBox5Check", StoreValue{StoreValue::Unreadable, {}}},
                {"App1", Text("game")},
                {"App2", Text("")},
                {"App3", StoreValue{StoreValue::OtherType, {}}}};
    const enforce::SettingsRead r = Interpret(v);
    EXPECT_TRUE(r.settings.blocking);
    EXPECT_FALSE(r.settings.protect);
    const std::vector<bool> first(r.settings.blocked.begin(), r.settings.blocked.begin() + 7);
    EXPECT_EQ(first, (std::vector<bool>{true, false, false, true, true, false, false}));
    EXPECT_EQ(r.settings.apps, std::vector<std::string>{"game"});
    EXPECT_EQ(r.problems,
              (std::vector<std::string>{
                  "NeedGuardOrNot holds 'maybe': the guard's protection is off",
                  "CheckBox3Check holds 'x': that hour is allowed, as the panel shows it ticked",
                  "CheckBox4Check is not a text: that hour is blocked",
                  "CheckBox5Check cannot be read: that hour is blocked",
                  "App3 is not a text: it is ignored"}));
    EXPECT_EQ(enforce::BlockedHoursOf(r.settings, 2), "00:00-01:00, 03:00-05:00");

    // Each problem is logged once; the settings line only when the settings change.
    World w;
    w.Read(v);
    w.Read(v);
    EXPECT_EQ(w.out.Count("Settings: CheckBox4Check is not a text: that hour is blocked"), 1);
    EXPECT_EQ(w.out.Count("Settings read: blocking on, protection off; blocked hours today "
                          "(Tuesday): 00:00-01:00, 03:00-05:00; applications: game"),
              1);
    w.guard.CannotReadSettings("database disk image is malformed");
    w.guard.CannotReadSettings("database disk image is malformed");
    EXPECT_EQ(w.out.Count("The settings cannot be read (database disk image is malformed): the "
                          "settings read before stay in force"),
              1);
    EXPECT_TRUE(w.guard.Settings().blocking);
    w.Read(v);
    EXPECT_EQ(w.out.Count("The settings can be read again"), 1);
}

TEST(GuardLog, StartsStopsAndGaps) {
    World w;
    w.guard.Started({});
    enforce::PreviousRun killed{enforce::PreviousRun::Vanished, w.clock.wall - 65, true, 7, {}};
    w.guard.Started(killed);
    enforce::PreviousRun vanished{
        enforce::PreviousRun::Vanished, w.clock.wall - 3 * 3600 - 300, false, 8, {}};
    w.guard.Started(vanished);
    w.guard.Started(enforce::ParseHeartbeat(
        enforce::StoppedRecord(w.clock.wall - 4, 9, "stopped by SIGTERM from pid 77")));
    w.guard.Stopping("the session ended");
    EXPECT_EQ(w.out.Texts(),
              (std::vector<std::string>{
                  "Sentrel 1.0 started (pid 100)", "Sentrel 1.0 started (pid 100)",
                  "No guard ran for 1 min 5 s: the guard before (pid 7) was killed at 2026-12-08 "
                  "16:28:55",
                  "Sentrel 1.0 started (pid 100)",
                  "No guard ran for about 3 h 5 min: the guard before (pid 8) was last seen at "
                  "2026-12-08 13:25:00 and ended without stopping (it was killed, or the computer "
                  "stopped)",
                  "Sentrel 1.0 started (pid 100)",
                  "No guard ran for 4 s: the guard before (pid 9) stopped at 2026-12-08 16:29:56 "
                  "(stopped by SIGTERM from pid 77)",
                  "Sentrel 1.0 stopped (pid 100): the session ended"}));
    EXPECT_EQ(w.out.lines[0].substr(0, 20), "2026-12-08 16:30:00 ");
    // The heartbeat file: what is written is read back; anything else is no record.
    EXPECT_EQ(enforce::ParseHeartbeat(enforce::AliveRecord(50, 3)).kind,
              enforce::PreviousRun::Vanished);
    EXPECT_TRUE(enforce::ParseHeartbeat(enforce::EndedRecord(50, 3)).exact);
    for (const char* junk : {"", "alive", "alive x 3", "stopped -5 3 why", "dead 50 3"})
        EXPECT_EQ(enforce::ParseHeartbeat(junk).kind, enforce::PreviousRun::None) << junk;
}
