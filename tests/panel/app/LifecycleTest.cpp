// The whole start-up and shutdown of the panel with every window, driven as a parent would:
// first start, later starts, Cancel, the close box, saved positions, faults in the store, the end
// of the session, and the error log.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <algorithm>
#include <clocale>
#include <csignal>
#include <filesystem>

#include "lib/password/PasswordHash.h"
#include "lib/platform/core/Locale.h"
#include "lib/platform/registry/Registry.h"
#include "lib/platform/widgets/MessageBox.h"
#include "lib/store/ValueNames.h"
#include "panel/app/ErrorLog.h"
#include "panel/app/Program.h"
#include "panel/app/SessionEnd.h"
#include "panel/schedule/ScheduleGrid.h"
#include "tests/support/Gui.h"
#include "tests/support/TempEnv.h"

using testing_support::Get;
using testing_support::Set;
using testing_support::TempEnv;
using testing_support::WhenModal;

namespace {

class Lifecycle : public ::testing::Test {
  protected:
    TempEnv env;
    platform::MessageRecorder messages;
    std::unique_ptr<app::Windows> w;

    void SetUp() override { testing_support::ResetTerminateRequests(); }
    void TearDown() override {
        w.reset();
        EXPECT_EQ(testing_support::VisibleTopLevels(), 0) << "a window was left open";
    }
    void Start() {
        w = std::make_unique<app::Windows>();
        app::InitialiseApplication(*w);
    }
    // Shows the main window (the start-up sequence) with `atLock` run inside the lock dialog.
    void Run(std::function<void()> atLock) {
        WhenModal(w->form4.get(), [this, atLock] {
            lockedLeft = w->form1->Left();
            lockedVisible = w->form1->isVisible();
            atLock();
        });
        w->form1->Show();
    }
    void Unlock(const std::string& password) {
        QTest::keyClicks(w->form4->Edit1, QString::fromStdString(password));
        QTest::keyClick(w->form4->Edit1, Qt::Key_Return);
    }
    // Sets *asked and closes the first-password dialog, should it come.
    void NoteFirstPassword(bool* asked) {
        WhenModal(
            w->form2.get(),
            [this, asked] {
                *asked = true;
                w->form2->Close();
            },
            20000);
    }
    std::string ErrorLog() { return env.ReadFile(env.currentDir + "/Error.log"); }
    int lockedLeft = 0;
    bool lockedVisible = true;
};

int StoredOnes() {
    int n = 0;
    for (int b = 1; b <= 168; ++b) n += Get(store::HourFlagName(b)) == "1";
    return n;
}

}  // namespace

TEST_F(Lifecycle, FirstStartAsksForANewPasswordThenForThePassword) {
    Set("parametr1", "0");
    Start();
    bool firstAsked = false;
    WhenModal(w->form2.get(), [&] {
        firstAsked = true;
        QTest::keyClicks(w->form2->Edit1, "kid-proof");
        QTest::keyClicks(w->form2->Edit2, "kid-proof");
        QTest::keyClick(w->form2->Edit2, Qt::Key_Return);
    });
    Run([&] { Unlock("kid-proof"); });
    EXPECT_TRUE(firstAsked);
    EXPECT_EQ(lockedLeft, -1000);
    EXPECT_FALSE(lockedVisible) << "the main window was reachable before the password";
    EXPECT_TRUE(w->form1->isVisible());
    EXPECT_EQ(w->form1->Left(), 715);
    EXPECT_EQ(w->form1->Top(), 149);
    EXPECT_EQ(Get("parametr1"), "1");
    EXPECT_TRUE(password::Verify("kid-proof", Get("EnterPassword")));
    EXPECT_EQ(Get("VeltrixDir"), env.programDir);
    EXPECT_EQ(messages.texts, std::vector<std::string>{"Please do not forget the password!"});

    QTest::mouseClick(w->form1->SpeedButton1, Qt::LeftButton);  // "Close"
    EXPECT_FALSE(w->form1->isVisible());
    EXPECT_EQ(testing_support::TerminateRequests(), 1);
    EXPECT_EQ(StoredOnes(), 168);
    EXPECT_EQ(Get("form1lefta"), "715");
    EXPECT_EQ(Get("form1topa"), "149");
    // The only thing logged: the guard has written no Block.log yet.
    const std::string log = ErrorLog();
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
    EXPECT_NE(log.find("\tFile not found\r\n"), std::string::npos) << log;
}

