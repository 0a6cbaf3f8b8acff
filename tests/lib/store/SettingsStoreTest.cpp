// The settings store as the program and the guard program meet it: key creation, names, absent
// and empty values, types, failures with their exact messages, file modes, corrupt files, and a
// second process reading the grid while it is saved.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <thread>

#include "lib/rtl/Convert.h"
#include "lib/store/SettingsStore.h"
#include "tests/support/TempEnv.h"

using namespace store;
using testing_support::TempEnv;

namespace {

int CountRows(const std::string& db, const char* sql) {
    sqlite3* h = nullptr;
    sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* q = nullptr;
    int n = -1;
    if (sqlite3_prepare_v2(h, sql, -1, &q, nullptr) == SQLITE_OK && sqlite3_step(q) == SQLITE_ROW)
        n = sqlite3_column_int(q, 0);
    sqlite3_finalize(q);
    sqlite3_close(h);
    return n;
}

mode_t Mode(const std::string& path) {
    struct stat st {};
    stat(path.c_str(), &st);
    return st.st_mode & 0777;
}

}  // namespace

TEST(SettingsStore, FirstReadCreatesTheWholeKeyPathButNoValue) {
    TempEnv env;
    bool opened = WithSettings([](TRegistry& reg) { EXPECT_EQ(reg.ReadString("parametr1"), ""); });
    ASSERT_TRUE(opened);
    const std::string db = platform::StoreFile(platform::Root::CurrentUser);
    // Software, Microsoft, Windows, CurrentVersion, Quenmark, Kestrune
    EXPECT_EQ(CountRows(db, "SELECT count(*) FROM keys"), 6);
    EXPECT_EQ(CountRows(db, "SELECT count(*) FROM vals"), 0);
}

TEST(SettingsStore, NamesIgnoreCaseAndKeepTheirFirstSpelling) {
    TempEnv env;
    WithSettings([](TRegistry& reg) { reg.WriteString("CheckBox7Check", "1"); });
    WithKey(HKEY_CURRENT_USER, "\\SOFTWARE\\microsoft\\Windows\\CurrentVersion\\QUENMARK\\kestrune",
            [](TRegistry& reg) {
                EXPECT_EQ(reg.ReadString("checkbox7CHECK"), "1");
                reg.WriteString("CHECKBOX7CHECK", "0");
            });
    auto key = platform::RegKey::Open(platform::Root::CurrentUser, kSettingsKey);
    auto values = key->List();
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].name, "CheckBox7Check");
    EXPECT_EQ(values[0].data, std::string("0\0", 2));  // stored with its terminating NUL
}

TEST(SettingsStore, EmptyTextIsKeptAsAValueAndTextIsCutAtItsFirstNul) {
    TempEnv env;
    WithKey(HKEY_LOCAL_MACHINE, kRunKey, [](TRegistry& reg) { reg.WriteString("Sentrel", ""); });
    auto key = platform::RegKey::Open(platform::Root::LocalMachine, kRunKey);
    platform::RegValue v;
    ASSERT_EQ(key->Query("Sentrel", v), platform::QueryResult::Ok);
    EXPECT_EQ(v.type, platform::RegType::Sz);
    EXPECT_EQ(v.data, std::string(1, '\0'));
    key->Set("odd", platform::RegType::ExpandSz, std::string("ab\0cd", 5));
    key->Close();
    WithKey(HKEY_LOCAL_MACHINE, kRunKey,
            [](TRegistry& reg) { EXPECT_EQ(reg.ReadString("odd"), "ab"); });
}

TEST(SettingsStore, ValueOfAnotherTypeFailsWithTheExactMessage) {
    TempEnv env;
    testing_support::SetDword("CheckBox7Check", 1);
    try {
        WithSettings([](TRegistry& reg) { reg.ReadString("CheckBox7Check"); });
        FAIL() << "no exception";
    } catch (const ERegistryException& e) {
        EXPECT_STREQ(e.what(), "Invalid data type for 'CheckBox7Check'");
    }
}

TEST(SettingsStore, RefusedWriteFailsButKeepsTheWritesBeforeIt) {
    TempEnv env;
    WithSettings([](TRegistry&) {});
    sqlite3* h = nullptr;
    sqlite3_open(platform::StoreFile(platform::Root::CurrentUser).c_str(), &h);
    sqlite3_exec(h,
                 "CREATE TRIGGER refuse BEFORE INSERT ON vals WHEN NEW.name = 'CheckBox3Check' "
                 "BEGIN SELECT RAISE(ABORT, 'refused'); END;",
                 nullptr, nullptr, nullptr);
    sqlite3_close(h);
    platform::ResetStoreConnections();
    try {
        WithSettings([](TRegistry& reg) {
            for (int n = 1; n <= 5; ++n) reg.WriteString(HourFlagName(n), "0");
        });
        FAIL() << "no exception";
    } catch (const ERegistryException& e) {
        EXPECT_STREQ(e.what(), "Failed to set data for 'CheckBox3Check'");
    }
    bool present = false;
    EXPECT_EQ(testing_support::Get("CheckBox2Check", &present), "0");
    EXPECT_TRUE(present);
    testing_support::Get("CheckBox4Check", &present);
    EXPECT_FALSE(present);
}

