// The blocked-applications dialog and the statistics window, used as a parent would.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTest>

#include <filesystem>

#include "lib/store/ValueNames.h"
#include "panel/blocking/BlockedAppsDialog.h"
#include "panel/blocking/StatisticsWindow.h"
#include "tests/support/Gui.h"
#include "tests/support/TempEnv.h"

using testing_support::Get;
using testing_support::Set;
using testing_support::TempEnv;

namespace {

// Collects what reaches the application-wide handler, as Error.log would.
struct Errors {
    std::vector<std::string> texts;
    Errors() {
        platform::Application::SetExceptionHandler(
            [this](const std::exception& e) { texts.emplace_back(e.what()); });
    }
    ~Errors() { platform::Application::SetExceptionHandler({}); }
};

}  // namespace

TEST(BlockedApps, ShowsTheStoredEntriesAndOkStoresAllNine) {
    TempEnv env;
    Set("App1", "game.exe");
    Set("App9", "chat");
    blocking::TForm6 form;
    form.Show();
    EXPECT_EQ(form.Edit[0]->text(), "game.exe");
    EXPECT_EQ(form.Edit[8]->text(), "chat");
    EXPECT_EQ(form.Edit[1]->text(), "");
    // Nine rows, no gap, tab order top to bottom.
    for (int n = 1; n <= 9; ++n) EXPECT_EQ(form.Edit[static_cast<std::size_t>(n - 1)]->y(), 32 * n);
    EXPECT_EQ(form.Edit[7]->nextInFocusChain(), form.Edit[8]);
    EXPECT_EQ(form.findChildren<QLineEdit*>().size(), 9);

    form.Edit[0]->clear();
    QTest::keyClicks(form.Edit[2], " Same App ");
    QTest::keyClicks(form.Edit[3], " Same App ");
    QTest::mouseClick(form.SpeedButton1, Qt::LeftButton);
    EXPECT_FALSE(form.Showing());
    bool present = false;
    EXPECT_EQ(Get("App1", &present), "");
    EXPECT_TRUE(present);  // an emptied field stays as an empty value
    EXPECT_EQ(Get("App3"), " Same App ");
    EXPECT_EQ(Get("App4"), " Same App ");
    EXPECT_EQ(Get("App9"), "chat");
    for (int n = 1; n <= 9; ++n) {
        Get(store::AppName(n), &present);
        EXPECT_TRUE(present) << n;
    }
}

TEST(BlockedApps, CancelAndTheCloseBoxLeaveTheStoreAndTheNextShowingReloads) {
    TempEnv env;
    Set("App2", "stored");
    blocking::TForm6 form;
    for (int way = 0; way < 2; ++way) {
        form.Show();
        form.Edit[1]->setText("edited");
        if (way == 0)
            QTest::mouseClick(form.SpeedButton2, Qt::LeftButton);
        else
            form.close();
        EXPECT_FALSE(form.Showing());
        EXPECT_EQ(Get("App2"), "stored");
    }
    form.Show();
    EXPECT_EQ(form.Edit[1]->text(), "stored");
    form.Close();
}

TEST(BlockedApps, AStoreThatCannotBeOpenedKeepsTheFieldsAndOkStillCloses) {
    TempEnv env;
    blocking::TForm6 form;
    form.Edit[4]->setText("typed");
    std::filesystem::create_directories(env.userStore + "/user.db");
    form.Show();
    EXPECT_EQ(form.Edit[4]->text(), "typed");
    QTest::mouseClick(form.SpeedButton1, Qt::LeftButton);
    EXPECT_FALSE(form.Showing());
}

TEST(BlockedApps, TheTipsLinkOpensTheTipsPageInTheBrowser) {
    TempEnv env;
    const std::string opened = env.root + "/opened";
    const std::string browser = env.root + "/browser";
    env.WriteFile(browser, "#!/bin/sh\necho \"$1\" >> '" + opened + "'\n");
    std::filesystem::permissions(browser, std::filesystem::perms::owner_all);
    setenv("VELTRIX_BROWSER", browser.c_str(), 1);
    setenv("VELTRIX_SITE", "127.0.0.1:8123", 1);
    blocking::TForm6 form;
    form.Show();
    QTest::mouseClick(form.Label1, Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return env.Exists(opened); }, 10000));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return env.ReadFile(opened) == "http://127.0.0.1:8123/english/veltrix/tips.html\n"; },
        10000))
        << env.ReadFile(opened);
    EXPECT_EQ(form.Label1->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_TRUE(form.Label1->font().underline());
    unsetenv("VELTRIX_BROWSER");
    unsetenv("VELTRIX_SITE");
    form.Close();
}

