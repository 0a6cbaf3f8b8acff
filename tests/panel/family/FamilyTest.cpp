// Veltrix in a parent's account: the family list's states, and the panel's windows on a child's
// sealed settings through the real service, with two throwaway member accounts (root only: the
// test process is the parent, as root counts as one).
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <chrono>
#include <thread>

#include "lib/control/Client.h"
#include "lib/platform/widgets/MessageBox.h"
#include "lib/store/HourBoxes.h"
#include "lib/store/ValueNames.h"
#include "panel/app/Program.h"
#include "panel/app/Road.h"
#include "panel/family/FamilyState.h"
#include "panel/lock/EnterPasswordDialog.h"
#include "panel/lock/FirstPasswordDialog.h"
#include "panel/schedule/ScheduleGrid.h"
#include "panel/schedule/TimeADayDialog.h"
#include "panel/schedule/TodayDialogs.h"
#include "panel/schedule/UseWindow.h"
#include "panel/settings/OwnStore.h"
#include "tests/support/AskAs.h"
#include "tests/support/GuardUser.h"
#include "tests/support/Gui.h"
#include "tests/support/ServiceProcess.h"
#include "tests/support/TempEnv.h"
#include "veltrixd/AccountStore.h"

using testing_support::GuardUser;
using testing_support::WhenModal;

