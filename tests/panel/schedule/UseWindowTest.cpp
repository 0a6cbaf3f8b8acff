// The use window as a parent sees it: a prepared record of four weeks, the schedule blocking the
// evenings and two hours a day on school days, shown as the window shows the service's answer.
#include <gtest/gtest.h>

#include <QLabel>
#include <QTableWidget>

#include "lib/store/HourBoxes.h"
#include "lib/store/ValueNames.h"
#include "panel/schedule/UseWindow.h"
#include "panel/settings/Settings.h"
#include "tests/support/TempEnv.h"

using testing_support::Set;

namespace {

// The record's "day" line of `date` with `minutes` used in each of `hours`.
std::string DayLine(const std::string& date, std::initializer_list<int> hours, int minutes) {
    std::string line = "day " + date;
    for (int h = 0; h < 24; ++h)
        line += " " + std::to_string(std::find(hours.begin(), hours.end(), h) != hours.end()
                                         ? minutes * 60
                                         : 0);
    return line + "\n";
}

}  // namespace

TEST(UseOverview, TheLastDaysCountBackAcrossMonthsAndAnUnknownTodayShowsNothing) {
    enforce::GuardSettings schedule;
    schedule.blocked[static_cast<std::size_t>(store::HourBox(0, 21) - 1)] = true;  // Sunday 21:00
    enforce::Allowance allowance;
    allowance.minutes[0] = 240;
    const auto record = enforce::UseRecord::Parse(DayLine("2026-02-22", {16}, 30) +
                                                  "program 2026-03-01 600 firefox\n"
                                                  "program 2026-03-01 900 a WebKitGTK browser\n");
    const schedule::UseOverview o =
        schedule::MakeOverview("2026-03-01", record, schedule, allowance);
    ASSERT_EQ(o.week.size(), 7u);
    ASSERT_EQ(o.totals.size(), 28u);
    EXPECT_EQ(o.week.front().date, "2026-02-23");
    EXPECT_EQ(o.week.back().date, "2026-03-01");
    EXPECT_EQ(o.week.back().weekday, 0);  // a Sunday
    EXPECT_TRUE(o.week.back().blocked[21]);
    EXPECT_FALSE(o.week.back().blocked[20]);
    EXPECT_EQ(o.week.back().allowed, 240);
    EXPECT_EQ(o.totals[20].date, "2026-02-22");  // a week before, in the totals only
    EXPECT_EQ(o.totals[20].total, 1800);
    EXPECT_EQ(o.totals.front().date, "2026-02-02");
    EXPECT_EQ(o.programs, (std::vector<std::pair<std::string, int>>{{"a WebKitGTK browser", 900},
                                                                    {"firefox", 600}}));
    EXPECT_TRUE(schedule::MakeOverview("today", record, schedule, allowance).week.empty());
}

TEST(UseWindow, ShowsTheWeekAgainstThePlanAndTodaysPrograms) {
    testing_support::TempEnv env;
    // Blocking on, every evening from 20:00 blocked; 2 h on school days, 4 at the weekend.
    Set(store::kNeedJob, "Yes");
    for (int day = 0; day < 7; ++day) {
        for (int h = 20; h < 24; ++h) Set(store::HourFlagName(store::HourBox(day, h)), "0");
        Set(store::MinutesADayName(day), day == 0 || day == 6 ? "240" : "120");
    }
    // Four weeks to Wednesday 9 December 2026: afternoons, longer at the weekend.
    std::string lines;
    for (int d = 11; d <= 30; ++d)
        lines += DayLine("2026-11-" + std::to_string(d), {16, 17}, d % 3 == 0 ? 55 : 40);
    for (int d = 1; d <= 8; ++d) {
        const std::string date = "2026-12-0" + std::to_string(d);
        lines += d == 5 || d == 6 ? DayLine(date, {10, 11, 14, 15, 16}, 50)
                                  : DayLine(date, {16, 17}, 35 + d * 3);
    }
    lines += DayLine("2026-12-09", {15, 16}, 36);
    lines +=
        "program 2026-12-09 3000 firefox\nprogram 2026-12-09 1320 the application "
        "'minetest'\nprogram 2026-12-08 99 chromium\n";

    schedule::UseWindow window;
    window.Show({"2026-12-09", lines});
    window.show();
    EXPECT_EQ(window.today->text(), QStringLiteral("Today: 1:12 of 2:00"));
    ASSERT_EQ(window.programs->rowCount(), 2);
    EXPECT_EQ(window.programs->item(0, 0)->text(), QStringLiteral("firefox"));
    EXPECT_EQ(window.programs->item(0, 1)->text(), QStringLiteral("0:50"));
    EXPECT_EQ(window.programs->item(1, 0)->text(), QStringLiteral("the application 'minetest'"));
    window.grab().save(QStringLiteral("/tmp/use-window.png"));

    // Where the service cannot tell it, the window says so and shows nothing old.
    window.Show({"no date", ""});
    EXPECT_EQ(window.programs->rowCount(), 0);
}
