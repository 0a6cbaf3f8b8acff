// The service and a member's own store, with a real throwaway account (root only): read and
// written as the account, never as root; a change behind the panel's back logged once; and the
// first sealing at the upgrade from a version without the service.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "lib/control/Protocol.h"
#include "lib/password/PasswordHash.h"
#include "lib/store/ValueNames.h"
#include "tests/support/GuardUser.h"
#include "veltrixd/AccountStore.h"
#include "veltrixd/Adopt.h"
#include "veltrixd/OutsideChanges.h"
#include "veltrixd/SealedStore.h"

namespace fs = std::filesystem;
using testing_support::GuardUser;
using veltrixd::AccountStoreRead;

namespace {

constexpr const char* kStore = "store";  // the throwaway account's store, within its home

class AccountStore : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!GuardUser::Possible()) GTEST_SKIP() << "needs root to create a throwaway user";
        user = std::make_unique<GuardUser>();
        sealedDir = user->root + "/sealed";
        sealed = std::make_unique<veltrixd::SealedStore>(sealedDir);
        ASSERT_TRUE(sealed->Prepare(nullptr));
    }
    void TearDown() override { user.reset(); }

    AccountStoreRead Read(const std::string& dir = kStore) {
        return veltrixd::ReadAccountStore(user->uid, dir,
                                          {store::kNeedJob, store::kPassword, "App1", "App2"});
    }

    std::unique_ptr<GuardUser> user;
    std::string sealedDir;
    std::unique_ptr<veltrixd::SealedStore> sealed;
};

TEST_F(AccountStore, IsReadAndWrittenAsTheAccountNeverAsRoot) {
    user->Set(store::kNeedJob, "Yes");
    user->Set("App1", "odd\tname\nwith lines");
    AccountStoreRead read = Read();
    ASSERT_EQ(read.status, AccountStoreRead::Ok) << read.why;
    EXPECT_EQ(read.values, (std::map<std::string, std::string>{{store::kNeedJob, "Yes"},
                                                               {"App1", "odd\tname\nwith lines"}}));

    std::string why;
    ASSERT_TRUE(veltrixd::WriteAccountValue(user->uid, kStore, store::kPassword, "$y$x", &why))
        << why;
    EXPECT_EQ(Read().values[store::kPassword], "$y$x");
    struct stat st {};
    ASSERT_EQ(::stat((user->store + "/user.db").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, user->uid) << "the store changed hands";

    // A store that is not there is said so, and not made.
    EXPECT_EQ(Read("nothing").status, AccountStoreRead::Absent);
    EXPECT_FALSE(fs::exists(user->home + "/nothing"));

    // The account points its store at one only root may read: the service reads nothing there.
    const std::string secret = user->root + "/secret";
    fs::create_directories(secret);
    ::chmod(secret.c_str(), 0700);
    fs::copy_file(user->store + "/user.db", secret + "/user.db");
    fs::create_directory_symlink(secret, user->home + "/planted");
    EXPECT_EQ(Read("planted").status, AccountStoreRead::Failed);
    EXPECT_FALSE(veltrixd::WriteAccountValue(user->uid, "planted", store::kNeedJob, "No", &why));
}

// What the outside changes tell the service: its lines.
struct Lines : veltrixd::OutsideChanges::Listener, std::vector<std::string> {
    void Log(const veltrixd::Account&, const std::string& text) override { push_back(text); }
    void PasswordInStore(const veltrixd::Account&) override {}
};

TEST_F(AccountStore, AChangeOutsideThePanelIsLoggedOnceAndThePanelsOwnNever) {
    Lines lines;
    veltrixd::OutsideChanges outside(*sealed, kStore, lines);
    // A check as the service makes it, to its end.
    auto check = [&] {
        outside.Seen({user->uid, user->name},
                     veltrixd::ReadAccountStore(user->uid, kStore, control::SealedNames()));
    };
    veltrixd::Sealed values{password::Hash("parent").value(),
                            {{store::kNeedJob, "Yes"}, {"CheckBox1Check", "1"}}};
    // The panel writes its store, then seals what it wrote.
    auto panelSaves = [&](const std::string& name, const std::string& value) {
        user->Set(name, value);
        values.values[name] = value;
        ASSERT_TRUE(sealed->Save(user->uid, values, nullptr));
    };
    panelSaves(store::kNeedJob, "Yes");
    panelSaves("CheckBox1Check", "1");
    for (int i = 0; i < 3; ++i) check();
    EXPECT_TRUE(lines.empty()) << lines.front();

    user->Set(store::kNeedJob, "No");
    check();
    EXPECT_TRUE(lines.empty()) << "a difference is told when it lasts";
    check();
    check();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0],
              "settings changed outside the panel (NeedJobOrNot); the parent's sealed settings "
              "stay in force");

    user->Set(store::kNeedJob, "no!");  // another change of the same value
    user->Set("App2", "x");
    check();
    check();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[1].find("(NeedJobOrNot, App2)"), std::string::npos) << lines[1];

    // The parent's panel puts things right: nothing to tell, then or later.
    panelSaves(store::kNeedJob, "Yes");
    user->Run({user->program + "veltrix-reg", "delete", "HKCU", store::kSettingsKey, "App2"});
    panelSaves("CheckBox1Check", "0");
    for (int i = 0; i < 3; ++i) check();
    EXPECT_EQ(lines.size(), 2u) << lines.back();

    fs::remove(user->store + "/user.db");
    fs::remove(user->store + "/user.db-wal");
    check();
    check();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[2].find("(the store was removed)"), std::string::npos) << lines[2];
}

