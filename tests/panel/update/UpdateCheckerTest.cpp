// The update checker with real widgets against the demo product web site on loopback.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <filesystem>

#include "lib/net/HttpClient.h"
#include "lib/platform/widgets/MessageBox.h"
#include "panel/update/UpdateChecker.h"
#include "tests/lib/net/ScriptedServer.h"
#include "tests/support/Gui.h"
#include "tests/support/Signal.h"
#include "tests/support/TempEnv.h"

using testing_support::Set;
using testing_support::TempEnv;

namespace {

// tools/demo_site.py on a free port of 127.0.0.1, with the given pages.
class DemoSite {
  public:
    explicit DemoSite(std::vector<std::string> args) {
        std::vector<std::string> all = {
            "python3", std::string(VELTRIX_SOURCE_DIR) + "/tools/demo_site.py", "--listen-fd", "3"};
        all.insert(all.end(), args.begin(), args.end());
        pid_ = testing_support::StartServerOn(testing_support::ListenOnLoopback(16, &port_), all);
        setenv("VELTRIX_SITE", ("127.0.0.1:" + std::to_string(port_)).c_str(), 1);
    }
    ~DemoSite() {
        testing_support::Signal(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        unsetenv("VELTRIX_SITE");
    }

  private:
    int port_ = 0;
    pid_t pid_ = -1;
};

std::string MemoText(update::TForm8& f) {
    return f.Memo1->toPlainText().toStdString();
}

class UpdateChecker : public ::testing::Test {
  protected:
    TempEnv env;
    platform::MessageRecorder messages;
    update::TForm8 form;
    void SetUp() override { form.Show(); }
    void TearDown() override { form.Close(); }
};

}  // namespace

TEST_F(UpdateChecker, ConnectedThenNoNewVersion) {
    Set("thisversion", "Veltrix v1.0");
    DemoSite site({"--latest", "Veltrix v1.0"});
    EXPECT_EQ(MemoText(form),
              "To check up of updating make the following:\n"
              "1. Whether check up you are connected to internet.\n\n");
    EXPECT_FALSE(form.SpeedButton1->isVisible());
    QTest::mouseClick(form.SpeedButton2, Qt::LeftButton);
    EXPECT_EQ(MemoText(form), "Yes you connected.\n\n2. Press the button \"What last version?\"");
    EXPECT_TRUE(form.SpeedButton1->isVisible());
    EXPECT_EQ(form.Edit1->text(), "Veltrix v1.0");
    QTest::mouseClick(form.SpeedButton1, Qt::LeftButton);
    EXPECT_EQ(MemoText(form), "Veltrix v1.0\n\nNo new version");
    EXPECT_FALSE(form.SpeedButton3->isVisible());
    EXPECT_TRUE(messages.texts.empty());
    EXPECT_EQ(form.HttpClient1->TimeOut, update::kFetchTimeOutMs);
}

TEST_F(UpdateChecker, ANewVersionOffersTheDownloadPageAndReopeningKeepsEverything) {
    Set("thisversion", "Veltrix v1.0");
    DemoSite site({"--latest", "Veltrix v1.1"});
    const std::string opened = env.root + "/opened";
    env.WriteFile(env.root + "/browser", "#!/bin/sh\necho \"$1\" >> '" + opened + "'\n");
    std::filesystem::permissions(env.root + "/browser", std::filesystem::perms::owner_all);
    setenv("VELTRIX_BROWSER", (env.root + "/browser").c_str(), 1);
    QTest::mouseClick(form.SpeedButton2, Qt::LeftButton);
    QTest::mouseClick(form.SpeedButton1, Qt::LeftButton);
    EXPECT_EQ(MemoText(form), "Veltrix v1.1\n\nYes! New version availably for download!");
    EXPECT_TRUE(form.SpeedButton3->isVisible());
    const std::string memo = MemoText(form);
    QTest::mouseClick(form.SpeedButton3, Qt::LeftButton);
    // The shell makes the file before it writes the line: wait for the line itself.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return env.Exists(opened) &&
                   env.ReadFile(opened).find("/english/download.html\n") != std::string::npos;
        },
        10000));
    EXPECT_EQ(MemoText(form), memo);  // the download does not touch the memo
    QTest::mouseClick(form.SpeedButton4, Qt::LeftButton);
    EXPECT_FALSE(form.Showing());
    form.Show();
    EXPECT_EQ(MemoText(form), memo);
    EXPECT_TRUE(form.SpeedButton1->isVisible());
    EXPECT_TRUE(form.SpeedButton3->isVisible());
    unsetenv("VELTRIX_BROWSER");
}

TEST_F(UpdateChecker, NotConnectedRevealsNothingAndAMissingVersionComparesAsEmpty) {
    DemoSite site({"--connected", "Yes you connected.\n", "--latest", "anything"});
    QTest::mouseClick(form.SpeedButton2, Qt::LeftButton);
    EXPECT_FALSE(form.SpeedButton1->isVisible());
    EXPECT_TRUE(messages.texts.empty());
    form.SpeedButton1Click();  // as if it were shown: "thisversion" is missing
    EXPECT_EQ(form.Edit1->text(), "");
    EXPECT_NE(MemoText(form).find("Yes! New version availably for download!"), std::string::npos);
}

