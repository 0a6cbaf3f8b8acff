// The schedule grid and the day selector on real widgets.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QTest>

#include <clocale>
#include <set>

#include "lib/platform/core/Locale.h"
#include "lib/store/ValueNames.h"
#include "panel/schedule/DaySelector.h"
#include "panel/schedule/ScheduleGrid.h"
#include "tests/support/Gui.h"
#include "tests/support/TempEnv.h"

using schedule::ScheduleGrid;
using testing_support::Get;
using testing_support::Set;
using testing_support::TempEnv;

namespace {

struct Window {
    QWidget client;
    ScheduleGrid grid{&client};
    QComboBox combo{&client};
    schedule::DaySelector days{&combo, grid};
};

int Ticked(const ScheduleGrid& grid) {
    int n = 0;
    for (int b = 1; b <= schedule::kBoxes; ++b) n += grid.Box(b)->isChecked();
    return n;
}

int PanelAtLeft8(const ScheduleGrid& grid) {
    int found = 0;
    for (int g = 2; g <= 8; ++g) {
        if (grid.Panel(g)->x() == 8) {
            EXPECT_EQ(found, 0) << "two panels shown";
            found = g;
        } else {
            EXPECT_EQ(grid.Panel(g)->x(), -1000);
        }
    }
    return found;
}

}  // namespace

// The numbering the guard program applies to the clock, checked against the panel's own boxes:
// the box of weekday d, hour h sits on d's panel and its caption names h.
TEST(ScheduleGrid, TheGuardsNumberingMatchesEveryBoxOfThePanel) {
    Window w;
    std::set<int> seen;
    for (int day = 0; day < 7; ++day) {
        for (int hour = 0; hour < 24; ++hour) {
            const int n = store::HourBox(day, hour);
            ASSERT_GE(n, 1);
            ASSERT_LE(n, 168);
            seen.insert(n);
            QCheckBox* box = w.grid.Box(n);
            EXPECT_NE(box->parentWidget()->property("title").toString().indexOf(
                          QString::fromUtf8(schedule::kDayNames[static_cast<std::size_t>(day)])),
                      -1)
                << "box " << n;
            const QStringList words = box->text().split(' ', Qt::SkipEmptyParts);
            ASSERT_EQ(words.size(), 2);
            const int h12 = words[0].toInt();
            const int shown = h12 % 12 + (words[1] == "PM" ? 12 : 0);
            EXPECT_EQ(shown, hour) << "box " << n << " reads " << box->text().toStdString();
        }
    }
    EXPECT_EQ(seen.size(), 168u);
}

TEST(ScheduleGrid, EveryBoxHasItsNumberCaptionPanelAndPlace) {
    Window w;
    const std::vector<std::pair<int, std::string>> panels = {
        {2, "Tuesday Hours: "},   {3, " Sunday Hours: "},  {4, "Monday Hours: "},
        {5, "Wednesday Hours: "}, {6, "Thursday Hours: "}, {7, "Friday Hours: "},
        {8, " Saturday Hours: "}};
    for (const auto& [g, caption] : panels) {
        QGroupBox* panel = w.grid.Panel(g);
        EXPECT_EQ(panel->objectName(), QStringLiteral("GroupBox%1").arg(g));
        EXPECT_EQ(panel->title().toStdString(), caption);
        EXPECT_EQ(panel->geometry(), QRect(panel->x(), g == 7 ? 80 : 72, 281, 337));
        for (int k = 0; k < 24; ++k) {
            QCheckBox* box = w.grid.Box(schedule::FirstBoxOfPanel(g) + k);
            EXPECT_EQ(box->parentWidget(), panel);
            EXPECT_EQ(box->objectName(),
                      QStringLiteral("CheckBox%1").arg(schedule::FirstBoxOfPanel(g) + k));
            EXPECT_TRUE(box->isChecked());
        }
    }
    // A few rows of the layout table, read directly.
    auto at = [&](int n) {
        QCheckBox* b = w.grid.Box(n);
        return std::make_tuple(b->text().toStdString(), b->x(), b->y(), b->width(), b->height());
    };
    EXPECT_EQ(at(1), std::make_tuple(std::string("12  AM"), 24, 32, 97, 17));
    EXPECT_EQ(at(6), std::make_tuple(std::string("9  AM"), 24, 248, 97, 17));
    EXPECT_EQ(at(10), std::make_tuple(std::string("5  AM"), 24, 152, 97, 17));
    EXPECT_EQ(at(12), std::make_tuple(std::string("11  AM"), 24, 296, 97, 17));
    EXPECT_EQ(at(13), std::make_tuple(std::string("11  PM"), 144, 296, 97, 17));
    EXPECT_EQ(at(24), std::make_tuple(std::string("12  PM"), 144, 32, 97, 17));
    EXPECT_EQ(at(34), std::make_tuple(std::string("5  AM"), 24, 152, 97, 17));    // Sunday
    EXPECT_EQ(at(168), std::make_tuple(std::string("12  PM"), 144, 32, 97, 17));  // Saturday
    // Tab order follows the numbering, not the hour.
    EXPECT_EQ(w.grid.Box(5)->nextInFocusChain(), w.grid.Box(6));
}