TEST(SettingsStore, FilesAreReadableByTheirOwnerOnly) {
    TempEnv env;
    WithSettings([](TRegistry& reg) { reg.WriteString("x", "y"); });
    EXPECT_EQ(Mode(env.userStore), 0700u);
    EXPECT_EQ(Mode(env.userStore + "/user.db"), 0600u);
    if (std::filesystem::exists(env.userStore + "/user.db-wal")) {
        EXPECT_EQ(Mode(env.userStore + "/user.db-wal"), 0600u);
    }
}

// Every account's login reads the machine-wide store, so nobody but its owner may write it: not
// a group that can write its directory, whatever the umask.
TEST(SettingsStore, AMachineStoreIsItsOwnersAloneToWriteEvenInAGroupDirectory) {
    TempEnv env;
    std::filesystem::create_directories(env.machineStore);
    ::chmod(env.machineStore.c_str(), 02775);
    const mode_t old = ::umask(0);
    WithKey(HKEY_LOCAL_MACHINE, kRunKey, [](TRegistry& reg) { reg.WriteString("Sentrel", "x"); });
    ::umask(old);
    EXPECT_EQ(Mode(env.machineStore + "/machine.db"), 0644u);
    TempEnv plain;
    WithKey(HKEY_LOCAL_MACHINE, kRunKey, [](TRegistry& reg) { reg.WriteString("Sentrel", "x"); });
    EXPECT_EQ(Mode(plain.machineStore + "/machine.db"), 0644u);
    EXPECT_EQ(Mode(plain.machineStore), 0755u);
}

TEST(SettingsStore, ADirectoryGivenWithATrailingSlashIsStillPrivate) {
    TempEnv env;
    const std::string dir = env.root + "/slashed";
    setenv("VELTRIX_USER_STORE", (dir + "//").c_str(), 1);
    WithSettings([](TRegistry& reg) { reg.WriteString("x", "y"); });
    EXPECT_EQ(Mode(dir), 0700u);
    EXPECT_EQ(Mode(dir + "/user.db"), 0600u);
    EXPECT_EQ(testing_support::Get("x"), "y");
}

TEST(SettingsStore, CorruptOrUnreadableFileMakesOpenKeyFalseAndIsLeftAlone) {
    TempEnv env;
    std::filesystem::create_directories(env.userStore);
    const std::string garbage(4096, 'x');
    env.WriteFile(env.userStore + "/user.db", garbage);
    bool ran = false;
    EXPECT_FALSE(WithSettings([&](TRegistry&) { ran = true; }));
    EXPECT_FALSE(ran);
    EXPECT_EQ(env.ReadFile(env.userStore + "/user.db"), garbage);

    // A machine-wide root that cannot be created at all.
    setenv("VELTRIX_MACHINE_STORE", "/dev/null/veltrix", 1);
    EXPECT_FALSE(WithKey(HKEY_LOCAL_MACHINE, kRunKey, [&](TRegistry&) { ran = true; }));
    EXPECT_FALSE(ran);
}

TEST(SettingsStore, FailedUseStillClosesTheKeySoTheNextUseWorks) {
    TempEnv env;
    testing_support::SetDword("EnterPassword", 3);
    EXPECT_THROW(WithSettings([](TRegistry& reg) {
                     reg.WriteString("before", "kept");
                     reg.ReadString("EnterPassword");
                 }),
                 ERegistryException);
    EXPECT_TRUE(WithSettings([](TRegistry& reg) { EXPECT_EQ(reg.ReadString("before"), "kept"); }));
}

TEST(Convert, IntegersKeepTheirSignAndBadTextHasTheExactMessage) {
    EXPECT_EQ(rtl::IntToStr(-8), "-8");
    EXPECT_EQ(rtl::IntToStr(0), "0");
    EXPECT_EQ(rtl::StrToInt("-8"), -8);
    EXPECT_EQ(rtl::StrToInt("+12"), 12);
    for (const char* bad : {"", " 1", "1 ", "abc", "12x", "+-1", "99999999999"}) {
        try {
            rtl::StrToInt(bad);
            ADD_FAILURE() << "accepted '" << bad << "'";
        } catch (const rtl::EConvertError& e) {
            EXPECT_EQ(e.what(), "'" + std::string(bad) + "' is not a valid integer value");
        }
    }
}

