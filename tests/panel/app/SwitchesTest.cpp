// The guard switches, the autostart entry and the login launcher that acts on it.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <filesystem>

#include "lib/platform/registry/Registry.h"
#include "lib/platform/widgets/MessageBox.h"
#include "lib/store/ValueNames.h"
#include "panel/app/Program.h"
#include "panel/schedule/ScheduleGrid.h"
#include "tests/support/Gui.h"
#include "tests/support/TempEnv.h"

using testing_support::Get;
using testing_support::Set;
using testing_support::TempEnv;
using testing_support::WhenModal;

namespace {

std::string RunEntry(bool* present = nullptr) {
    auto key = platform::RegKey::OpenForReading(platform::Root::LocalMachine, store::kRunKey);
    platform::RegValue v;
    const bool found = key && key->Query("Sentrel", v) == platform::QueryResult::Ok;
    if (present) *present = found;
    return found ? v.data.substr(0, v.data.find('\0')) : std::string();
}

// A guard program that only counts its starts.
void InstallCountingGuard(const TempEnv& env) {
    const std::string exe = env.programDir + "Sentrel.exe";
    env.WriteFile(exe, "#!/bin/sh\necho started >> '" + env.programDir + "starts'\n");
    std::filesystem::permissions(exe, std::filesystem::perms::owner_all);
}

int Starts(const TempEnv& env) {
    const std::string text = env.ReadFile(env.programDir + "starts");
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

class Switches : public ::testing::Test {
  protected:
    TempEnv env;
    platform::MessageRecorder messages;
    std::unique_ptr<app::Windows> w = std::make_unique<app::Windows>();
    void Unlock() {
        app::InitialiseApplication(*w);
        WhenModal(w->form4.get(), [this] { QTest::keyClick(w->form4->Edit1, Qt::Key_Return); });
        w->form1->Show();
        ASSERT_TRUE(w->form1->isVisible());
    }
};

}  // namespace

TEST_F(Switches, EnableStartsTheGuardEachTimeAndSwitchOffWritesNo) {
    InstallCountingGuard(env);
    Set("parametr1", "1");
    Unlock();
    QTest::mouseClick(w->form1->SpeedButton4, Qt::LeftButton);
    EXPECT_EQ(Get("NeedJobOrNot"), "Yes");
    QTest::mouseClick(w->form1->SpeedButton5, Qt::LeftButton);
    EXPECT_EQ(Get("NeedJobOrNot"), "No");
    QTest::mouseClick(w->form1->SpeedButton4, Qt::LeftButton);
    EXPECT_EQ(Get("NeedJobOrNot"), "Yes");
    EXPECT_TRUE(QTest::qWaitFor([&] { return Starts(env) == 2; }, 10000)) << Starts(env);
    bool present = true;
    Get("NeedGuardOrNot", &present);
    EXPECT_FALSE(present);  // the visible pair never touches the hidden switch
    w->form1->Close();
}

TEST_F(Switches, AMissingGuardStillSetsYesAndTheHiddenPairWritesTheGuardSwitch) {
    Set("parametr1", "1");
    Unlock();
    QTest::mouseClick(w->form1->SpeedButton4, Qt::LeftButton);
    EXPECT_EQ(Get("NeedJobOrNot"), "Yes");
    EXPECT_TRUE(messages.texts.empty());
    EXPECT_FALSE(w->form1->SpeedButton2->isVisible());  // unreachable for the user
    EXPECT_EQ(w->form1->SpeedButton2->x(), -1000);
    w->form1->SpeedButton2->click();
    EXPECT_EQ(Get("NeedGuardOrNot"), "Yes");
    w->form1->SpeedButton3->click();
    EXPECT_EQ(Get("NeedGuardOrNot"), "No");
    w->form1->Close();
}

TEST_F(Switches, TheAutostartEntryFollowsTheBoxAtEveryClose) {
    Set("parametr1", "1");
    Unlock();
    EXPECT_TRUE(w->form1->CheckBox169->isChecked());
    QTest::mouseClick(w->form1->CheckBox169, Qt::LeftButton);
    w->form1->Close();
    bool present = false;
    EXPECT_EQ(RunEntry(&present), "");
    EXPECT_TRUE(present);  // emptied, never deleted

    w = std::make_unique<app::Windows>();
    Unlock();
    EXPECT_TRUE(w->form1->CheckBox169->isChecked());  // not restored: ticked at every start
    w->form1->Close();
    EXPECT_EQ(RunEntry(), env.programDir + "Sentrel.exe");
}

TEST_F(Switches, AProgramDirectoryWithBlanksIsWrittenWithoutQuotes) {
    const std::string dir = env.root + "/Program Files/Veltrix Kids/";
    std::filesystem::create_directories(dir);
    platform::Application::SetProgramDirectoryForTesting(dir);
    Set("parametr1", "1");
    Unlock();
    w->form1->Close();
    EXPECT_EQ(RunEntry(), dir + "Sentrel.exe");
    EXPECT_EQ(Get("VeltrixDir"), dir);
}

TEST_F(Switches, AMachineRootThatCannotBeWrittenIsSkippedSilently) {
    setenv("VELTRIX_MACHINE_STORE", "/dev/null/veltrix", 1);
    Set("parametr1", "1");
    Unlock();
    w->form1->Grid().Box(1)->setChecked(false);
    w->form1->Close();
    EXPECT_EQ(Get("CheckBox1Check"), "0");  // the rest of the shutdown went on
    EXPECT_FALSE(env.Exists(env.currentDir + "/Error.log") &&
                 env.ReadFile(env.currentDir + "/Error.log").find("Sentrel") != std::string::npos);
    EXPECT_TRUE(messages.texts.empty());
}

// At login the launcher starts what the Run key names, as the Windows shell would, but only
// programs of its own directory.
TEST(LoginLauncher, StartsTheGuardNamedInTheRunKeyAndNothingWhenItIsEmpty) {
    TempEnv env;
    const std::string dir = env.root + "/My Programs/";
    std::filesystem::create_directories(dir);
    std::filesystem::copy_file(testing_support::ToolPath("guard-stand-in"), dir + "Sentrel.exe");
    std::filesystem::copy_file(testing_support::ToolPath("veltrix-reg"), dir + "veltrix-reg");
    const std::string tool = "'" + dir + "veltrix-reg'";
    const std::string run = std::string("'") + store::kRunKey + "'";
    int status = -1;
    testing_support::Run(tool + " run-login 2>/dev/null", &status);
    EXPECT_EQ(status, 0);  // no Run key yet: nothing to start
    testing_support::Run(tool + " set HKLM " + run + " Sentrel ''", &status);
    testing_support::Run(tool + " run-login 2>/dev/null", &status);
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(env.Exists(dir + "Block.log"));

    // The entry the panel writes, run through the installed autostart entry's command.
    testing_support::Run(tool + " set HKLM " + run + " Sentrel '" + dir + "Sentrel.exe'", &status);
    testing_support::Run("bash '" + std::string(VELTRIX_SOURCE_DIR) +
                             "/tools/install-autostart.sh' '" + dir + "' '" + env.root +
                             "/autostart' >/dev/null",
                         &status);
    ASSERT_EQ(status, 0);
    const std::string desktop = env.ReadFile(env.root + "/autostart/veltrix-guard.desktop");
    const auto at = desktop.find("Exec=");
    ASSERT_NE(at, std::string::npos);
    const std::string exec = desktop.substr(at + 5, desktop.find('\n', at) - at - 5);
    EXPECT_NE(exec.find("VELTRIX_MACHINE_STORE=" + env.machineStore), std::string::npos) << exec;
    testing_support::Run("env -u VELTRIX_MACHINE_STORE sh -c '" + exec + " 2>/dev/null'", &status);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return env.Exists(dir + "Block.log") &&
                   env.ReadFile(dir + "Block.log").find("Sentrel started") != std::string::npos;
        },
        10000));

    testing_support::Run(tool + " set HKLM " + run + " Other '/nonexistent/guard'", &status);
    testing_support::Run(tool + " run-login 2>/dev/null", &status);
    EXPECT_EQ(status, 1);  // one entry could not be started; the others still were
}

