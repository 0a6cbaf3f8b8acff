// The service's pieces without a socket: the sealed files, the wrong-password limit, and the
// requests as a caller sees them.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "lib/control/Protocol.h"
#include "lib/password/PasswordHash.h"
#include "veltrixd/LogDigest.h"
#include "veltrixd/RateLimit.h"
#include "veltrixd/Requests.h"
#include "veltrixd/SealedStore.h"

namespace {

using control::Fields;
using control::Parsed;

TEST(RateLimit, FiveWrongInAMinuteMakeEveryTryOfThatCallerWait) {
    veltrixd::RateLimit limit;
    constexpr uid_t kKid = 7, kMum = 1000;
    std::int64_t t = 1000;
    for (int i = 1; i <= 4; ++i) {
        EXPECT_EQ(limit.WaitMs(7, kKid, t), 0);
        EXPECT_FALSE(limit.Wrong(7, kKid, t));
        t += 1000;
    }
    EXPECT_TRUE(limit.Wrong(7, kKid, t));  // the fifth: one line in the log for this burst
    EXPECT_EQ(limit.WaitMs(7, kKid, t), 60000 - 4000);
    EXPECT_EQ(limit.WaitMs(8, kKid, t), 0);  // another account is not held up
    EXPECT_EQ(limit.WaitMs(7, kMum, t), 0);  // nor another caller (the parent)
    EXPECT_GT(limit.WaitMs(7, kKid, 60999), 0);
    EXPECT_EQ(limit.WaitMs(7, kKid, 61000), 0);
    EXPECT_TRUE(limit.Wrong(7, kKid, 61000));  // still four within the minute: waits again
    limit.Right(7, kMum);  // the parent's right password clears only the parent's count
    EXPECT_GT(limit.WaitMs(7, kKid, 61000), 0);
    limit.Right(7, kKid);
    EXPECT_EQ(limit.WaitMs(7, kKid, 61000), 0);
    for (int i = 0; i < 5; ++i) limit.Wrong(7, kKid, 62000);
    limit.Forget(7);  // a new password: every count goes
    EXPECT_EQ(limit.WaitMs(7, kKid, 62000), 0);
    // Wrong tries spread over more than a minute never wait.
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(limit.WaitMs(9, kKid, i * 16000), 0);
        EXPECT_FALSE(limit.Wrong(9, kKid, i * 16000));
    }
}

class SealedDir : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/veltrix-sealed-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        root_ = tmpl;
        dir_ = root_ + "/sealed";
    }
    void TearDown() override { std::system(("rm -rf '" + root_ + "'").c_str()); }
    std::string root_, dir_;
};