namespace {

TEST(FamilyState, EachStateInTheListsWords) {
    auto s = family::ParseState("kid", {"ok", "unsealed", "off", "allowed", "", "0", "0/-"});
    ASSERT_TRUE(s);
    EXPECT_EQ(s->PasswordText(), "no password yet");
    EXPECT_EQ(s->BlockingText(), "off");
    EXPECT_EQ(s->NowText(), "allowed");
    EXPECT_EQ(s->LastAlert(), "");
    const std::string newest = "2026-12-09 14:05:00 3 wrong passwords";
    EXPECT_EQ(s->TodayText(), "no limit: 0:00");
    s = family::ParseState("kid", {"ok", "sealed", "on", "blocked", "until 17:00", "12", "4335/120",
                                   "2026-12-09 14:00:01 Stopped firefox", newest});
    ASSERT_TRUE(s);
    EXPECT_EQ(s->PasswordText(), "set up");
    EXPECT_EQ(s->NowText(), "blocked until 17:00");
    EXPECT_EQ(s->stoppedToday, 12);
    EXPECT_EQ(s->TodayText(), "1:12 of 2:00");
    EXPECT_EQ(s->LastAlert(), newest);
    EXPECT_EQ(s->LastAlert("2026-12-09"), "14:05:00 3 wrong passwords");  // today's, no date
    EXPECT_EQ(s->LastAlert("2026-12-10"), newest);
    EXPECT_EQ(family::ParseState(
                  "kid", {"ok", "sealed", "on", "allowed", "until Monday 08:00", "0", "0/-"})
                  ->NowText(),
              "allowed until Monday 08:00");
    // Whatever else a reply holds is no state.
    for (const control::Fields& bad :
         {control::Fields{"error", "no"}, control::Fields{"ok", "sealed", "on", "blocked", ""},
          control::Fields{"ok", "maybe", "on", "blocked", "", "0", "0/-"},
          control::Fields{"ok", "sealed", "on", "blocked", "", "-1", "0/-"},
          control::Fields{"ok", "sealed", "on", "blocked", "", "1", "0"},
          control::Fields{"ok", "sealed", "on", "blocked", "", "1", "-5/60"},
          control::Fields{"ok", "sealed", "yes", "blocked", "", "1", "0/-"}})
        EXPECT_FALSE(family::ParseState("kid", bad)) << bad[1];
}

TEST(FamilyState, TheWholeFamilyInOneReply) {
    auto line = [](const control::Fields& f) {
        std::string text = control::Encode(f);
        text.pop_back();
        return text;
    };
    const auto members = family::ParseFamily(
        {"ok",
         line({"kid", "sealed", "on", "blocked", "until 17:00", "3", "60/90", "a\ttab", "newest"}),
         line({"sister", "unsealed", "off", "allowed", "", "0", "0/-"})});
    ASSERT_TRUE(members);
    ASSERT_EQ(members->size(), 2u);
    EXPECT_EQ((*members)[0].account, "kid");
    EXPECT_EQ((*members)[0].stoppedToday, 3);
    EXPECT_EQ((*members)[0].alerts, (std::vector<std::string>{"a\ttab", "newest"}));
    EXPECT_EQ((*members)[1].NowText(), "allowed");
    EXPECT_TRUE(family::ParseFamily({"ok"})->empty());
    for (const control::Fields& bad :
         {control::Fields{"error", "no"}, control::Fields{"ok", "kid"},
          control::Fields{"ok", line({"kid", "sealed", "on", "blocked", "", "x"})}})
        EXPECT_FALSE(family::ParseFamily(bad));
}

TEST(FamilyState, TheMarkerOfAPasswordTheServiceHoldsUnlocksNothing) {
    EXPECT_FALSE(settings::MatchesStored(store::kPasswordWithService, store::kPasswordWithService));
    EXPECT_FALSE(settings::MatchesStored("", store::kPasswordWithService));
    EXPECT_TRUE(settings::MatchesStored("old", "old"));
}

class ParentsAccount : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!GuardUser::Possible()) GTEST_SKIP() << "needs root to create throwaway users";
        env = std::make_unique<testing_support::TempEnv>();  // the parent's own store
        kid = std::make_unique<GuardUser>();
        sister = std::make_unique<GuardUser>();
        const std::string group = kid->MemberGroup();
        testing_support::Run("usermod -aG " + group + " " + sister->name);
        service = std::make_unique<testing_support::ServiceProcess>(
            group, std::vector<std::string>{"--no-events", "--user-store", "store"});
        ASSERT_TRUE(service->started());
        ASSERT_EQ(control::Ask({"status"}).fields.at(1), "parent");
    }
    void TearDown() override {
        service.reset();
        sister.reset();
        kid.reset();
        env.reset();
    }

    // What the child's own store holds, read as the child.
    std::map<std::string, std::string> ChildStore(const GuardUser& child) {
        return veltrixd::ReadAccountStore(
                   child.uid, "store", {store::kNeedJob, store::kPassword, store::HourFlagName(7)})
            .values;
    }
    bool WaitForChildStore(const GuardUser& child, const std::string& name,
                           const std::string& value) {
        for (int i = 0; i < 200; ++i) {
            if (ChildStore(child)[name] == value) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    std::unique_ptr<testing_support::TempEnv> env;
    std::unique_ptr<GuardUser> kid, sister;
    std::unique_ptr<testing_support::ServiceProcess> service;
};

// Asks the family anew and waits until the list shows the answer.
void Refreshed(family::TFamilyForm& list) {
    ASSERT_TRUE(QTest::qWaitFor([&] { return !list.Asking(); }, 10000));
    const int before = list.Answers();
    list.Refresh();
    ASSERT_TRUE(QTest::qWaitFor([&] { return list.Answers() > before; }, 10000));
}

// Clicks a button of the list once the list has laid it out and shown it: a row the list has
// just built has no size until then, and a click there hits nothing, for a person as for a test.
void ClickShown(QPushButton* button) {
    const QPointer<QPushButton> shown(button);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return shown && shown->isVisible() && !shown->visibleRegion().isEmpty(); }, 10000));
    QTest::mouseClick(shown, Qt::LeftButton);
}