// A value that names a program outside the program directory is never started, however it is
// dressed: a script of someone's own, a link into the program directory's name, a relative path.
TEST(LoginLauncher, StartsNothingOutsideTheProgramDirectory) {
    TempEnv env;
    const std::string dir = env.root + "/program/";
    std::filesystem::create_directories(dir);
    std::filesystem::copy_file(testing_support::ToolPath("veltrix-reg"), dir + "veltrix-reg");
    const std::string ran = env.root + "/ran";
    const std::string script = env.root + "/evil.sh";
    env.WriteFile(script, "#!/bin/sh\ntouch '" + ran + "'\n");
    ::chmod(script.c_str(), 0755);
    std::filesystem::create_symlink(script, dir + "evil-link");  // a link in the directory
    const std::string tool = "'" + dir + "veltrix-reg'";
    const std::string run = std::string("'") + store::kRunKey + "'";
    int status = -1;
    for (const std::string& value :
         {script, dir + "evil-link", dir + "../evil.sh", std::string("evil.sh")}) {
        testing_support::Run(tool + " set HKLM " + run + " Sentrel '" + value + "'", &status);
        ASSERT_EQ(status, 0);
        const std::string said =
            testing_support::Run("cd '" + env.root + "' && " + tool + " run-login 2>&1", &status);
        EXPECT_EQ(status, 1) << value;
        EXPECT_NE(said.find("not starting Sentrel: " + value), std::string::npos) << said;
    }
    EXPECT_FALSE(env.Exists(ran));
}
