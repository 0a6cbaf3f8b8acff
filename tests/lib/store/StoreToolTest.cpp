// veltrix-reg, the interface installers, tests and administrators rely on.
#include <gtest/gtest.h>

#include <vector>

#include "lib/store/SettingsStore.h"
#include "tests/support/TempEnv.h"

using testing_support::Run;
using testing_support::TempEnv;

namespace {
std::string Tool(const std::string& args, int* status) {
    return Run("'" + testing_support::ToolPath("veltrix-reg") + "' " + args + " 2>/dev/null",
               status);
}
const std::string kKey = std::string("'") + store::kSettingsKey + "'";
}  // namespace

TEST(StoreTool, SetGetListDeleteRoundTrip) {
    TempEnv env;
    int status = -1;
    Tool("get HKCU " + kKey + " parametr1", &status);
    EXPECT_EQ(status, 1);  // absent
    Tool("set HKCU " + kKey + " parametr1 0", &status);
    EXPECT_EQ(status, 0);
    Tool("set HKCU " + kKey + " thisversion 'Veltrix v1.0'", &status);
    Tool("set HKCU " + kKey + " count 7 --type dword", &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Tool("get HKCU " + kKey + " PARAMETR1", &status), "0\n");
    EXPECT_EQ(Tool("list HKCU " + kKey, &status),
              "parametr1\tsz\t0\nthisversion\tsz\tVeltrix v1.0\ncount\tdword\t7\n");
    // The panel reads what the tool wrote, and refuses the number.
    store::WithSettings([](store::TRegistry& reg) {
        EXPECT_EQ(reg.ReadString("thisversion"), "Veltrix v1.0");
        EXPECT_THROW(reg.ReadString("count"), store::ERegistryException);
    });
    Tool("delete HKCU " + kKey + " count", &status);
    EXPECT_EQ(status, 0);
    Tool("get HKCU " + kKey + " count", &status);
    EXPECT_EQ(status, 1);
}

TEST(StoreTool, BadArgumentsPrintUsageExitTwoAndWriteNothing) {
    TempEnv env;
    int status = -1;
    for (const std::string& args : std::vector<std::string>{
             "", "get", "get HKCR " + kKey + " a", "set HKCU " + kKey + " a",
             "set HKCU " + kKey + " a b --type text", "set HKCU " + kKey + " a xyz --type dword",
             "set HKCU " + kKey + " a 0g --type binary", "frob HKCU " + kKey + " a",
             "set HKCU " + kKey + " a b c"}) {
        Tool(args, &status);
        EXPECT_EQ(status, 2) << args;
    }
    EXPECT_FALSE(env.Exists(env.userStore + "/user.db"));
}

TEST(StoreTool, MachineRootAndBinaryValues) {
    TempEnv env;
    int status = -1;
    const std::string run = std::string("'") + store::kRunKey + "'";
    Tool("set HKLM " + run + " Sentrel '/opt/my dir/Sentrel.exe'", &status);
    Tool("set HKLM " + run + " blob 00ff10 --type binary", &status);
    EXPECT_EQ(Tool("list HKLM " + run, &status),
              "Sentrel\tsz\t/opt/my dir/Sentrel.exe\nblob\tbinary\t00ff10\n");
    Tool("get HKCU " + run + " Sentrel", &status);
    EXPECT_EQ(status, 1);  // the roots are separate
}

// A store in a read-only view of the file system (the system service sees the homes so) is read
// as it stands; nothing is written there.
TEST(StoreTool, AStoreOnAReadOnlyFileSystemIsReadAsItStands) {
    TempEnv env;
    int status = -1;
    Tool("set HKCU " + kKey + " NeedJobOrNot Yes", &status);
    ASSERT_EQ(status, 0);
    const std::string reg = "'" + testing_support::ToolPath("veltrix-reg") + "'";
    const std::string dir = "'" + env.userStore + "'";
    const std::string out = testing_support::Run(
        "unshare -m sh -c \"mount --bind -o ro " + dir + " " + dir + " || exit 99; " + reg +
            " get HKCU " + kKey + " NeedJobOrNot; " + reg + " set HKCU " + kKey +
            " NeedJobOrNot No 2>/dev/null; echo set=\\$?\" 2>/dev/null",
        &status);
    if (status == 99 || out.empty()) GTEST_SKIP() << "no mount namespace here (needs root)";
    EXPECT_EQ(out, "Yes\nset=3\n");
    EXPECT_EQ(Tool("get HKCU " + kKey + " NeedJobOrNot", &status), "Yes\n");
}