// A child that changes its store all day long gets a few lines an hour, and one that counts the
// rest, so it cannot push the rest of the log out of it.
TEST_F(AccountStore, ChangesPastTheHoursShareAreCountedInOneLine) {
    Lines lines;
    veltrixd::OutsideChanges outside(*sealed, kStore, lines);
    ASSERT_TRUE(sealed->Save(
        user->uid, {password::Hash("parent").value(), {{store::kNeedJob, "Yes"}}}, nullptr));
    auto check = [&](const std::string& value) {
        veltrixd::AccountStoreRead read;
        read.status = veltrixd::AccountStoreRead::Ok;
        read.values = {{store::kNeedJob, value}};
        outside.Seen({user->uid, user->name}, read);
    };
    constexpr int kChanges = 40;
    for (int i = 0; i < kChanges; ++i) {  // each value lasts two checks: each is a change
        check("No " + std::to_string(i));
        check("No " + std::to_string(i));
    }
    EXPECT_EQ(lines.size(), static_cast<std::size_t>(veltrixd::kOutsideLinesPerHour));
    for (int i = 2 * kChanges; i < veltrixd::kOutsideReadsPerHour; ++i) check("Yes");
    EXPECT_EQ(lines.size(), static_cast<std::size_t>(veltrixd::kOutsideLinesPerHour));
    check("Yes");  // the hour is over
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(veltrixd::kOutsideLinesPerHour) + 1);
    EXPECT_EQ(lines.back(), "and " + std::to_string(kChanges - veltrixd::kOutsideLinesPerHour) +
                                " more changes of the settings outside the panel in the hour "
                                "before, not logged one by one");
    check("No");  // the next hour has its own share
    check("No");
    EXPECT_EQ(lines.size(), static_cast<std::size_t>(veltrixd::kOutsideLinesPerHour) + 2);
}

TEST_F(AccountStore, TheUpgradeSealsAPlainPasswordOnceAndTheStoreKeepsNoHashOfIt) {
    veltrixd::Config config;
    config.stateDir = sealedDir;
    config.group = user->MemberGroup();
    config.userStore = kStore;
    user->Set(store::kPassword, "secret");
    user->Set(store::kNeedJob, "Yes");
    user->Set("CheckBox5Check", "0");
    ASSERT_TRUE(veltrixd::AdoptStores(config));

    auto adopted = sealed->Load(user->uid, nullptr);
    ASSERT_TRUE(adopted);
    EXPECT_TRUE(password::Verify("secret", adopted->passwordHash));
    EXPECT_EQ(adopted->values, (std::map<std::string, std::string>{{store::kNeedJob, "Yes"},
                                                                   {"CheckBox5Check", "0"}}));
    // Nothing in the account's store to try words against: the marker stands in its place.
    EXPECT_EQ(Read().values[store::kPassword], store::kPasswordWithService);

    // Once sealed, the store's password is never taken again.
    user->Set(store::kPassword, "mine");
    ASSERT_TRUE(veltrixd::AdoptStores(config));
    EXPECT_EQ(sealed->Load(user->uid, nullptr)->passwordHash, adopted->passwordHash);

    // An account whose store has no password is left to a parent.
    ASSERT_TRUE(sealed->Save(user->uid, {}, nullptr));
    user->Run(
        {user->program + "veltrix-reg", "delete", "HKCU", store::kSettingsKey, store::kPassword});
    ASSERT_TRUE(veltrixd::AdoptStores(config));
    EXPECT_TRUE(sealed->Load(user->uid, nullptr)->passwordHash.empty());
}

}  // namespace
