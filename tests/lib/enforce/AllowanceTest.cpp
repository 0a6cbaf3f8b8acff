// The daily allowance's counter, with its clock and the sessions' states given tick by tick: what
// counts, into which day and hour, what a restart keeps, and when the warnings and the end come.
#include <gtest/gtest.h>

#include <utility>

#include "lib/enforce/Allowance.h"
#include "lib/store/ValueNames.h"

using enforce::Allowance;
using enforce::LocalTime;
using enforce::UseCounter;

namespace {

// Wednesday 2026-12-09 at `hour`:`minute`:`second`.
LocalTime At(int hour, int minute = 0, int second = 0, int day = 9, int weekday = 3) {
    return LocalTime{2026, 12, day, weekday, hour, minute, second};
}

// Ticks once a second for `seconds`, from `elapsedMs` on the clock that never jumps and `from` on
// the wall clock; the outcomes that said something.
struct Ticker {
    UseCounter counter;
    std::int64_t elapsedMs = 1000000;
    std::vector<UseCounter::Outcome> said;

    bool started = false;

    void Run(LocalTime from, int seconds, bool counting, const Allowance& a,
             std::vector<std::string> programs = {"firefox"}) {
        if (!std::exchange(started, true))  // the clock's first reading counts nothing
            counter.Advance({elapsedMs, from, false, {}}, a);
        for (int i = 0; i < seconds; ++i) {
            elapsedMs += 1000;
            LocalTime t = from;
            const int s = from.hour * 3600 + from.minute * 60 + from.second + i + 1;
            t.hour = (s / 3600) % 24;
            t.minute = (s / 60) % 60;
            t.second = s % 60;
            const auto out = counter.Advance({elapsedMs, t, counting, programs}, a);
            if (out.warnMinutes != 0 || out.usedUp) said.push_back(out);
        }
    }
};

Allowance Minutes(int wednesday) {
    Allowance a;
    a.minutes[3] = wednesday;
    return a;
}

TEST(Allowance, ReadFromTheSettingsAndAnythingOddIsNoLimit) {
    const Allowance a = Allowance::FromValues({{store::MinutesADayName(0), "120"},
                                               {store::MinutesADayName(1), "0"},
                                               {store::MinutesADayName(2), "1441"},
                                               {store::MinutesADayName(3), "-5"},
                                               {store::MinutesADayName(4), "1e3"},
                                               {store::MinutesADayName(5), ""}});
    EXPECT_EQ(a.minutes, (std::array<int, 7>{120, 0, -1, -1, -1, -1, -1}));
    EXPECT_FALSE(Allowance::FromValues({}).Limits(3));
    EXPECT_EQ(enforce::ShortMinutes(120), "2 h");
    EXPECT_EQ(enforce::ShortMinutes(90), "1 h 30 min");
    EXPECT_EQ(enforce::ShortMinutes(45), "45 min");
    EXPECT_EQ(enforce::LongMinutes(120), "2 hours");
    EXPECT_EQ(enforce::LongMinutes(61), "1 hour 1 minute");
    EXPECT_EQ(enforce::LongMinutes(1), "1 minute");
}

TEST(UseCounter, OnlyUseCountsAndADayWithoutAnAllowanceIsNeverUsedUp) {
    Ticker t;
    const Allowance none;
    // Idle, locked, another account in the foreground: the caller says "not counting".
    t.Run(At(18), 600, false, none);
    EXPECT_EQ(t.counter.Record().UsedSeconds("2026-12-09"), 0);
    // A program that starts and ends within a minute counts the seconds it ran.
    t.Run(At(18, 10), 17, true, none);
    t.Run(At(18, 10, 17), 43, false, none);
    EXPECT_EQ(t.counter.Record().UsedSeconds("2026-12-09"), 17);
    EXPECT_EQ(t.counter.LeftSeconds(At(18, 11), none), enforce::kNoLimit);
    EXPECT_FALSE(t.counter.UsedUp(At(18, 11), none));
    EXPECT_TRUE(t.said.empty());
    // Each program that ran has the time it ran; the hour has the time of use.
    t.Run(At(19), 60, true, none, {"firefox", "the application 'game'"});
    const auto& day = t.counter.Record().Days().at("2026-12-09");
    EXPECT_EQ(day.seconds[18], 17);
    EXPECT_EQ(day.seconds[19], 60);
    EXPECT_EQ(day.programs.at("firefox"), 77);
    EXPECT_EQ(day.programs.at("the application 'game'"), 60);
}

TEST(UseCounter, TheChildIsAtTheComputerOnlyInAnActiveSessionNeitherIdleNorLocked) {
    using enforce::SessionState;
    const SessionState inUse{true, false, false};
    // Without logind a running program counts; with it, no session of the child's is no use.
    EXPECT_TRUE(enforce::AtTheComputer(std::nullopt));
    EXPECT_FALSE(enforce::AtTheComputer(std::vector<SessionState>{}));
    EXPECT_TRUE(enforce::AtTheComputer(std::vector<SessionState>{inUse}));
    // Idle, locked, or in the background of its seat (a parent switched to their own account).
    EXPECT_FALSE(enforce::AtTheComputer(std::vector<SessionState>{{true, true, false}}));
    EXPECT_FALSE(enforce::AtTheComputer(std::vector<SessionState>{{true, false, true}}));
    EXPECT_FALSE(enforce::AtTheComputer(std::vector<SessionState>{{false, false, false}}));
    // Two sessions of the child: one in use is enough, whichever it is.
    EXPECT_TRUE(enforce::AtTheComputer(std::vector<SessionState>{{false, false, false}, inUse}));
    EXPECT_TRUE(enforce::AtTheComputer(std::vector<SessionState>{inUse, {true, true, true}}));
}

TEST(UseCounter, WarnedAtTenFiveAndOneMinuteLeftThenUsedUpOnce) {
    Ticker t;
    const Allowance a = Minutes(15);
    t.Run(At(17), 15 * 60 + 30, true, a);
    ASSERT_EQ(t.said.size(), 4u);
    EXPECT_EQ(t.said[0].warnMinutes, 10);
    EXPECT_EQ(t.said[1].warnMinutes, 5);
    EXPECT_EQ(t.said[2].warnMinutes, 1);
    EXPECT_TRUE(t.said[3].usedUp);
    EXPECT_TRUE(t.counter.UsedUp(At(17, 30), a));
    EXPECT_EQ(t.counter.LeftSeconds(At(17, 30), a), 0);
    // Less than five minutes left at the first tick (after a restart): the five minutes' warning
    // alone.
    enforce::UseRecord used;
    used.Count(At(9), 11 * 60, {"firefox"});
    Ticker late{UseCounter(used)};
    late.Run(At(17), 1, true, a);
    ASSERT_EQ(late.said.size(), 1u);
    EXPECT_EQ(late.said[0].warnMinutes, 5);
}

TEST(UseCounter, MidnightStartsANewDayAndClockChangesNeitherRefundNorDoubleCount) {
    Ticker t;
    const Allowance a = Minutes(30);
    t.Run(At(23, 59, 0), 59, true, a);  // to 23:59:59 on the 9th
    t.elapsedMs += 2000;
    t.counter.Advance({t.elapsedMs, At(0, 0, 1, 10, 4), true, {"firefox"}}, a);  // Thursday
    EXPECT_EQ(t.counter.Record().UsedSeconds("2026-12-09"), 59);
    EXPECT_EQ(t.counter.Record().UsedSeconds("2026-12-10"), 2);
    EXPECT_EQ(t.counter.LeftSeconds(At(0, 0, 1, 10, 4), Minutes(30)), enforce::kNoLimit);
    // Used up on the 9th, then the clock is set back an hour (or the zone moves west): the day
    // is still used up, and the time counted stays counted once.
    Ticker back;
    back.Run(At(20), 30 * 60, true, a);
    EXPECT_TRUE(back.counter.UsedUp(At(20, 30), a));
    back.Run(At(19, 30), 60, true, a);
    EXPECT_EQ(back.counter.Record().UsedSeconds("2026-12-09"), 31 * 60);
    EXPECT_TRUE(back.counter.UsedUp(At(19, 31), a));
    EXPECT_EQ(back.said.size(), 4u);  // used up told once
    // Forward past midnight: the new day's allowance, the old day's use kept.
    back.Run(At(8, 0, 0, 10, 4), 60, true, Minutes(30));
    EXPECT_EQ(back.counter.Record().UsedSeconds("2026-12-09"), 31 * 60);
    // A suspend (the clock that never jumps moved an hour between two ticks) counts at most a
    // tick's worth.
    Ticker suspended;
    suspended.Run(At(10), 10, true, a);
    suspended.elapsedMs += 3600 * 1000;
    suspended.Run(At(11), 1, true, a);
    EXPECT_EQ(suspended.counter.Record().UsedSeconds("2026-12-09"),
              10 + static_cast<int>(enforce::kLongestTickMs / 1000));
}

TEST(UseCounter, ARestartKeepsWhatWasCountedAndCountsNoGap) {
    Ticker t;
    const Allowance a = Minutes(60);
    t.Run(At(16), 90, true, a, {"firefox", "odd\nname"});
    const std::string kept = t.counter.Record().Serialize();
    // The service restarts in the middle of a minute: a new counter from what was kept, whose
    // first tick (its clock's first reading) counts nothing.
    Ticker again{UseCounter(enforce::UseRecord::Parse(kept + "day 2026-13-99 x\nprogram\n"))};
    again.elapsedMs = 5;
    again.Run(At(16, 5), 0, true, a);
    EXPECT_EQ(again.counter.Record().UsedSeconds("2026-12-09"), 90);
    again.Run(At(16, 5, 1), 10, true, a);
    EXPECT_EQ(again.counter.Record().UsedSeconds("2026-12-09"), 100);
    EXPECT_EQ(again.counter.Record().Days().at("2026-12-09").programs.at("odd?name"), 90);
    EXPECT_EQ(again.counter.Record().Days().size(), 1u);
    // Bounded: eight weeks of days, a few dozen programs a day.
    enforce::UseRecord record;
    for (int d = 1; d <= 70; ++d) {
        LocalTime day = At(12, 0, 0, 1 + (d - 1) % 28, 0);
        day.month = 1 + (d - 1) / 28;
        std::vector<std::string> many;
        for (int p = 0; p < 50; ++p) many.push_back("p" + std::to_string(p));
        record.Count(day, 60, many);
    }
    EXPECT_EQ(record.Days().size(), static_cast<std::size_t>(enforce::kDaysKept));
    EXPECT_EQ(record.Days().begin()->second.programs.size(),
              static_cast<std::size_t>(enforce::kProgramsKeptADay) + 1);  // and "other programs"
}

}  // namespace
