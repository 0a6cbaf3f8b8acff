// The three password dialogs, typed into as a parent would.
#include <gtest/gtest.h>

#include <filesystem>

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <thread>

#include "lib/control/Client.h"
#include "lib/password/PasswordHash.h"
#include "lib/platform/widgets/MessageBox.h"
#include "panel/lock/ChangePasswordDialog.h"
#include "panel/lock/EnterPasswordDialog.h"
#include "panel/lock/FirstPasswordDialog.h"
#include "tests/support/Gui.h"
#include "tests/support/ServiceProcess.h"
#include "tests/support/TempEnv.h"

using testing_support::Get;
using testing_support::Set;
using testing_support::TempEnv;
using testing_support::WhenModal;

namespace {
const std::vector<std::string> kMismatch = {"You were mistaken, try again."};
const std::vector<std::string> kReminder = {"Please do not forget the password!"};
}  // namespace

TEST(FirstPasswordDialog, MismatchEmptiesBothFieldsAndReturnInTheSecondFieldActsAsOk) {
    TempEnv env;
    platform::MessageRecorder messages;
    lock::TForm2 form;
    WhenModal(&form, [&] {
        QTest::keyClicks(form.Edit1, "Secret");
        QTest::keyClick(form.Edit1, Qt::Key_Return);  // Return in the first field does nothing
        EXPECT_TRUE(messages.texts.empty());
        QTest::keyClicks(form.Edit2, "secret");
        QTest::keyClick(form.Edit2, Qt::Key_Return);
        EXPECT_EQ(messages.texts, kMismatch);
        EXPECT_EQ(form.Edit1->text(), "");
        EXPECT_EQ(form.Edit2->text(), "");
        EXPECT_TRUE(form.Showing());
        QTest::keyClicks(form.Edit1, " Se cret ");
        EXPECT_EQ(form.Edit1->displayText(), "*********");  // masked with stars
        QTest::keyClicks(form.Edit2, " Se cret ");
        QTest::keyClick(form.Edit2, Qt::Key_Return);
    });
    form.ShowModal();
    EXPECT_FALSE(form.Showing());
    EXPECT_EQ(messages.texts, (std::vector<std::string>{kMismatch[0], kReminder[0]}));
    // Stored as its hash, never as typed; blanks belong to the password.
    EXPECT_TRUE(password::IsHash(Get("EnterPassword")));
    EXPECT_TRUE(password::Verify(" Se cret ", Get("EnterPassword")));
    EXPECT_FALSE(password::Verify("Se cret", Get("EnterPassword")));
}

TEST(FirstPasswordDialog, TwoEmptyFieldsStoreTheEmptyPasswordAndTheCloseBoxStoresNothing) {
    TempEnv env;
    platform::MessageRecorder messages;
    lock::TForm2 form;
    EXPECT_EQ(form.SpeedButton1->focusPolicy(), Qt::NoFocus);
    WhenModal(&form, [&] { form.close(); });  // the window's close box
    form.ShowModal();
    bool present = true;
    Get("EnterPassword", &present);
    EXPECT_FALSE(present);
    WhenModal(&form, [&] { QTest::mouseClick(form.SpeedButton1, Qt::LeftButton); });
    form.ShowModal();
    EXPECT_TRUE(password::Verify("", Get("EnterPassword", &present)));
    EXPECT_TRUE(present);
    EXPECT_EQ(messages.texts, kReminder);
}

TEST(ChangePasswordDialog, CancelStoresNothingAndOkReplacesThePassword) {
    TempEnv env;
    Set("EnterPassword", "old");
    platform::MessageRecorder messages;
    lock::TForm3 form;
    WhenModal(&form, [&] {
        QTest::keyClicks(form.Edit1, "new");
        QTest::keyClicks(form.Edit2, "new");
        QTest::mouseClick(form.SpeedButton2, Qt::LeftButton);
    });
    form.ShowModal();
    EXPECT_EQ(Get("EnterPassword"), "old");
    EXPECT_TRUE(messages.texts.empty());
    // The fields kept their text; OK now stores it.
    WhenModal(&form, [&] { QTest::keyClick(form.Edit2, Qt::Key_Return); });
    form.ShowModal();
    EXPECT_TRUE(password::Verify("new", Get("EnterPassword")));
    EXPECT_EQ(messages.texts, kReminder);
    EXPECT_EQ(form.Edit1->text(), "new");  // still there for the next showing
}