// Opens `name` from the family list; the first-password dialog, when it comes, gets `first`.
// A password dialog that waits for the parent fails the test and is closed.
void OpenChild(app::Windows& w, app::FamilyRoad& road, const std::string& name,
               const std::string& first = {}) {
    Refreshed(road.Form());
    for (const family::MemberState& m : road.Form().Members()) {
        if (m.account != name) continue;
        if (!first.empty())
            WhenModal(w.form2.get(), [&] {
                QTest::keyClicks(w.form2->Edit1, QString::fromStdString(first));
                QTest::keyClicks(w.form2->Edit2, QString::fromStdString(first));
                QTest::keyClick(w.form2->Edit2, Qt::Key_Return);
            });
        QTimer::singleShot(15000, w.form4.get(), [&w] {
            if (!w.form4->Showing()) return;
            ADD_FAILURE() << "the password was asked for again";
            w.form4->SpeedButton2Click();
        });
        road.Open(m);
        return;
    }
    ADD_FAILURE() << name << " is not in the family list";
}

TEST_F(ParentsAccount, SetsUpTwoChildrenWithOnePasswordAndEachChildsStoreShowsIt) {
    platform::MessageRecorder messages;
    app::Windows w;
    app::FamilyRoad road(w);
    platform::Application::SetMainForm(&road.Form());
    road.Form().Show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return road.Form().Answers() > 0; }, 10000));
    ASSERT_EQ(road.Form().Members().size(), 2u);
    for (const family::MemberState& m : road.Form().Members()) {
        EXPECT_EQ(m.PasswordText(), "no password yet") << m.account;
        EXPECT_EQ(m.BlockingText(), "off");
    }

    // The first child: a first password, unlocked by it at once; an hour unticked, blocking on.
    OpenChild(w, road, kid->name, "family pw");
    ASSERT_TRUE(w.form1->Showing());
    EXPECT_NE(w.form1->Left(), platform::kOffScreen);
    EXPECT_EQ(w.form1->windowTitle().toStdString(), "Veltrix (for kids): " + kid->name);
    // The password dialogs said whose settings, and that the first password is being chosen.
    EXPECT_EQ(w.form2->GroupBox1->title().toStdString(),
              "Choose a password for " + kid->name + "'s settings: ");
    EXPECT_EQ(w.form4->GroupBox1->title().toStdString(), " Password for " + kid->name + ": ");
    // The network's option, shown from a parent's account (on until the parent keeps it).
    EXPECT_TRUE(w.form1->Internetoff1->isVisible());
    EXPECT_TRUE(w.form1->Internetoff1->isChecked());
    w.form1->Internetoff1->trigger();
    // Time a day: an hour and a half every day, as a parent clicks it.
    ASSERT_TRUE(w.form1->Timeaday1->isVisible());
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<schedule::TimeADayDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        QTest::mouseClick(dialog->rows[1].limit, Qt::LeftButton, {}, QPoint(4, 4));
        dialog->rows[1].hours->setValue(1);
        dialog->rows[1].minutes->setValue(30);
        QTest::mouseClick(dialog->sameEveryDay, Qt::LeftButton);
        QTest::mouseClick(dialog->ok, Qt::LeftButton);
    });
    w.form1->Timeaday1->trigger();
    // Use: what the service counted today, against the allowance just given (nothing yet).
    ASSERT_TRUE(w.form1->Use1->isVisible());
    QString today;
    QTimer::singleShot(0, [&today] {
        auto* window = qobject_cast<schedule::UseWindow*>(QApplication::activeModalWidget());
        ASSERT_NE(window, nullptr);
        today = window->today->text();
        window->reject();
    });
    w.form1->Use1->trigger();
    EXPECT_EQ(today, QStringLiteral("Today: 0:00 of 1:30"));
    w.form1->Grid().Box(7)->setChecked(false);
    w.form1->SpeedButton4Click();
    w.form1->Close();
    EXPECT_FALSE(w.form1->Showing());
    const control::Reply sealed = control::Ask({"for", kid->name, "read", "family pw"});
    ASSERT_TRUE(sealed.ok()) << sealed.Text();
    EXPECT_NE(std::find(sealed.fields.begin(), sealed.fields.end(), "NeedJobOrNot=Yes"),
              sealed.fields.end());
    EXPECT_NE(std::find(sealed.fields.begin(), sealed.fields.end(), "MinutesADay3=90"),
              sealed.fields.end());
    EXPECT_NE(std::find(sealed.fields.begin(), sealed.fields.end(), "CheckBox7Check=0"),
              sealed.fields.end());
    EXPECT_NE(std::find(sealed.fields.begin(), sealed.fields.end(), "InternetOffOrNot=No"),
              sealed.fields.end());
    // Written into the child's own store as the child, with no hash of the password there.
    EXPECT_TRUE(WaitForChildStore(*kid, store::kNeedJob, "Yes"));
    EXPECT_EQ(ChildStore(*kid)[store::HourFlagName(7)], "0");
    EXPECT_EQ(ChildStore(*kid)[store::kPassword], store::kPasswordWithService);
    Refreshed(road.Form());
    for (const family::MemberState& m : road.Form().Members()) {
        EXPECT_EQ(m.PasswordText(), m.account == kid->name ? "set up" : "no password yet");
        EXPECT_EQ(m.TodayText(), m.account == kid->name ? "0:00 of 1:30" : "no limit: 0:00");
    }
    road.Form().grab().save(QStringLiteral("/tmp/family-list.png"));

    // The second child gets the same password; the first opens again without asking for it.
    OpenChild(w, road, sister->name, "family pw");
    ASSERT_TRUE(w.form1->Showing()) << testing::PrintToString(messages.texts);
    EXPECT_TRUE(w.form1->Grid().Box(7)->isChecked());  // the sister's own hours
    OpenChild(w, road, kid->name);                     // closes the sister's window first
    ASSERT_TRUE(w.form1->Showing());
    EXPECT_FALSE(w.form1->Grid().Box(7)->isChecked());

    // A new password for the first child alone.
    WhenModal(w.form3.get(), [&] {
        QTest::keyClicks(w.form3->Edit1, "kid's pw");
        QTest::keyClicks(w.form3->Edit2, "kid's pw");
        QTest::keyClick(w.form3->Edit2, Qt::Key_Return);
    });
    w.form1->Changepassword1Click();
    EXPECT_TRUE(w.form3->Edit1->text().isEmpty());  // the password left the fields
    EXPECT_TRUE(control::Ask({"for", kid->name, "verify", "kid's pw"}).ok());
    EXPECT_TRUE(control::Ask({"for", sister->name, "verify", "family pw"}).ok());
    road.Form().Close();  // the child's window closes first, then the program would end
    EXPECT_FALSE(w.form1->Showing());
    platform::Application::SetMainForm(nullptr);

    const std::string log = service->LogText();
    EXPECT_NE(log.find("[" + kid->name + "] The first password was set, from the account of root"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("[" + kid->name + "] The password was changed"), std::string::npos);
    EXPECT_EQ(log.find("wrong password"), std::string::npos) << log;  // the quiet tries
    EXPECT_EQ(std::count(messages.texts.begin(), messages.texts.end(),
                         "Please do not forget the password!"),
              3);
}

}  // namespace

