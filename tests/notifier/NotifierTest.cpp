// The parents' notifier: which requests are new, and the program itself in a parent's session (a
// session bus of the test's own, a notification service that records what it is sent and clicks
// the action) against the real service, as a throwaway child asks.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "lib/store/ValueNames.h"
#include "notifier/NewRequests.h"
#include "tests/support/AskAs.h"
#include "tests/support/GuardUser.h"
#include "tests/support/ServiceProcess.h"
#include "tests/support/TempEnv.h"
#include "tests/support/Wait.h"

namespace fs = std::filesystem;
using control::Fields;
using testing_support::GuardUser;

namespace {

std::string Line(const Fields& fields) {
    std::string line = control::Encode(fields);
    line.pop_back();
    return line;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace

TEST(NewRequests, EachRequestIsToldOnceWhileItIsOpen) {
    notifier::NewRequests requests;
    const std::string kid = Line({"kid", "30", "18:42", "maths homework"});
    const std::string sister = Line({"sister", "hour", "18:50", "-"});
    auto texts = [&](const Fields& reply) {
        std::vector<std::string> out;
        for (const notifier::Asked& a : requests.Take(reply)) out.push_back(a.Text());
        return out;
    };
    EXPECT_EQ(texts({"ok", kid}),
              std::vector<std::string>{"kid asks for 30 more minutes: maths homework"});
    EXPECT_TRUE(texts({"ok", kid}).empty());
    EXPECT_EQ(texts({"ok", kid, sister}),
              std::vector<std::string>{"sister asks for the rest of this hour"});
    // A service that does not answer, or answers nonsense, tells nothing and forgets nothing.
    EXPECT_TRUE(texts({"error", "busy"}).empty());
    EXPECT_TRUE(texts({"ok", "kid\t30"}).empty());
    EXPECT_TRUE(texts({"ok", kid, sister}).empty());
    // Answered, then asked again with the same words later: told again.
    EXPECT_TRUE(texts({"ok"}).empty());
    EXPECT_EQ(texts({"ok", Line({"kid", "30", "19:10", "maths homework"})}).size(), 1u);
}

TEST(NewRequests, AReasonIsNeverMarkupInTheParentsNotification) {
    const std::string text = "kid asks for 30 more minutes: <a href='http://x'>a & b</a>";
    EXPECT_EQ(notifier::BodyText(text, false), text);
    EXPECT_EQ(notifier::BodyText(text, true),
              "kid asks for 30 more minutes: &lt;a href=&#39;http://x&#39;&gt;a &amp; b&lt;/a&gt;");
}

TEST(ParentNotifier, TellsTheParentsSessionOfARequestAndItsActionOpensVeltrix) {
    if (!GuardUser::Possible()) GTEST_SKIP() << "needs root to create throwaway users";
    if (::access("/usr/bin/dbus-run-session", X_OK) != 0) GTEST_SKIP() << "no dbus-run-session";
    GuardUser kid;
    testing_support::ServiceProcess service(kid.MemberGroup(), {});
    ASSERT_TRUE(service.started());
    ASSERT_TRUE(service.Seal(kid.uid, "1", {}, "family pw"));
    ASSERT_TRUE(service.Restart());
    ASSERT_TRUE(service.Reread(kid.name));

    // The parent's session (root's account is a parent's): the notifier, and a stand-in for
    // Veltrix that says it was started.
    const std::string dir = service.dir() + "/parent";
    fs::create_directories(dir);
    const std::string shown = dir + "/shown", opened = dir + "/opened", panel = dir + "/veltrix";
    std::ofstream(panel) << "#!/bin/sh\necho \"$@\" > '" << opened << "'\n";
    fs::permissions(panel, fs::perms::owner_all);
    const pid_t session = ::fork();
    if (session == 0) {
        ::setpgid(0, 0);
        ::setenv("NOTIFY_RECORDER_INVOKE", "default", 1);
        const std::string recorder = testing_support::ToolPath("notify-recorder");
        const std::string program = testing_support::ToolPath("veltrix-notifier");
        ::execl("/usr/bin/dbus-run-session", "dbus-run-session", "--", recorder.c_str(),
                shown.c_str(), program.c_str(), panel.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ASSERT_GT(session, 0);
    const control::Reply asked =
        testing_support::AskAs(kid.uid, kid.gid, {"ask", "30", "maths homework"});
    EXPECT_TRUE(asked.ok()) << asked.Text();
    const std::string expected =
        "Veltrix|Veltrix|" + kid.name + " asks for 30 more minutes: maths homework\n";
    EXPECT_TRUE(testing_support::Eventually([&] { return ReadAll(shown) == expected; }, 20000))
        << ReadAll(shown);
    EXPECT_TRUE(testing_support::Eventually([&] { return fs::exists(opened); }, 10000));
    // Told once, however often the notifier looks.
    std::this_thread::sleep_for(std::chrono::seconds(5));
    EXPECT_EQ(ReadAll(shown), expected);
    ::kill(-session, SIGTERM);
    ::waitpid(session, nullptr, 0);
}