TEST(ScheduleGrid, LoadAppliesExactlyZeroAndOneAndSaveRewritesAll) {
    TempEnv env;
    Window w;
    for (int n = 1; n <= 168; ++n) Set(store::HourFlagName(n), "0");
    Set("CheckBox1Check", "1 ");
    Set("CheckBox2Check", "O");
    Set("CheckBox3Check", "");
    Set("CheckBox4Check", "yes");
    w.grid.WhatCheckBoxChecked();
    EXPECT_EQ(Ticked(w.grid), 4);  // the four odd texts leave their boxes ticked
    w.grid.Box(100)->setChecked(true);
    w.grid.WhatCheckBoxCheckedSaved();
    for (int n = 1; n <= 168; ++n)
        EXPECT_EQ(Get(store::HourFlagName(n)), n <= 4 || n == 100 ? "1" : "0") << n;
}

TEST(ScheduleGrid, EmptyStoreLoadsAllTickedAndOneUntickChangesOneValue) {
    TempEnv env;
    Window w;
    w.grid.WhatCheckBoxChecked();
    EXPECT_EQ(Ticked(w.grid), 168);
    w.grid.WhatCheckBoxCheckedSaved();
    Window again;
    again.grid.WhatCheckBoxChecked();
    again.grid.Box(10)->setChecked(false);
    again.grid.WhatCheckBoxCheckedSaved();
    for (int n = 1; n <= 168; ++n) EXPECT_EQ(Get(store::HourFlagName(n)), n == 10 ? "0" : "1");
}

TEST(ScheduleGrid, WrongTypedFlagEndsTheLoadAfterApplyingTheFlagsBeforeIt) {
    TempEnv env;
    Window w;
    for (int n = 1; n <= 168; ++n) Set(store::HourFlagName(n), "0");
    testing_support::SetDword("CheckBox50Check", 0);
    try {
        w.grid.WhatCheckBoxChecked();
        FAIL() << "no exception";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "Invalid data type for 'CheckBox50Check'");
    }
    for (int n = 1; n <= 168; ++n) EXPECT_EQ(w.grid.Box(n)->isChecked(), n >= 50) << n;
}

TEST(DaySelector, EachChosenDayShowsItsPanelAndKeepsEveryTick) {
    Window w;
    EXPECT_EQ(PanelAtLeft8(w.grid), 3);  // design state: Sunday
    w.grid.Box(30)->setChecked(false);   // a Sunday box
    const int expected[] = {3, 4, 2, 5, 6, 7, 8};
    for (int day = 0; day < 7; ++day) {
        w.combo.setCurrentIndex(day);
        w.days.ComboBox1Change();
        EXPECT_EQ(PanelAtLeft8(w.grid), expected[day])
            << schedule::kDayNames[static_cast<std::size_t>(day)];
        EXPECT_TRUE(w.grid.Panel(expected[day])->isVisibleTo(&w.client));
    }
    w.days.ComboBox1Change();  // the same day again: nothing moves
    EXPECT_EQ(PanelAtLeft8(w.grid), 8);
    EXPECT_EQ(Ticked(w.grid), 167);
}

TEST(DaySelector, TodayIsChosenByItsWeekdayInAnyLocale) {
    // 2026-12-09 12:00 UTC is a Wednesday.
    setenv("TZ", "UTC", 1);
    tzset();
    platform::SetClockForTesting(1796817600);
    for (const char* locale : {"C.UTF-8", "de_DE.UTF-8", "en_US.UTF-8"}) {
        if (!std::setlocale(LC_TIME, locale)) continue;
        Window w;
        w.days.WhatDayToday();
        EXPECT_EQ(w.combo.currentText(), "Wednesday") << locale;
        EXPECT_EQ(PanelAtLeft8(w.grid), 5) << locale;
        if (std::string(locale) == "de_DE.UTF-8") {
            EXPECT_EQ(w.days.TodayName(), "Mittwoch");
        }
    }
    std::setlocale(LC_TIME, "");
    platform::SetClockForTesting(std::nullopt);
}