// Today's answers from the child's window, as a parent clicks them: they reach the service at
// once (its log says so), with the parent's words.
TEST_F(ParentsAccount, GivesMoreTimeAndBlocksNowFromTheChildsWindow) {
    platform::MessageRecorder messages;
    app::Windows w;
    app::FamilyRoad road(w);
    platform::Application::SetMainForm(&road.Form());
    road.Form().Show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return road.Form().Answers() > 0; }, 10000));
    OpenChild(w, road, kid->name, "family pw");
    ASSERT_TRUE(w.form1->Showing());
    ASSERT_TRUE(w.form1->Moretime1->isVisible());
    ASSERT_TRUE(w.form1->Blocknow1->isVisible());
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<schedule::MoreTimeDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->minutes->setValue(45);
        QTest::keyClicks(dialog->words, QStringLiteral("homework done"));
        dialog->grab().save(QStringLiteral("/tmp/more-time.png"));
        QTest::mouseClick(dialog->ok, Qt::LeftButton);
    });
    w.form1->Moretime1->trigger();
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<schedule::BlockNowDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        QTest::mouseClick(dialog->second, Qt::LeftButton, {}, QPoint(4, 4));
        QTest::keyClicks(dialog->words, QStringLiteral("dinner"));
        QTest::mouseClick(dialog->ok, Qt::LeftButton);
    });
    w.form1->Blocknow1->trigger();
    const std::string log = service->LogText();
    const std::string at = "[" + kid->name + "] root ";
    EXPECT_NE(log.find(at + "gave 45 more minutes: homework done"), std::string::npos) << log;
    EXPECT_NE(log.find(at + "blocked everything until midnight: dinner"), std::string::npos) << log;
    w.form1->Close();
}