// The guard program reads whenever it likes: it must see every save whole or not at all.
TEST(SettingsStore, AnotherProcessNeverSeesHalfASavedGrid) {
    TempEnv env;
    const std::string tool = testing_support::ToolPath("veltrix-reg");
    std::atomic<bool> stop{false};
    std::atomic<int> saves{0};
    std::thread writer([&] {
        while (!stop) {
            const std::string flag = saves % 2 ? "1" : "0";
            WithSettings([&](TRegistry& reg) {
                for (int n = 1; n <= kHourFlags; ++n) reg.WriteString(HourFlagName(n), flag);
            });
            ++saves;
        }
    });
    int status = 0;
    const std::string out = testing_support::Run(
        "for i in $(seq 40); do '" + tool + "' list HKCU '" + kSettingsKey + "'; echo END; done",
        &status);
    stop = true;
    writer.join();
    EXPECT_EQ(status, 0);
    EXPECT_GT(saves.load(), 2);
    int listings = 0, nonEmpty = 0;
    std::size_t at = 0;
    while (true) {
        std::size_t end = out.find("END\n", at);
        if (end == std::string::npos) break;
        const std::string listing = out.substr(at, end - at);
        at = end + 4;
        ++listings;
        if (listing.empty()) continue;
        ++nonEmpty;
        const int lines = static_cast<int>(std::count(listing.begin(), listing.end(), '\n'));
        EXPECT_EQ(lines, kHourFlags);
        // Every line ends in its flag; names hold digits too, so count the flags at line ends.
        int flagZeros = 0, flagOnes = 0;
        for (std::size_t p = listing.find('\n'); p != std::string::npos;
             p = listing.find('\n', p + 1)) {
            if (listing[p - 1] == '0') ++flagZeros;
            if (listing[p - 1] == '1') ++flagOnes;
        }
        EXPECT_TRUE(flagZeros == kHourFlags || flagOnes == kHourFlags)
            << flagZeros << " zeros and " << flagOnes << " ones in one listing";
    }
    EXPECT_EQ(listings, 40);
    EXPECT_GT(nonEmpty, 0);
}

// A use that read a value used to leave its statement mid-row, so the connection kept an old
// snapshot after COMMIT, and after any write by another process every later use failed with
// "database is locked".
TEST(SettingsStore, AWriteByAnotherProcessBetweenUsesBreaksNothing) {
    TempEnv env;
    testing_support::Set("parametr1", "4");
    testing_support::Set("App1", "a");
    const std::string tool = testing_support::ToolPath("veltrix-reg");
    for (int round = 0; round < 3; ++round) {
        EXPECT_TRUE(
            WithSettings([](TRegistry& reg) { EXPECT_EQ(reg.ReadString("parametr1"), "4"); }));
        int status = -1;
        testing_support::Run(
            "'" + tool + "' set HKCU '" + kSettingsKey + "' App1 x" + std::to_string(round),
            &status);
        ASSERT_EQ(status, 0);
        ASSERT_TRUE(WithSettings([](TRegistry& reg) { reg.WriteString("NeedJobOrNot", "No"); }));
        EXPECT_EQ(testing_support::Get("NeedJobOrNot"), "No");
        EXPECT_EQ(testing_support::Get("App1"), "x" + std::to_string(round));
    }
}

// The panel's uses while another process writes grids, single values and deletions hundreds of
// times: each of them lands, none is refused, and no reader sees a mixed grid.
TEST(SettingsStore, EveryUseLandsWhileAnotherProcessKeepsWriting) {
    TempEnv env;
    testing_support::Set("parametr1", "0");
    const std::string writer = testing_support::ToolPath("store-writer");
    std::atomic<bool> writerDone{false};
    int writerStatus = -1;
    std::string writerOut;
    std::thread other([&] {
        writerOut = testing_support::Run("'" + writer + "' 300", &writerStatus);
        writerDone = true;
    });
    int uses = 0, mixed = 0;
    for (int i = 1; i <= 300 || !writerDone; ++i) {
        // As the start-up sequence: read the counter, write it back plus one.
        bool landed = WithSettings([&](TRegistry& reg) {
            const int count = rtl::StrToInt(reg.ReadString("parametr1"));
            reg.WriteString("parametr1", std::to_string(count + 1));
        });
        ASSERT_TRUE(landed) << "use " << i << " refused";
        ++uses;
        // As the guard: one read-only use over the grid.
        TRegistry reader;
        reader.RootKey(HKEY_CURRENT_USER);
        ASSERT_TRUE(reader.OpenKeyReadOnly(kSettingsKey));
        int zeros = 0, ones = 0;
        for (int n = 1; n <= kHourFlags; ++n) {
            const std::string flag = reader.ReadString(HourFlagName(n));
            zeros += flag == "0";
            ones += flag == "1";
        }
        reader.CloseKey();
        if (zeros + ones != 0 && zeros != kHourFlags && ones != kHourFlags) ++mixed;
        // As the blocked-applications dialog: nine values in one use.
        ASSERT_TRUE(WithSettings([&](TRegistry& reg) {
            for (int n = 3; n <= kBlockedApps; ++n) reg.WriteString(AppName(n), std::to_string(i));
        }));
        if (i > 5000) break;
    }
    other.join();
    EXPECT_EQ(writerStatus, 0) << "the other writer saw failures: " << writerOut;
    EXPECT_EQ(mixed, 0);
    EXPECT_EQ(testing_support::Get("parametr1"), std::to_string(uses));
    EXPECT_EQ(testing_support::Get("App9"), std::to_string(uses));
}