TEST_F(SealedDir, KeepsValuesWholeAndIsPrivate) {
    veltrixd::SealedStore store(dir_);
    ASSERT_TRUE(store.Prepare(nullptr));
    ::chmod(dir_.c_str(), 0755);
    ASSERT_TRUE(store.Prepare(nullptr));  // taken back
    struct stat st {};
    ASSERT_EQ(::stat(dir_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);

    EXPECT_EQ(store.Load(1000, nullptr), veltrixd::Sealed{});  // none yet: empty
    veltrixd::Sealed s;
    s.passwordHash = *password::Hash("pw");
    s.values["App1"] = "Game.EXE\twith\ntabs";
    s.values["CheckBox3Check"] = "0";
    ASSERT_TRUE(store.Save(1000, s, nullptr));
    EXPECT_EQ(store.Load(1000, nullptr), s);
    ASSERT_EQ(::stat(store.FileOf(1000).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST_F(SealedDir, ADamagedFileIsReportedAndLeftAsItIs) {
    veltrixd::SealedStore store(dir_);
    ASSERT_TRUE(store.Prepare(nullptr));
    for (const std::string text :
         {"", "garbage\n", "veltrix-sealed\t1\nApp1\n", "password\tx\nveltrix-sealed\t1\n"}) {
        std::ofstream(store.FileOf(5)) << text;
        std::string why;
        EXPECT_FALSE(store.Load(5, &why)) << text;
        EXPECT_NE(why.find("/5"), std::string::npos) << why;
        std::ifstream in(store.FileOf(5));
        std::stringstream back;
        back << in.rdbuf();
        EXPECT_EQ(back.str(), text);
    }
    // A link in an account's place is not followed.
    ::unlink(store.FileOf(6).c_str());
    ASSERT_EQ(::symlink("/etc/hostname", store.FileOf(6).c_str()), 0);
    EXPECT_FALSE(store.Load(6, nullptr));
}

// The rest of the service as the requests see it: what they do is noted.
class RequestsTest : public SealedDir, public veltrixd::RequestsOutside {
  protected:
    void SetUp() override {
        SealedDir::SetUp();
        store_ = std::make_unique<veltrixd::SealedStore>(dir_);
        ASSERT_TRUE(store_->Prepare(nullptr));
        requests_ = std::make_unique<veltrixd::Requests>(*store_, *this);
    }
    std::int64_t NowMs() override { return now_; }
    void Log(const veltrixd::Account& a, const std::string& text) override {
        log_.push_back(a.name + ": " + text);
    }
    void Seen(const veltrixd::Account& a) override { seen_.push_back(a.name); }
    void SealedChanged(const veltrixd::Account& a) override { changed_.push_back(a.uid); }
    bool ClearLog(const veltrixd::SeenLog& seen, std::string*) override {
        cleared_ = static_cast<long long>(seen.bytes);
        clearedInode_ = seen.inode;
        clearedPrevious_ = seen.previousBytes;
        return true;
    }
    bool Autostart(bool on, std::string*) override {
        autostart_ = on ? "on" : "off";
        return true;
    }
    bool AutostartIsOn() override { return autostart_ == "on"; }
    std::optional<veltrixd::Account> AccountNamed(const std::string& name) override {
        for (const veltrixd::Caller* c : {&kid_, &sister_, &guest_, &mum_})
            if (c->account.name == name) return c->account;
        return std::nullopt;
    }
    std::vector<veltrixd::Account> Members() override { return {kid_.account, sister_.account}; }
    bool IsMember(const veltrixd::Account& a) override { return a.uid == 1001 || a.uid == 1002; }
    Fields StateOf(const veltrixd::Account&) override {
        return Fields{"on", "blocked", "until 17:00", "2", "4320/120", "the newest alert"};
    }
    Fields UseOf(const veltrixd::Account&) override { return use_; }
    std::string AskMoreTime(const veltrixd::Account& a, int minutes,
                            const std::string& reason) override {
        asked_.push_back(a.name + " " + std::to_string(minutes) + " " + reason);
        return {};
    }
    std::optional<Request> OpenRequest(const veltrixd::Account& a) override {
        if (a.name != "kid" || asked_.empty()) return std::nullopt;
        return Request{30, "18:42", "maths homework"};
    }
    std::string AnswerFor(const veltrixd::Account& a, const veltrixd::Account& parent,
                          const ParentAnswer& answer) override {
        answered_.push_back(a.name + " " + parent.name + " " + std::to_string(answer.kind) + " " +
                            std::to_string(answer.minutes) + " " +
                            std::to_string(answer.untilMinute) + " " + answer.words);
        return {};
    }
    std::string Stamped(const veltrixd::Account& a, const std::string& text) override {
        return a.name + ": " + text;
    }
    Fields Ask(const veltrixd::Caller& c, Fields request) { return requests_->Handle(c, request); }

    const veltrixd::Caller kid_{{1001, "kid"}, true};
    const veltrixd::Caller sister_{{1002, "sister"}, true};
    const veltrixd::Caller guest_{{1003, "guest"}, false};
    const veltrixd::Caller root_{{0, "root"}, false, true};
    const veltrixd::Caller mum_{{1500, "mum"}, false, true};
    // The first password of `who`, set as a parent sets it.
    Fields First(const veltrixd::Caller& who, const std::string& password) {
        return Ask(mum_, {"for", who.account.name, "first", password});
    }
    std::int64_t now_ = 100000;
    std::vector<std::string> log_;
    std::vector<uid_t> changed_;
    std::vector<std::string> seen_;  // whose password was given
    long long cleared_ = -1;
    std::uint64_t clearedInode_ = 0, clearedPrevious_ = 0;
    std::string autostart_;
    Fields use_{"2026-12-09"};
    std::vector<std::string> asked_, answered_;
    std::unique_ptr<veltrixd::SealedStore> store_;
    std::unique_ptr<veltrixd::Requests> requests_;
};

TEST_F(RequestsTest, TheFirstPasswordIsSealedOnceAndGuardsEverything) {
    EXPECT_EQ(Ask(kid_, {"status"}), (Fields{"ok", "member", "unsealed", "kid"}));
    EXPECT_EQ(Ask(kid_, {"verify", "anything"})[0], "error");  // nothing sealed: nothing unlocks
    // Never from the child's own account, so no poll of the child's wins the first password.
    EXPECT_EQ(
        Ask(kid_, {"first", "child's own"}),
        (Fields{"error", "The password of this account is set in Veltrix in a parent's account."}));
    EXPECT_EQ(Ask(kid_, {"status"})[2], "unsealed");
    EXPECT_EQ(First(kid_, "family pw"), Fields{"ok"});
    EXPECT_EQ(Ask(kid_, {"status"}), (Fields{"ok", "member", "sealed", "kid"}));
    EXPECT_EQ(First(kid_, "child's own")[0], "error");
    EXPECT_EQ(Ask(kid_, {"verify", "family pw"}), Fields{"ok"});
    EXPECT_EQ(Ask(kid_, {"verify", "child's own"}), (Fields{"error", "wrong password"}));
    // The hash is what is sealed, never the password.
    std::ifstream in(store_->FileOf(1001));
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str().find("family pw"), std::string::npos);
    EXPECT_NE(text.str().find("$y$"), std::string::npos);

    // Settings: only the enforced names, only with the password; what is not sent stays.
    EXPECT_EQ(Ask(kid_, {"save", "family pw", "NeedJobOrNot=Yes", "CheckBox5Check=0"}),
              Fields{"ok"});
    EXPECT_EQ(Ask(kid_, {"save", "family pw", "App1=game"}), Fields{"ok"});
    EXPECT_EQ(Ask(kid_, {"save", "wrong", "NeedJobOrNot=No"})[0], "error");
    EXPECT_EQ(Ask(kid_, {"save", "family pw", "EnterPassword=x"})[0], "error");
    EXPECT_EQ(Ask(kid_, {"save", "family pw", "NeedJobOrNot"})[0], "error");
    EXPECT_EQ(Ask(kid_, {"read", "family pw"}),
              (Fields{"ok", "App1=game", "CheckBox5Check=0", "NeedJobOrNot=Yes"}));
    EXPECT_EQ(Ask(kid_, {"read", "wrong"})[0], "error");
    EXPECT_EQ(changed_, (std::vector<uid_t>{1001, 1001, 1001}));  // first, save, save

    // Another member's settings are its own.
    EXPECT_EQ(Ask(sister_, {"status"}), (Fields{"ok", "member", "unsealed", "sister"}));
    EXPECT_EQ(Ask(sister_, {"read", "family pw"})[0], "error");

    // Changing the password needs the old one.
    EXPECT_EQ(Ask(kid_, {"change", "wrong", "mine"})[0], "error");
    EXPECT_EQ(Ask(kid_, {"change", "family pw", "new pw"}), Fields{"ok"});
    EXPECT_EQ(Ask(kid_, {"verify", "family pw"})[0], "error");
    EXPECT_EQ(Ask(kid_, {"verify", "new pw"}), Fields{"ok"});

    EXPECT_EQ(Ask(kid_, {"clear-log", "new pw", "1234"}), Fields{"ok"});
    EXPECT_EQ(cleared_, 1234);
    EXPECT_EQ(clearedInode_, 0u);
    EXPECT_EQ(Ask(kid_, {"clear-log", "new pw", "20", "77", "300"}), Fields{"ok"});
    EXPECT_EQ(cleared_, 20);
    EXPECT_EQ(clearedInode_, 77u);
    EXPECT_EQ(clearedPrevious_, 300u);
    EXPECT_EQ(Ask(kid_, {"clear-log", "new pw", "-1"})[0], "error");
    EXPECT_EQ(Ask(kid_, {"clear-log", "new pw", "1", "2"})[0], "error");
    EXPECT_EQ(Ask(kid_, {"autostart", "wrong", "off"})[0], "error");
    EXPECT_EQ(autostart_, "");
    EXPECT_EQ(Ask(kid_, {"autostart", "new pw", "off"}), Fields{"ok"});
    EXPECT_EQ(autostart_, "off");
}

TEST_F(RequestsTest, GuessingWaitsAndIsLoggedOncePerBurst) {
    ASSERT_EQ(First(kid_, "family pw"), Fields{"ok"});
    log_.clear();
    for (int i = 0; i < 5; ++i) EXPECT_EQ(Ask(kid_, {"verify", "guess"})[1], "wrong password");
    ASSERT_EQ(log_.size(), 1u);
    EXPECT_EQ(log_[0], "kid: 5 wrong passwords within a minute: every try waits");
    log_.clear();
    // The parents see the wrong ones at once, as the newest alert of that child alone; the log
    // has them once their minute is over.
    const std::string soFar = "kid: 5 wrong passwords for kid from the account of kid so far";
    EXPECT_EQ(Ask(mum_, {"state", "kid"}).back(), soFar);
    EXPECT_EQ(Ask(mum_, {"state", "sister"}).back(), "the newest alert");
    const Fields family = Ask(mum_, {"family-states"});
    ASSERT_EQ(family.size(), 3u);
    EXPECT_NE(family[1].find(soFar), std::string::npos) << family[1];
    EXPECT_EQ(family[2].find("wrong"), std::string::npos) << family[2];
    EXPECT_EQ(Ask(kid_, {"mine"}).size(), 5u);  // nothing of it for the child
    // Now even the right password waits; the sister's account does not.
    const Fields held = Ask(kid_, {"verify", "family pw"});
    EXPECT_EQ(held[0], "error");
    EXPECT_NE(held[1].find("Try again in 60 seconds"), std::string::npos) << held[1];
    // The child's guessing never makes the parent wait; nor did it see the alerts: only the
    // parent who gave the password did.
    EXPECT_TRUE(seen_.empty());
    EXPECT_EQ(Ask(mum_, {"for", "kid", "verify", "family pw"}), Fields{"ok"});
    EXPECT_EQ(seen_, std::vector<std::string>{"kid"});
    EXPECT_EQ(Ask(kid_, {"verify", "family pw"})[0], "error");
    EXPECT_EQ(First(sister_, "x"), Fields{"ok"});
    EXPECT_EQ(Ask(sister_, {"verify", "x"}), Fields{"ok"});
    now_ += 60000;
    EXPECT_EQ(Ask(kid_, {"verify", "family pw"}), Fields{"ok"});
    // Each wrong one reached the parent, folded into one line once its minute was over.
    EXPECT_EQ(log_, (std::vector<std::string>{
                        "sister: The first password was set, from the account of mum",
                        "kid: 5 wrong passwords for kid from the account of kid"}));
    EXPECT_EQ(Ask(mum_, {"state", "kid"}).back(), "the newest alert");
}

TEST_F(RequestsTest, OutsidersAndTheAdministrator) {
    EXPECT_EQ(Ask(guest_, {"status"}), (Fields{"ok", "not-member", "unsealed", "guest"}));
    for (const Fields& r : {Fields{"first", "x"}, Fields{"verify", "x"}, Fields{"read", "x"},
                            Fields{"save", "x", "NeedJobOrNot=No"}, Fields{"reset", "kid"}})
        EXPECT_EQ(Ask(guest_, r)[0], "error") << r[0];
    EXPECT_TRUE(changed_.empty());

    // Only root resets, and only the password: the settings stay.
    ASSERT_EQ(First(kid_, "forgotten"), Fields{"ok"});
    ASSERT_EQ(Ask(kid_, {"save", "forgotten", "NeedJobOrNot=No"}), Fields{"ok"});
    EXPECT_EQ(Ask(kid_, {"reset", "kid"})[0], "error");
    EXPECT_EQ(Ask(mum_, {"reset", "kid"})[0], "error");
    EXPECT_EQ(Ask(root_, {"reset", "nobody-here"})[0], "error");
    EXPECT_EQ(Ask(root_, {"reset", "kid"}), Fields{"ok"});
    EXPECT_EQ(log_.back(),
              "kid: The administrator reset the password: a parent sets the next one in Veltrix "
              "in a parent's account");
    EXPECT_EQ(Ask(kid_, {"status"})[2], "unsealed");
    EXPECT_EQ(Ask(kid_, {"first", "mine"})[0], "error");
    EXPECT_EQ(First(kid_, "parent's"), Fields{"ok"});
    EXPECT_EQ(Ask(kid_, {"read", "parent's"}), (Fields{"ok", "NeedJobOrNot=No"}));
    // Or the administrator types the new one.
    EXPECT_EQ(Ask(root_, {"reset", "kid", "typed by root"}), Fields{"ok"});
    EXPECT_EQ(log_.back(), "kid: The administrator set a new password");
    EXPECT_EQ(Ask(kid_, {"verify", "typed by root"}), Fields{"ok"});

    // Unknown verbs and wrong arity are errors, never a crash.
    for (const Fields& r : {Fields{"status", "x"}, Fields{"verify"}, Fields{"change", "a"},
                            Fields{"nonsense"}, Fields{"save"}, Fields{"autostart", "x", "maybe"}})
        EXPECT_EQ(Ask(kid_, r)[0], "error") << r[0];
}

TEST_F(RequestsTest, ADamagedSealedFileUnlocksNothing) {
    ASSERT_EQ(First(kid_, "pw"), Fields{"ok"});
    std::ofstream(store_->FileOf(1001)) << "damaged\n";
    EXPECT_EQ(Ask(kid_, {"status"})[2], "sealed");
    EXPECT_EQ(Ask(kid_, {"verify", "pw"})[0], "error");
    EXPECT_EQ(First(kid_, "mine")[0], "error");
}

TEST_F(RequestsTest, AParentReadsAMembersUseInOneLineWhateverItsProgramsAreCalled) {
    use_ = {"2026-12-09", "day 2026-12-08 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 3600 0 0 0 0 0",
            "program 2026-12-09 60 firefox"};
    EXPECT_EQ(Ask(mum_, {"use", "kid"}), (Fields{"ok", "2026-12-09", use_[1], use_[2]}));
    EXPECT_NE(Ask(mum_, {"use", "guest"})[1].find("no account"), std::string::npos);
    // A child may give its programs long names of '%' (three bytes each on the line): the reply
    // leaves out programs until it is one line, and keeps every day's hours.
    use_.resize(2);
    for (int i = 0; i < 32; ++i)
        use_.push_back("program 2026-12-09 60 " + std::to_string(i) + std::string(200, '%'));
    const Fields reply = Ask(mum_, {"use", "kid"});
    ASSERT_EQ(reply[0], "ok");
    EXPECT_EQ(reply[2], use_[1]);
    EXPECT_LT(reply.size(), use_.size() + 1);
    EXPECT_GT(reply.size(), 10u);
    EXPECT_LE(control::Encode(reply).size(), control::kMaxLine);
}

TEST_F(RequestsTest, AChildAsksForItselfAndOnlyAParentAnswersWithThePassword) {
    ASSERT_EQ(First(kid_, "family pw"), Fields{"ok"});
    EXPECT_EQ(Ask(kid_, {"ask", "30", "maths homework"}), Fields{"ok"});
    EXPECT_EQ(Ask(kid_, {"ask", "hour", ""}), Fields{"ok"});
    EXPECT_EQ(asked_, (std::vector<std::string>{"kid 30 maths homework", "kid 0 "}));
    // Only what is offered, and a reason that is one plain line.
    for (const Fields& r :
         {Fields{"ask", "45", "x"}, Fields{"ask", "1e3", "x"}, Fields{"ask", "30", "a\nb"},
          Fields{"ask", "30", std::string(10240, 'x')}, Fields{"ask", "30", "\x1b[2J"}})
        EXPECT_EQ(Ask(kid_, r)[0], "error") << r[2];
    EXPECT_EQ(asked_.size(), 2u);
    // Nobody else asks, and a parent's "for" cannot ask in a child's name.
    for (const veltrixd::Caller* c : {&guest_, &mum_, &root_})
        EXPECT_EQ(Ask(*c, {"ask", "30", "x"})[0], "error") << c->account.name;
    EXPECT_EQ(Ask(mum_, {"for", "kid", "ask", "30", "x"})[0], "error");
    // The parents see the open requests.
    const Fields asks = Ask(mum_, {"asks"});
    ASSERT_EQ(asks.size(), 2u);
    EXPECT_EQ(control::Parse(asks[1] + "\n").fields,
              (Fields{"kid", "30", "18:42", "maths homework"}));
    EXPECT_EQ(Ask(kid_, {"asks"})[0], "error");
    // The child reads its own day and its open request, and nothing of the parents'.
    EXPECT_EQ(Ask(kid_, {"mine"}), (Fields{"ok", "on", "blocked", "until 17:00", "4320/120", "30",
                                           "18:42", "maths homework"}));
    for (const veltrixd::Caller* c : {&guest_, &mum_, &root_})
        EXPECT_EQ(Ask(*c, {"mine"})[0], "error") << c->account.name;
    EXPECT_EQ(Ask(mum_, {"for", "kid", "mine"})[0], "error");
    // Answers: from a parent, with the child's password; never from the child itself.
    EXPECT_EQ(Ask(mum_, {"for", "kid", "grant", "family pw", "30", "after dinner"}), Fields{"ok"});
    EXPECT_EQ(Ask(mum_, {"for", "kid", "grant", "family pw", "20:30"}), Fields{"ok"});
    EXPECT_EQ(Ask(mum_, {"for", "kid", "refuse", "family pw"}), Fields{"ok"});
    EXPECT_EQ(Ask(mum_, {"for", "kid", "pause", "family pw", "19:15", "dinner"}), Fields{"ok"});
    EXPECT_EQ(Ask(mum_, {"for", "kid", "pause", "family pw", "midnight"}), Fields{"ok"});
    EXPECT_EQ(answered_, (std::vector<std::string>{"kid mum 0 30 -1 after dinner",
                                                   "kid mum 0 0 1230 ", "kid mum 1 0 -1 ",
                                                   "kid mum 2 0 1155 dinner", "kid mum 2 0 -1 "}));
    for (const Fields& r : {Fields{"for", "kid", "grant", "wrong", "30"},
                            Fields{"for", "kid", "grant", "family pw", "25:00"},
                            Fields{"for", "kid", "grant", "family pw", "0"},
                            Fields{"for", "kid", "pause", "family pw", "soon"},
                            Fields{"for", "kid", "refuse", "family pw", "two\nlines"}})
        EXPECT_EQ(Ask(mum_, r)[0], "error") << r[3] << " " << r[4];
    for (const Fields& r : {Fields{"grant", "family pw", "60"},
                            Fields{"pause", "family pw", "20:00"}, Fields{"refuse", "family pw"}})
        EXPECT_EQ(Ask(kid_, r)[0], "error") << r[0];
    EXPECT_EQ(Ask(kid_, {"for", "kid", "grant", "family pw", "60"})[0], "error");
    EXPECT_EQ(answered_.size(), 5u);
}

TEST_F(RequestsTest, AParentManagesEveryMemberFromItsOwnAccount) {
    EXPECT_EQ(Ask(mum_, {"status"}), (Fields{"ok", "parent", "unsealed", "mum"}));
    EXPECT_EQ(Ask(mum_, {"family"}), (Fields{"ok", "kid", "sister"}));
    EXPECT_EQ(Ask(mum_, {"state", "kid"}), (Fields{"ok", "unsealed", "on", "blocked", "until 17:00",
                                                   "2", "4320/120", "the newest alert"}));
    ASSERT_EQ(First(kid_, "family pw"), Fields{"ok"});
    ASSERT_EQ(First(sister_, "family pw"), Fields{"ok"});
    EXPECT_EQ(Ask(mum_, {"state", "kid"})[1], "sealed");
    // The whole family in one reply: each member's line as "state" tells it, the name first.
    const Fields family = Ask(mum_, {"family-states"});
    ASSERT_EQ(family.size(), 3u);
    EXPECT_EQ(family[0], "ok");
    EXPECT_EQ(control::Parse(family[1] + "\n").fields,
              (Fields{"kid", "sealed", "on", "blocked", "until 17:00", "2", "4320/120",
                      "the newest alert"}));
    EXPECT_EQ(control::Parse(family[2] + "\n").fields.at(0), "sister");
    // Every request on a member's settings, with that member's password.
    EXPECT_EQ(Ask(mum_, {"for", "kid", "save", "family pw", "CheckBox9Check=0"}), Fields{"ok"});
    EXPECT_EQ(Ask(mum_, {"for", "kid", "read", "family pw"}), (Fields{"ok", "CheckBox9Check=0"}));
    EXPECT_EQ(Ask(kid_, {"read", "family pw"}), (Fields{"ok", "CheckBox9Check=0"}));
    EXPECT_EQ(Ask(mum_, {"for", "sister", "read", "family pw"}), Fields{"ok"});
    EXPECT_EQ(Ask(mum_, {"for", "kid", "change", "family pw", "kid's pw"}), Fields{"ok"});
    EXPECT_EQ(Ask(mum_, {"for", "kid", "autostart", "kid's pw", "on"}), Fields{"ok"});
    EXPECT_EQ(autostart_, "on");
    EXPECT_EQ(Ask(mum_, {"for", "kid", "autostart", "kid's pw"}), (Fields{"ok", "on"}));
    EXPECT_EQ(Ask(mum_, {"for", "kid", "clear-log", "kid's pw", "10", "1", "0"}), Fields{"ok"});
    EXPECT_EQ(cleared_, 10);

    // Only members are managed, only by parents; nobody else lists the family.
    for (const Fields& r : {Fields{"state", "guest"}, Fields{"for", "guest", "verify", "x"},
                            Fields{"for", "mum", "read", "x"}, Fields{"state", "nobody"}})
        EXPECT_NE(Ask(mum_, r)[1].find("no account"), std::string::npos) << r[1];
    for (const veltrixd::Caller* c : {&kid_, &guest_})
        for (const Fields& r : {Fields{"family"}, Fields{"family-states"}, Fields{"state", "kid"},
                                Fields{"use", "kid"}, Fields{"use", "sister"},
                                Fields{"for", "sister", "verify", "family pw"}})
            EXPECT_EQ(Ask(*c, r)[0], "error") << c->account.name << " " << r[0];
    EXPECT_EQ(Ask(mum_, {"verify", "family pw"})[0], "error");  // a parent has no settings
    EXPECT_EQ(Ask(kid_, {"try", "family pw"})[0], "error");     // nor a child a quiet try

    // Each wrong password reaches the parent, one line per account, caller and minute; the
    // parent's "try" of a password typed for another child is quiet.
    log_.clear();
    EXPECT_EQ(Ask(mum_, {"for", "kid", "try", "family pw"}), (Fields{"error", "wrong password"}));
    EXPECT_EQ(Ask(mum_, {"for", "sister", "try", "family pw"}), Fields{"ok"});
    EXPECT_EQ(Ask(kid_, {"verify", "guess 1"})[0], "error");
    EXPECT_EQ(Ask(mum_, {"for", "kid", "verify", "typo"})[0], "error");
    now_ += 30000;
    EXPECT_EQ(Ask(kid_, {"verify", "guess 2"})[0], "error");
    EXPECT_EQ(Ask(kid_, {"verify", "guess 3"})[0], "error");
    requests_->Flush();
    // The minute is not over. Each caller's tries count apart against the limit (three and two).
    EXPECT_TRUE(log_.empty());
    now_ += 30000;
    EXPECT_EQ(Ask(kid_, {"verify", "guess 4"})[0], "error");  // a minute of its own
    requests_->Flush();
    EXPECT_EQ(log_,
              (std::vector<std::string>{"kid: 3 wrong passwords for kid from the account of kid",
                                        "kid: 1 wrong password for kid from the account of mum"}));
    requests_->Flush(true);
    EXPECT_EQ(log_.back(), "kid: 1 wrong password for kid from the account of kid");
}

TEST(LogDigest, TodaysStopsOfOneAccountAndItsNewestAlerts) {
    const std::string log =
        "2026-12-08 23:59:00 [kid] Stopped firefox (pid 1, /usr/bin/firefox), a web browser\n"
        "2026-12-09 08:00:00 [kid] veltrixd 1.0 started: blocking on\n"
        "2026-12-09 08:01:00 [kid] Stopped firefox (pid 2, /usr/bin/firefox), a web browser\n"
        "2026-12-09 08:02:00 [sister] Stopped chromium (pid 3, /usr/bin/chromium), a web browser\n"
        "2026-12-09 08:30:00 [kid] firefox was stopped 7 more times since 2026-12-09 08:01:00\n"
        "2026-12-09 09:00:00 [kid] and 30 more programs stopped since 2026-12-09 08:00:00, not "
        "named one by one (the last: x)\n"
        "damaged line\n"
        "2026-12-09 09:05:00 [kid] 3 wrong passwords for kid from the account of kid\n"
        "2026-12-09 09:06:00 [kidding] Stopped game (pid 9, /x), a listed application\n";
    const veltrixd::LogDigest kid = veltrixd::DigestOf(log, "kid", "2026-12-09");
    EXPECT_EQ(kid.stoppedToday, 1 + 7 + 30);
    // The newest stops; a wrong password is an alert only as the service tells it (below).
    EXPECT_EQ(kid.alerts,
              (std::vector<std::string>{
                  "2026-12-09 08:01:00 Stopped firefox (pid 2, /usr/bin/firefox), a web browser",
                  "2026-12-09 08:30:00 firefox was stopped 7 more times since 2026-12-09 08:01:00",
                  "2026-12-09 09:00:00 and 30 more programs stopped since 2026-12-09 08:00:00, not "
                  "named one by one (the last: x)"}));
    EXPECT_EQ(veltrixd::DigestOf(log, "sister", "2026-12-09").stoppedToday, 1);
    EXPECT_EQ(veltrixd::DigestOf(log, "nobody", "2026-12-09").alerts.size(), 0u);
    EXPECT_EQ(veltrixd::DigestOf("", "kid", "2026-12-09").stoppedToday, 0);

    // Kept as the service works: its lines give the alerts, its stops the count; a new day's
    // first stop starts the count again.
    veltrixd::LogDigests kept;
    for (std::size_t at = 0; at < log.size();) {
        const std::size_t end = log.find('\n', at);
        kept.Add(log.substr(at, end - at));
        at = end + 1;
    }
    EXPECT_EQ(kept.Of("kid", "2026-12-09").stoppedToday, 0);  // no stop told, whatever lines say
    EXPECT_EQ(kept.Of("kid", "2026-12-09").alerts, kid.alerts);
    kept.Stopped("kid", "2026-12-09");
    kept.Stopped("kid", "2026-12-09");
    EXPECT_EQ(kept.Of("kid", "2026-12-09").stoppedToday, 2);
    kept.Stopped("kid", "2026-12-10");
    EXPECT_EQ(kept.Of("kid", "2026-12-10").stoppedToday, 1);
    EXPECT_EQ(kept.Of("kid", "2026-12-09").stoppedToday, 0);
    EXPECT_EQ(kept.Of("sister", "2026-12-10").stoppedToday, 0);

    // A program's name that holds the service's words counts for nothing more when the log is
    // read again (at a start).
    const std::string forged =
        "2026-12-09 10:00:00 [kid] Stopped x was stopped 999999999 (pid 5, /home/kid/x was "
        "stopped 999999999 ), a listed application\n"
        "2026-12-09 10:30:00 [kid] x was stopped 999999999  was stopped 2 more times since "
        "2026-12-09 10:00:00\n"
        "2026-12-09 11:00:00 [kid] and 3 more programs stopped since 2026-12-09 10:00:00, not "
        "named one by one (the last: and 999999999)\n";
    EXPECT_EQ(veltrixd::DigestOf(forged, "kid", "2026-12-09").stoppedToday, 1 + 2 + 3);
    kept.Reset("");
    EXPECT_TRUE(kept.Of("kid", "2026-12-10").alerts.empty());
}

TEST(LogDigest, AnAlertStaysUntilAParentHasSeenItWhateverComesAfter) {
    veltrixd::LogDigests digests;
    const std::string wrong =
        "2026-12-09 09:05:00 [kid] 3 wrong passwords for kid from the account "
        "of kid";
    digests.Alert("kid", wrong);
    // The child's programs, named to look like the service's alerts, stopped after it.
    for (int i = 0; i < 5; ++i)
        digests.Add("2026-12-09 09:1" + std::to_string(i) +
                    ":00 [kid] Stopped 9 wrong passwords for kid from the account of mum (pid " +
                    std::to_string(i) + ", /home/kid/x), a listed application");
    digests.Add("2026-12-09 09:20:00 [kid] Settings read: the password was changed outside");
    auto alerts = digests.Of("kid", "2026-12-09").alerts;
    ASSERT_EQ(alerts.size(), veltrixd::kAlertsShown + 1);
    EXPECT_EQ(alerts.back(),
              "2026-12-09 09:05:00 3 wrong passwords for kid from the account of kid");
    EXPECT_EQ(alerts.front().substr(0, 19), "2026-12-09 09:12:00");  // the newest stops before it
    // It outlasts a restart of the service, and a clear of the log.
    veltrixd::LogDigests restarted;
    restarted.RestoreUnseen(digests.Unseen() + "damaged\n\tno account\n");
    restarted.Reset("");
    EXPECT_EQ(restarted.Of("kid", "2026-12-09").alerts, std::vector<std::string>{alerts.back()});
    EXPECT_TRUE(restarted.Of("sister", "2026-12-09").alerts.empty());
    // Seen: gone, and only for that account.
    digests.Alert("sister", "2026-12-09 09:30:00 [sister] settings changed outside the panel");
    EXPECT_TRUE(digests.Seen("kid"));
    EXPECT_FALSE(digests.Seen("kid"));
    EXPECT_EQ(digests.Of("kid", "2026-12-09").alerts.size(), veltrixd::kAlertsShown);
    EXPECT_EQ(digests.Unseen(), "sister\t2026-12-09 09:30:00 settings changed outside the panel\n");
    // A flood of alerts keeps the newest.
    for (int i = 0; i < 50; ++i)
        digests.Alert("kid", "2026-12-09 10:00:" + std::to_string(10 + i % 50) +
                                 " [kid] 1 wrong password for kid from the account of kid");
    EXPECT_EQ(digests.Of("kid", "2026-12-09").alerts.size(),
              veltrixd::kAlertsShown + veltrixd::kUnseenKept);
}

}  // namespace