// A child's request shows under the child's line with Grant and Refuse; Grant opens "More time
// today" on what was asked, Refuse answers at once; each reaches the service and the line goes.
TEST_F(ParentsAccount, AnswersAChildsRequestFromTheFamilyList) {
    testing_support::Run("usermod -c 'Alex Smith,,,' " + kid->name);
    platform::MessageRecorder messages;
    app::Windows w;
    app::FamilyRoad road(w);
    platform::Application::SetMainForm(&road.Form());
    road.Form().Show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return road.Form().Answers() > 0; }, 10000));
    OpenChild(w, road, kid->name, "family pw");  // its first password
    ASSERT_TRUE(w.form1->Showing());
    w.form1->Close();
    messages.texts.clear();  // the first password's
    const auto ask = [&](const control::Fields& request) {
        const control::Reply r = testing_support::AskAs(kid->uid, kid->gid, request);
        ASSERT_TRUE(r.ok()) << r.Text();
    };
    ask({"ask", "30", "maths homework"});
    // A guess from the child's own account reaches the list at once, and the list shows it whole.
    EXPECT_FALSE(testing_support::AskAs(kid->uid, kid->gid, {"verify", "a guess"}).ok());
    Refreshed(road.Form());
    QTreeWidgetItem* kidLine = nullptr;
    for (int i = 0; i < road.Form().List->topLevelItemCount(); ++i)
        if (road.Form().List->topLevelItem(i)->text(0).startsWith(
                QString::fromStdString(kid->name)))
            kidLine = road.Form().List->topLevelItem(i);
    ASSERT_NE(kidLine, nullptr);
    const QString guessed = QString::fromStdString("1 wrong password for " + kid->name +
                                                   " from the account of " + kid->name + " so far");
    EXPECT_TRUE(kidLine->text(6).endsWith(guessed)) << kidLine->text(6).toStdString();
    const QFontMetrics metrics(road.Form().List->font());
    ASSERT_GT(metrics.horizontalAdvance(kidLine->text(6)), road.Form().List->columnWidth(6));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return road.Form().List->visualItemRect(kidLine).height() >= 2 * metrics.height(); },
        5000))
        << road.Form().List->visualItemRect(kidLine).height();
    // The child by its full name too.
    QStringList shown;
    for (int i = 0; i < road.Form().List->topLevelItemCount(); ++i)
        shown << road.Form().List->topLevelItem(i)->text(0);
    EXPECT_TRUE(shown.contains(QString::fromStdString(kid->name + " (Alex Smith)")))
        << shown.join(QStringLiteral(", ")).toStdString();
    EXPECT_TRUE(shown.contains(QString::fromStdString(sister->name)));
    QPushButton* grant = road.Form().AnswerButton(kid->name, true);
    ASSERT_NE(grant, nullptr);
    EXPECT_EQ(road.Form().AnswerButton(sister->name, true), nullptr);
    road.Form().grab().save(QStringLiteral("/tmp/family-request.png"));
    // "More time today" once it shows (after the child's window has opened).
    const auto granted =
        testing_support::WhenDialog<schedule::MoreTimeDialog>([](schedule::MoreTimeDialog& d) {
            EXPECT_EQ(d.minutes->value(), 30);
            QTest::mouseClick(d.ok, Qt::LeftButton);
        });
    ClickShown(grant);
    EXPECT_TRUE(QTest::qWaitFor([&] { return *granted; }, 20000));
    const std::string at = "[" + kid->name + "] root ";
    const auto logged = [&](const std::string& line) {
        return QTest::qWaitFor(
            [&] { return service->LogText().find(at + line) != std::string::npos; }, 10000);
    };
    EXPECT_TRUE(logged("gave 30 more minutes")) << service->LogText();
    Refreshed(road.Form());
    EXPECT_EQ(road.Form().AnswerButton(kid->name, true), nullptr);

    ask({"ask", "hour", "film"});
    Refreshed(road.Form());
    QPushButton* refuse = road.Form().AnswerButton(kid->name, false);
    ASSERT_NE(refuse, nullptr);
    // Refused with a few words, typed in the dialog that shows the request.
    const auto refused =
        testing_support::WhenDialog<schedule::RefuseDialog>([](schedule::RefuseDialog& d) {
            auto* request = d.findChild<QLabel*>(QStringLiteral("Request"));
            EXPECT_TRUE(request && request->text().endsWith(QStringLiteral(": film")));
            QTest::keyClicks(d.words, QStringLiteral("not tonight"));
            QTest::mouseClick(d.ok, Qt::LeftButton);
        });
    ClickShown(refuse);
    EXPECT_TRUE(QTest::qWaitFor([&] { return *refused; }, 20000));
    EXPECT_TRUE(logged("refused more time: not tonight")) << service->LogText();
    Refreshed(road.Form());
    EXPECT_EQ(road.Form().AnswerButton(kid->name, false), nullptr);
    EXPECT_TRUE(messages.texts.empty()) << messages.texts.front();
    w.form1->Close();
}