TEST_F(Lifecycle, LaterStartOnlyAsksForThePasswordAndCountsTheStart) {
    Set("parametr1", "41");
    Set("EnterPassword", "pw");
    Set("form1lefta", "-8");
    Set("form1topa", "20");
    Start();
    WhenModal(
        w->form2.get(),
        [&] {
            ADD_FAILURE() << "first-password dialog on a later start";
            w->form2->Close();
        },
        20000);
    Run([&] {
        Unlock("PW");
        EXPECT_TRUE(w->form4->Showing());
        w->form4->Edit1->clear();
        Unlock("pw");
    });
    EXPECT_EQ(Get("parametr1"), "42");
    EXPECT_EQ(w->form1->Left(), -8);  // a negative left edge is a real position
    EXPECT_EQ(w->form1->Top(), 20);
    w->form1->MoveTo(30, 40);  // the parent moves the window
    w->form1->close();         // and closes it with the close box
    EXPECT_EQ(Get("form1lefta"), "30");
    EXPECT_EQ(Get("form1topa"), "40");
    EXPECT_EQ(w->form2->Showing(), false);
    w->form2->Close();
}

// A saved position of another type used to keep the dialog up at every start, whatever was
// typed. Now it is logged and the window opens at the design position.
TEST_F(Lifecycle, APositionOfAnotherTypeStillUnlocksAtTheDesignPosition) {
    for (const char* name : {"form1lefta", "form1topa"}) {
        for (bool binary : {false, true}) {
            SCOPED_TRACE(std::string(name) + (binary ? " binary" : " number"));
            std::filesystem::remove(env.currentDir + "/Error.log");
            Set("parametr1", "3");
            Set("EnterPassword", "pw");
            Set("form1lefta", "30");
            Set("form1topa", "40");
            if (binary) {
                auto key = platform::RegKey::Open(platform::Root::CurrentUser, store::kSettingsKey);
                key->Set(name, platform::RegType::Binary, std::string("\x01\x02", 2));
            } else {
                testing_support::SetDword(name, 30);
            }
            Start();
            Run([&] { Unlock("pw"); });
            EXPECT_FALSE(w->form4->Showing());
            EXPECT_TRUE(w->form1->isVisible());
            EXPECT_EQ(w->form1->Left(), 715);
            EXPECT_EQ(w->form1->Top(), 149);
            EXPECT_NE(ErrorLog().find(std::string("Invalid data type for '") + name + "'"),
                      std::string::npos)
                << ErrorLog();
            w->form1->close();
            EXPECT_EQ(Get("form1lefta"), "715");  // the close writes a good position again
            w.reset();
        }
    }
}

TEST_F(Lifecycle, CancelAtThePasswordSavesEverythingButThePosition) {
    Set("parametr1", "3");
    Set("EnterPassword", "pw");
    Set("form1lefta", "11");
    Set("form1topa", "12");
    Set("CheckBox7Check", "0");
    Start();
    Run([&] { QTest::mouseClick(w->form4->SpeedButton2, Qt::LeftButton); });
    EXPECT_FALSE(w->form1->isVisible());
    EXPECT_FALSE(w->form1->Showing());
    EXPECT_EQ(testing_support::TerminateRequests(), 1);
    EXPECT_EQ(Get("parametr1"), "4");
    EXPECT_EQ(Get("form1lefta"), "11");
    EXPECT_EQ(Get("CheckBox7Check"), "0");
    EXPECT_EQ(StoredOnes(), 167);
    platform::RegValue v;
    auto run = platform::RegKey::Open(platform::Root::LocalMachine, store::kRunKey);
    ASSERT_EQ(run->Query("Sentrel", v), platform::QueryResult::Ok);
    EXPECT_EQ(v.data, platform::SzBytes(env.programDir + "Sentrel.exe"));
}

TEST_F(Lifecycle, CloseBoxOfThePasswordDialogActsAsCancel) {
    Set("parametr1", "1");
    Start();
    Run([&] { w->form4->close(); });
    EXPECT_FALSE(w->form1->Showing());
    EXPECT_EQ(testing_support::TerminateRequests(), 1);
    EXPECT_EQ(StoredOnes(), 168);
}