TEST_F(UpdateChecker, EveryFailedFetchSaysConnectionFailedAndGivesNoVerdict) {
    Set("thisversion", "Veltrix v1.0");
    const std::vector<std::string> failed = {"Connection Failed"};
    setenv("VELTRIX_SITE", ("127.0.0.1:" + std::to_string(testing_support::ClosedPort())).c_str(),
           1);
    QTest::mouseClick(form.SpeedButton2, Qt::LeftButton);  // refused
    EXPECT_EQ(messages.texts, failed);
    EXPECT_EQ(MemoText(form), "Begin ...");
    messages.texts.clear();
    {
        DemoSite site({"--latest", "Not found page", "--status-update", "404"});
        QTest::mouseClick(form.SpeedButton2, Qt::LeftButton);
        ASSERT_TRUE(form.SpeedButton1->isVisible());
        QTest::mouseClick(form.SpeedButton1, Qt::LeftButton);  // an error status is no verdict
        EXPECT_EQ(messages.texts, failed);
        EXPECT_EQ(MemoText(form).find("New version"), std::string::npos);
        EXPECT_FALSE(form.SpeedButton3->isVisible());
    }
    messages.texts.clear();
    testing_support::ScriptedServer silent(
        [](testing_support::ScriptedServer::Peer& p) { p.WaitUntilStopped(); });
    setenv("VELTRIX_SITE", ("127.0.0.1:" + std::to_string(silent.port())).c_str(), 1);
    form.HttpClient1->TimeOut = 800;
    QTest::mouseClick(form.SpeedButton1, Qt::LeftButton);  // a server that never answers
    EXPECT_EQ(messages.texts, failed);
    EXPECT_FALSE(form.SpeedButton3->isVisible());
    silent.Stop();
    unsetenv("VELTRIX_SITE");
}

// Servers that are never silent for long but never done, in the header or in the body, or that
// never take the request: the silence time-out never fires, the fetch deadline does.
TEST_F(UpdateChecker, AFetchEndsByItsDeadlineWhateverTheServerDoes) {
    using Peer = testing_support::ScriptedServer::Peer;
    const std::vector<std::function<void(Peer&)>> scripts = {
        [](Peer& p) {
            p.ReadUntil("\r\n\r\n");
            p.TrickleForever("HTTP/1.0 200 OK\r\nX-Forever: ");
        },
        [](Peer& p) {
            p.ReadUntil("\r\n\r\n");
            p.TrickleForever("HTTP/1.0 200 OK\r\n\r\nYes");
        },
        [](Peer& p) { p.WaitUntilStopped(); },
    };
    for (std::size_t i = 0; i < scripts.size(); ++i) {
        SCOPED_TRACE(i);
        testing_support::ScriptedServer server(scripts[i]);
        setenv("VELTRIX_SITE", ("127.0.0.1:" + std::to_string(server.port())).c_str(), 1);
        form.FetchDeadlineMs = 1200;
        messages.texts.clear();
        QTest::mouseClick(form.SpeedButton2, Qt::LeftButton);
        EXPECT_EQ(messages.texts, std::vector<std::string>{"Connection Failed"});
        EXPECT_FALSE(form.SpeedButton1->isVisible());
        EXPECT_FALSE(form.Fetching());
        server.Stop();
    }
    unsetenv("VELTRIX_SITE");
}

// The same with the real bound: a body that trickles forever ends after about 15 s.
TEST_F(UpdateChecker, TheRealDeadlineIsFifteenSeconds) {
    testing_support::ScriptedServer server([](testing_support::ScriptedServer::Peer& p) {
        p.ReadUntil("\r\n\r\n");
        p.TrickleForever("HTTP/1.0 200 OK\r\n\r\n", 200);
    });
    setenv("VELTRIX_SITE", ("127.0.0.1:" + std::to_string(server.port())).c_str(), 1);
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(form.SpeedButton2, Qt::LeftButton);
    EXPECT_EQ(messages.texts, std::vector<std::string>{"Connection Failed"});
    EXPECT_GE(clock.elapsed(), update::kFetchDeadlineMs * 9 / 10);  // coarse timers may run early
    EXPECT_LT(clock.elapsed(), 4 * update::kFetchDeadlineMs);       // not forever
    server.Stop();
    unsetenv("VELTRIX_SITE");
}

TEST_F(UpdateChecker, AStepPressedDuringAFetchIsIgnored) {
    testing_support::ScriptedServer slow([](testing_support::ScriptedServer::Peer& p) {
        p.ReadUntil("\r\n\r\n");
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        p.Send("HTTP/1.0 200 OK\r\n\r\nYes you connected.");
    });
    setenv("VELTRIX_SITE", ("127.0.0.1:" + std::to_string(slow.port())).c_str(), 1);
    int nested = 0;
    QTimer::singleShot(100, [&] {
        EXPECT_TRUE(form.Fetching());
        form.SpeedButton2Click();  // pressed again while the first fetch waits
        ++nested;
    });
    form.SpeedButton2Click();
    EXPECT_EQ(nested, 1);
    EXPECT_EQ(slow.Connections(), 1);
    EXPECT_TRUE(form.SpeedButton1->isVisible());
    slow.Stop();
    unsetenv("VELTRIX_SITE");
}