class EnterPasswordDialogTest : public ::testing::Test {
  protected:
    TempEnv env;
    platform::MessageRecorder messages;
    platform::TForm main;
    lock::TForm4 form{&main};
    void SetUp() override { main.resize(296, 530); }
};

TEST_F(EnterPasswordDialogTest, WrongEntryKeepsTheTextAndReturnRepeatsTheCheck) {
    Set("EnterPassword", "Abc");
    WhenModal(&form, [&] {
        QTest::keyClicks(form.Edit1, "abc");
        QTest::keyClick(form.Edit1, Qt::Key_Return);
        QTest::keyClick(form.Edit1, Qt::Key_Return);
        EXPECT_EQ(form.Edit1->text(), "abc");
        EXPECT_TRUE(form.Showing());
        form.Edit1->clear();
        QTest::keyClicks(form.Edit1, "Abc");
        QTest::mouseClick(form.SpeedButton1, Qt::LeftButton);
    });
    form.ShowModal();
    EXPECT_EQ(messages.texts, (std::vector<std::string>{kMismatch[0], kMismatch[0]}));
    EXPECT_EQ(main.Left(), lock::kDesignLeft);  // no saved position: the design position
    EXPECT_EQ(main.Top(), lock::kDesignTop);
}

TEST_F(EnterPasswordDialogTest, APlainPasswordFromBeforeUnlocksOnceAndIsReplacedByItsHash) {
    Set("EnterPassword", "old plain");
    WhenModal(&form, [&] {
        QTest::keyClicks(form.Edit1, "old plain");
        QTest::keyClick(form.Edit1, Qt::Key_Return);
    });
    form.ShowModal();
    EXPECT_FALSE(form.Showing());
    const std::string stored = Get("EnterPassword");
    EXPECT_TRUE(password::IsHash(stored)) << stored;
    EXPECT_TRUE(password::Verify("old plain", stored));
    // The hash unlocks with the password, and is not itself a password.
    for (const std::string& typed : {stored, std::string("old plain")}) {
        WhenModal(&form, [&] {
            form.Edit1->clear();
            QTest::keyClicks(form.Edit1, QString::fromStdString(typed));
            QTest::keyClick(form.Edit1, Qt::Key_Return);
            if (form.Showing()) form.SpeedButton2->click();
        });
        form.ShowModal();
    }
    EXPECT_EQ(messages.texts, std::vector<std::string>{kMismatch[0]});
    EXPECT_EQ(Get("EnterPassword"), stored);
}

