// A child's own view in its own account: the words for its day as the service tells it, and the
// window driven as the child would drive it against the real service, as a throwaway member: its
// time left, the week's schedule, a request sent, shown and answered by a parent.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <ctime>
#include <map>
#include <string>

#include "lib/store/HourBoxes.h"
#include "lib/store/ValueNames.h"
#include "panel/child/AskDialog.h"
#include "panel/child/ChildView.h"
#include "panel/child/MyDay.h"
#include "panel/settings/Settings.h"
#include "tests/support/AskAs.h"
#include "tests/support/GuardUser.h"
#include "tests/support/ServiceProcess.h"
#include "tests/support/TempEnv.h"

using child::MyDay;
using control::Fields;
using testing_support::GuardUser;

TEST(MyDay, TheServicesAnswerInTheChildsWords) {
    const auto day = child::ParseMine({"ok", "on", "allowed", "until 20:00", "4320/120"});
    ASSERT_TRUE(day);
    EXPECT_EQ(child::TodayWords(*day), "Today: 1:12 of 2:00 used, 0:48 left.");
    EXPECT_EQ(child::NowWords(*day), "Now: allowed until 20:00.");
    EXPECT_EQ(child::RequestWords(*day), "");
    const auto over = child::ParseMine(
        {"ok", "on", "blocked", "until 08:00", "7300/120", "hour", "19:58", "film ends at 8"});
    ASSERT_TRUE(over);
    EXPECT_EQ(child::TodayWords(*over), "Today: 2:01 of 2:00 used, none left.");
    EXPECT_EQ(child::NowWords(*over), "Now: blocked until 08:00.");
    EXPECT_EQ(child::RequestWords(*over),
              "You asked for time until the end of the hour at 19:58: film ends at 8. Waiting "
              "for an answer.");
    const auto free = child::ParseMine({"ok", "off", "allowed", "", "65/-", "30", "10:00", ""});
    ASSERT_TRUE(free);
    EXPECT_EQ(child::TodayWords(*free), "Today: no limit (0:01 used).");
    EXPECT_EQ(child::NowWords(*free), "Blocking is off: nothing is blocked now.");
    EXPECT_EQ(child::RequestWords(*free),
              "You asked for 30 more minutes at 10:00. Waiting for an answer.");
    // What is no day of the child's is not shown as one.
    for (const Fields& bad :
         {Fields{"error", "Only a member's account may ask."},
          Fields{"ok", "on", "allowed", "", "12"}, Fields{"ok", "on", "maybe", "", "0/-"},
          Fields{"ok", "on", "allowed", "", "x/60"},
          Fields{"ok", "on", "allowed", "", "0/-", "30"}})
        EXPECT_FALSE(child::ParseMine(bad)) << bad.size();
}

TEST(ChildView, ShowsTheChildsOwnTimeAndSendsARequestAParentAnswers) {
    if (!GuardUser::Possible()) GTEST_SKIP() << "needs root to create throwaway users";
    testing_support::TempEnv env;  // the account's own store: the schedule mirrored there
    GuardUser kid;
    testing_support::ServiceProcess service(kid.MemberGroup(), {});
    ASSERT_TRUE(service.started());
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::localtime_r(&now, &tm);
    if (tm.tm_hour == 23 && tm.tm_min >= 55) GTEST_SKIP() << "too near midnight";
    // An hour and a half a day; every hour allows but the one twelve hours from now.
    const int shut = (tm.tm_hour + 12) % 24;
    std::map<std::string, std::string> values{{store::MinutesADayName(tm.tm_wday), "90"}};
    for (int day = 0; day < 7; ++day) values[store::HourFlagName(store::HourBox(day, shut))] = "0";
    ASSERT_TRUE(service.Seal(kid.uid, "1", values, "family pw"));
    ASSERT_TRUE(service.Restart());
    ASSERT_TRUE(service.Reread(kid.name));
    settings::With([&](settings::Values& reg) {
        reg.WriteString(store::kNeedJob, "Yes");
        for (int day = 0; day < 7; ++day)
            for (int hour = 0; hour < 24; ++hour)
                reg.WriteString(store::HourFlagName(store::HourBox(day, hour)),
                                hour == shut ? "0" : "1");
    });

    child::ChildView view(
        [&](const Fields& request) { return testing_support::AskAs(kid.uid, kid.gid, request); });
    view.show();
    EXPECT_EQ(view.today->text().toStdString(), "Today: 0:00 of 1:30 used, 1:30 left.");
    EXPECT_TRUE(view.now->text().startsWith(QStringLiteral("Now: allowed")))
        << view.now->text().toStdString();
    EXPECT_FALSE(view.request->isVisible());
    ASSERT_TRUE(view.ask->isEnabled());

    // Asked like a person: the button, the choice, the words, "Ask".
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<child::AskDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->minutes->setCurrentIndex(2);
        QTest::keyClicks(dialog->reason, QStringLiteral("maths homework"));
        QTest::mouseClick(dialog->ok, Qt::LeftButton);
    });
    QTest::mouseClick(view.ask, Qt::LeftButton);
    EXPECT_NE(service.LogText().find("[" + kid.name + "] asks for 60 more minutes: maths homework"),
              std::string::npos)
        << service.LogText();
    EXPECT_TRUE(view.request->isVisible());
    EXPECT_TRUE(
        view.request->text().startsWith(QStringLiteral("You asked for 60 more minutes at ")))
        << view.request->text().toStdString();
    EXPECT_FALSE(view.ask->isEnabled());  // one request at a time
    view.grab().save(QStringLiteral("/tmp/child-view.png"));

    // A parent grants it from the parent's account: the view shows the longer day.
    const control::Reply granted =
        control::Ask({"for", kid.name, "grant", "family pw", "60", "done by 8"}, 10000);
    ASSERT_TRUE(granted.ok()) << granted.Text();
    view.Refresh();
    EXPECT_EQ(view.today->text().toStdString(), "Today: 0:00 of 2:30 used, 2:30 left.");
    EXPECT_FALSE(view.request->isVisible());
    EXPECT_TRUE(view.ask->isEnabled());
}