// "Run when Windows starts" from a parent's account is the one machine-wide entry: each child's
// window reads it back and says it is every account's, a change is written once, and a close
// without a change writes nothing (it never turns the entry on again behind the parent's back).
TEST_F(ParentsAccount, TheAutostartBoxShowsTheMachineWideEntryItIs) {
    platform::MessageRecorder messages;
    app::Windows w;
    app::FamilyRoad road(w);
    platform::Application::SetMainForm(&road.Form());
    road.Form().Show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return road.Form().Answers() > 0; }, 10000));
    auto entry = [&](const std::string& child) {
        const control::Reply r = control::Ask({"for", child, "autostart", "family pw"});
        return r.ok() && r.fields.size() == 2 ? r.fields[1] : "(" + r.Text() + ")";
    };

    OpenChild(w, road, kid->name, "family pw");
    ASSERT_TRUE(w.form1->Showing());
    EXPECT_EQ(w.form1->CheckBox169->text().toStdString(), "Run at login (every account)");
    EXPECT_FALSE(w.form1->CheckBox169->isChecked());  // no entry yet
    w.form1->CheckBox169->setChecked(true);
    w.form1->Close();
    EXPECT_EQ(entry(kid->name), "on");

    OpenChild(w, road, sister->name, "family pw");
    ASSERT_TRUE(w.form1->Showing());
    EXPECT_TRUE(w.form1->CheckBox169->isChecked());  // the same entry, read back
    w.form1->CheckBox169->setChecked(false);
    w.form1->Close();
    EXPECT_EQ(entry(kid->name), "off");

    OpenChild(w, road, kid->name);
    ASSERT_TRUE(w.form1->Showing());
    EXPECT_FALSE(w.form1->CheckBox169->isChecked());
    w.form1->Close();  // unchanged: nothing written
    EXPECT_EQ(entry(kid->name), "off");
    road.Form().Close();
    platform::Application::SetMainForm(nullptr);
}
