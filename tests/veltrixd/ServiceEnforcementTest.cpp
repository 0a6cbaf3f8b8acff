// The real service enforcing for several accounts at once (root only; throwaway accounts the test
// creates): each member is held to its own sealed settings, and an account outside the group is
// never touched, whatever its programs are called.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "tests/support/GuardUser.h"
#include "tests/support/ServiceProcess.h"

using testing_support::GuardUser;
using testing_support::Running;
using testing_support::WaitForEnd;

namespace {

constexpr int kStopMs = 10000;  // generous for a loaded machine; the benchmark measures speed

TEST(ServiceEnforcement, EachMemberByItsOwnSettingsAndNobodyElse) {
    if (!GuardUser::Possible()) GTEST_SKIP() << "needs root to create throwaway users";
    GuardUser blocked, allowed, outsider;
    const std::string group = blocked.MemberGroup();
    ASSERT_EQ(std::system(("usermod -aG " + group + " " + allowed.name).c_str()), 0);
    testing_support::ServiceProcess service(group, {});
    ASSERT_TRUE(service.started());
    ASSERT_TRUE(service.Seal(blocked.uid, "0"));
    ASSERT_TRUE(service.Seal(allowed.uid, "1"));
    // The outsider's uid gets a blocking file too, as if it had been a member once.
    ASSERT_TRUE(service.Seal(outsider.uid, "0"));
    service.Reread(blocked.name);

    const pid_t other = outsider.Spawn({outsider.Program("firefox")});
    const pid_t fine = allowed.Spawn({allowed.Program("firefox")});
    const pid_t tool = blocked.Spawn({blocked.Program("gedit")});
    const pid_t browser = blocked.Spawn({blocked.Program("chromium")});
    EXPECT_TRUE(WaitForEnd(browser, kStopMs)) << service.LogText();
    // The scan that stopped the browser saw the others too (they started first).
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    EXPECT_TRUE(Running(tool));
    EXPECT_TRUE(Running(fine)) << service.LogText();
    EXPECT_TRUE(Running(other)) << service.LogText();
    const std::string log = service.LogText();
    EXPECT_NE(log.find("[" + blocked.name + "] Stopped chromium (pid " + std::to_string(browser)),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("[" + outsider.name + "]"), std::string::npos) << log;
}

}  // namespace