TEST_F(EnterPasswordDialogTest, StoredPositionIsRestoredUnlessMalformedOrOffEveryScreen) {
    Set("EnterPassword", "");
    struct Case {
        std::string left, top;
        int wantLeft, wantTop;
    };
    for (const Case& c : std::vector<Case>{{"-8", "0", -8, 0},
                                           {"100", "50", 100, 50},
                                           {"10x", "50", 715, 149},
                                           {"100", "", 715, 149},
                                           {"90000", "90000", 715, 149},
                                           {"-5000", "10", 715, 149}}) {
        Set("form1lefta", c.left);
        Set("form1topa", c.top);
        main.Left(platform::kOffScreen);
        WhenModal(&form, [&] { QTest::keyClick(form.Edit1, Qt::Key_Return); });
        form.ShowModal();
        EXPECT_EQ(main.Left(), c.wantLeft) << c.left << "," << c.top;
        EXPECT_EQ(main.Top(), c.wantTop) << c.left << "," << c.top;
    }
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(EnterPasswordDialogTest, CancelAndTheCloseBoxCloseTheMainWindow) {
    for (int way = 0; way < 2; ++way) {
        main.Show();
        main.Left(platform::kOffScreen);
        WhenModal(&form, [&] {
            if (way == 0)
                QTest::mouseClick(form.SpeedButton2, Qt::LeftButton);
            else
                form.close();
        });
        form.ShowModal();
        EXPECT_FALSE(form.Showing());
        EXPECT_FALSE(main.Showing());
        EXPECT_FALSE(main.isVisible());
        EXPECT_EQ(main.Left(), platform::kOffScreen);
    }
}

TEST_F(EnterPasswordDialogTest, AnUnreadableStoreDoesNotUnlockOnAnEmptyEntry) {
    // The password value is absent, but the store cannot be opened: the empty entry must fail.
    std::filesystem::create_directories(env.userStore + "/user.db");  // a directory, not a file
    main.Show();
    main.Left(platform::kOffScreen);
    WhenModal(&form, [&] {
        QTest::keyClick(form.Edit1, Qt::Key_Return);
        EXPECT_TRUE(form.Showing());
        form.close();
    });
    form.ShowModal();
    EXPECT_EQ(messages.texts, kMismatch);
    EXPECT_EQ(main.Left(), platform::kOffScreen);
    EXPECT_FALSE(main.isVisible());
    main.Close();
}

namespace {

// In a child's account with the system service (the real one, serving this test's own group and
// enforcing nothing): the settings are the parent's, changed from the parent's account, so no
// password is taken here, not even a first one, whatever the store holds.
TEST(PasswordsWithTheService, AMembersOwnPanelTakesNoPassword) {
    TempEnv env;
    testing_support::ServiceProcess service(testing_support::ServiceProcess::OwnGroup());
    ASSERT_TRUE(service.started());
    platform::MessageRecorder messages;
    lock::TForm2 first;
    WhenModal(&first, [&] {
        QTest::keyClicks(first.Edit1, "child's pw");
        QTest::keyClicks(first.Edit2, "child's pw");
        QTest::keyClick(first.Edit2, Qt::Key_Return);
        EXPECT_TRUE(first.Showing());
        first.Close();
    });
    first.ShowModal();
    EXPECT_EQ(control::Ask({"status"}).fields.at(2), "unsealed");
    EXPECT_EQ(Get("EnterPassword"), "");

    // The child writes a password of its own into the store, plain and hashed: neither unlocks,
    // nor does the empty one.
    platform::TForm main;
    lock::TForm4 form{&main};
    for (const std::string& childs :
         {std::string("mine"), *password::Hash("mine"), std::string()}) {
        Set("EnterPassword", childs);
        WhenModal(&form, [&] {
            form.Edit1->clear();
            QTest::keyClicks(form.Edit1, childs.empty() ? "" : "mine");
            QTest::keyClick(form.Edit1, Qt::Key_Return);
            EXPECT_TRUE(form.Showing());
            form.SpeedButton2->click();
        });
        form.ShowModal();
    }
    const std::string refusal =
        "The settings of this account are changed in Veltrix in a parent's account.";
    EXPECT_EQ(messages.texts, std::vector<std::string>(4, refusal));
    EXPECT_EQ(service.LogText().find("password"), std::string::npos);
}

}  // namespace

namespace {

// A service that is there but never answers (stuck, or every connection taken by a child's
// clients): the store's password, which the child may have written, unlocks nothing.
TEST(PasswordsWithTheService, AServiceThatDoesNotAnswerUnlocksNothing) {
    TempEnv env;
    const std::string path = env.root + "/mute";
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(listener, 8), 0);
    std::thread mute([listener] {
        for (int fd; (fd = ::accept(listener, nullptr, nullptr)) >= 0;) ::close(fd);
    });
    ::setenv("VELTRIX_CONTROL_SOCKET", path.c_str(), 1);
    Set("EnterPassword", "mine");
    platform::MessageRecorder messages;
    platform::TForm main;
    lock::TForm4 form{&main};
    WhenModal(&form, [&] {
        QTest::keyClicks(form.Edit1, "mine");
        QTest::keyClick(form.Edit1, Qt::Key_Return);
        EXPECT_TRUE(form.Showing());
        form.SpeedButton2->click();
    });
    form.ShowModal();
    ::shutdown(listener, SHUT_RDWR);
    ::close(listener);
    mute.join();
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_EQ(messages.texts[0].rfind("The Veltrix service does not answer", 0), 0u)
        << messages.texts[0];
}

}  // namespace