TEST(Statistics, NoLogLogsFileNotFoundAndClosingCreatesAnEmptyLog) {
    TempEnv env;
    Errors errors;
    blocking::TForm7 form;
    EXPECT_EQ(errors.texts, std::vector<std::string>{"File not found"});
    EXPECT_EQ(form.ListBox1->model()->rowCount(), 0);
    form.Show();
    QTest::mouseClick(form.SpeedButton1, Qt::LeftButton);
    EXPECT_FALSE(form.Showing());
    EXPECT_EQ(env.ReadFile(env.programDir + "Block.log"), "");
}

TEST(Statistics, ShowsEveryLineAtTheEndAndClearThenCloseEmptiesTheLog) {
    TempEnv env;
    std::string text;
    for (int i = 0; i < 500; ++i) text += "line " + std::to_string(i) + "\r\n";
    env.WriteFile(env.programDir + "Block.log", text);
    Errors errors;
    blocking::TForm7 form;
    form.Show();
    auto* model = form.ListBox1->model();
    ASSERT_EQ(model->rowCount(), 500);
    EXPECT_EQ(model->index(499, 0).data().toString(), "line 499");
    // The newest lines are in view.
    EXPECT_TRUE(form.ListBox1->viewport()->rect().intersects(
        form.ListBox1->visualRect(model->index(499, 0))));
    QTest::mouseClick(form.SpeedButton2, Qt::LeftButton);  // Clear: the file is not touched yet
    EXPECT_EQ(model->rowCount(), 0);
    EXPECT_EQ(env.ReadFile(env.programDir + "Block.log"), text);
    form.close();  // the close box writes back too
    EXPECT_EQ(env.ReadFile(env.programDir + "Block.log"), "");
    EXPECT_TRUE(errors.texts.empty());
}

TEST(Statistics, ClearWithoutClosingLeavesTheFileAndAFailedWriteKeepsTheWindowOpen) {
    TempEnv env;
    env.WriteFile(env.programDir + "Block.log", "a\r\n");
    Errors errors;
    {
        blocking::TForm7 form;
        form.Show();
        form.SpeedButton2Click();
    }  // the program ends with the window open
    EXPECT_EQ(env.ReadFile(env.programDir + "Block.log"), "a\r\n");

    blocking::TForm7 form;
    form.Show();
    std::filesystem::remove(env.programDir + "Block.log");
    std::filesystem::create_directory(env.programDir + "Block.log");
    QTest::mouseClick(form.SpeedButton1, Qt::LeftButton);
    EXPECT_TRUE(form.Showing());
    ASSERT_EQ(errors.texts.size(), 1u);
    EXPECT_NE(errors.texts[0].find("I/O error"), std::string::npos) << errors.texts[0];
    std::filesystem::remove(env.programDir + "Block.log");
    form.Close();
    EXPECT_FALSE(form.Showing());
    EXPECT_EQ(env.ReadFile(env.programDir + "Block.log"), "a\r\n");
}

TEST(Statistics, LinesTheGuardAddsWhileTheWindowIsOpenAreKeptAndShown) {
    TempEnv env;
    env.WriteFile(env.programDir + "Block.log", "before\r\n");
    blocking::TForm7 form;
    form.Show();
    ASSERT_TRUE(blocklog::AppendBlockLogLine(env.programDir + "Block.log", "while open"));
    form.Close();
    EXPECT_EQ(env.ReadFile(env.programDir + "Block.log"), "before\r\nwhile open\r\n");
    form.Show();
    EXPECT_EQ(form.ListBox1->model()->rowCount(), 2);
    form.Close();
}