TEST_F(Lifecycle, FaultsInTheStoreAreLoggedAndTheLockStillComesUp) {
    // A wrong-typed hour flag and a missing launch counter.
    testing_support::SetDword("CheckBox5Check", 1);
    Set("CheckBox2Check", "0");
    Set("EnterPassword", "pw");
    Start();
    bool firstAsked = false;
    NoteFirstPassword(&firstAsked);
    Run([&] { Unlock("pw"); });
    EXPECT_FALSE(firstAsked);
    EXPECT_EQ(lockedLeft, -1000);
    EXPECT_FALSE(lockedVisible);
    EXPECT_TRUE(w->form1->isVisible());
    EXPECT_FALSE(w->form1->Grid().Box(2)->isChecked());  // read before the failure: applied
    EXPECT_EQ(Get("parametr1"), "1");
    EXPECT_EQ(Get("VeltrixDir"), env.programDir);
    const std::string log = ErrorLog();
    EXPECT_NE(log.find("\tInvalid data type for 'CheckBox5Check'\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("\t'' is not a valid integer value\r\n"), std::string::npos) << log;
    w->form1->Close();
    w->form2->Close();
}

TEST_F(Lifecycle, MalformedCounterCountsAsZeroWithoutTheFirstPasswordDialog) {
    Set("parametr1", "ten");
    Start();
    bool firstAsked = false;
    NoteFirstPassword(&firstAsked);
    Run([&] { Unlock(""); });  // no password stored: the empty entry unlocks
    EXPECT_FALSE(firstAsked);
    EXPECT_TRUE(w->form1->isVisible());
    EXPECT_EQ(Get("parametr1"), "1");
    EXPECT_NE(ErrorLog().find("\t'ten' is not a valid integer value\r\n"), std::string::npos);
    w->form1->Close();
    w->form2->Close();
}

TEST_F(Lifecycle, UnreadableStoreKeepsTheWindowLocked) {
    std::filesystem::create_directories(env.userStore + "/user.db");
    Start();
    WhenModal(
        w->form2.get(), [&] { w->form2->Close(); }, 20000);
    Run([&] {
        Unlock("");
        EXPECT_TRUE(w->form4->Showing());
        QTest::mouseClick(w->form4->SpeedButton2, Qt::LeftButton);
    });
    EXPECT_FALSE(w->form1->Showing());
    EXPECT_EQ(messages.texts, std::vector<std::string>{"You were mistaken, try again."});
    EXPECT_NE(ErrorLog().find("the password is unknown"), std::string::npos);
    w->form2->Close();
}

TEST_F(Lifecycle, TheEndOfTheSessionSavesTheEdits) {
    Set("parametr1", "1");
    Start();
    app::CloseOnSessionEnd(w->form1.get());
    Run([&] { Unlock(""); });
    w->form1->Grid().Box(10)->setChecked(false);
    std::raise(SIGTERM);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !w->form1->Showing(); }, 10000));
    EXPECT_EQ(Get("CheckBox10Check"), "0");
    EXPECT_EQ(StoredOnes(), 167);
    EXPECT_EQ(Get("form1lefta"), "715");
}

TEST_F(Lifecycle, MenuOpensEachDialogOnceAndTheShortcutsWork) {
    Set("parametr1", "1");
    Start();
    Run([&] { Unlock(""); });
    ASSERT_TRUE(QTest::qWaitForWindowActive(w->form1.get()));
    QTest::keyClick(w->form1.get(), Qt::Key_B, Qt::ControlModifier);
    EXPECT_TRUE(w->form6->Showing());
    w->form1->Editblocked1->trigger();  // again: the same window comes up, no second copy
    EXPECT_TRUE(w->form6->Showing());
    w->form6->Close();
    w->form1->S1->trigger();
    EXPECT_TRUE(w->form7->Showing());
    w->form1->Checkupofupdating1->trigger();
    EXPECT_TRUE(w->form8->Showing());
    bool changeAsked = false;
    WhenModal(w->form3.get(), [&] {
        changeAsked = true;
        w->form3->Close();
    });
    w->form1->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w->form1.get()));
    QTest::keyClick(w->form1.get(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(changeAsked);
    WhenModal(w->form9.get(), [&] { w->form9->Close(); });
    w->form1->About1->trigger();
    w->form7->Close();
    w->form8->Close();
    w->form1->Exit1->trigger();
    EXPECT_FALSE(w->form1->Showing());
}

TEST(ErrorLog, OneLinePerExceptionInTheLocalesTimeFormat) {
    TempEnv env;
    setenv("TZ", "UTC", 1);
    tzset();
    platform::SetClockForTesting(1796817600 + 3 * 3600 + 4 * 60 + 5);  // 15:04:05
    struct Case {
        const char* locale;
        const char* time;
    };
    int lines = 0;
    std::string expected;
    for (const Case& c : {Case{"C.UTF-8", "15:04:05"}, Case{"de_DE.UTF-8", "15:04:05"},
                          Case{"en_US.UTF-8", "03:04:05 PM"}}) {
        if (!std::setlocale(LC_TIME, c.locale)) {
            ADD_FAILURE() << "locale " << c.locale << " is not installed";
            continue;
        }
        app::AppendErrorLog("boom");
        expected += std::string(c.time) + "\tboom\r\n";
        ++lines;
    }
    std::setlocale(LC_TIME, "");
    platform::SetClockForTesting(std::nullopt);
    EXPECT_EQ(env.ReadFile("Error.log"), expected);
    EXPECT_EQ(lines, 3);
    // Marker first, no leading zero, another separator.
    platform::TimeFormat f{true, false, ".", true, "AM", "PM"};
    EXPECT_EQ(platform::FormatLongTime(0, 7, 9, f), "AM 12.07.09");
    EXPECT_EQ(platform::FormatLongTime(12, 0, 0, f), "PM 12.00.00");
}

TEST(ErrorLog, ACurrentDirectoryThatCannotBeWrittenStaysQuiet) {
    TempEnv env;
    std::filesystem::create_directories(env.currentDir + "/Error.log");  // cannot be opened
    app::AppendErrorLog("boom");
    EXPECT_TRUE(std::filesystem::is_directory(env.currentDir + "/Error.log"));
}
