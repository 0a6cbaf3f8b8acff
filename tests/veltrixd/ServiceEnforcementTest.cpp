// The real service enforcing for several accounts at once (root only; throwaway accounts the test
// creates): each member is held to its own sealed settings, and an account outside the group is
// never touched, whatever its programs are called.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "lib/password/PasswordHash.h"
#include "lib/store/ValueNames.h"
#include "tests/support/GuardUser.h"
#include "tests/support/ServiceProcess.h"
#include "veltrixd/SealedStore.h"

using testing_support::GuardUser;
using testing_support::Running;
using testing_support::WaitForEnd;

namespace {

constexpr int kStopMs = 10000;  // generous for a loaded machine; the benchmark measures speed

veltrixd::Sealed EveryHour(const std::string& flag) {
    veltrixd::Sealed s{password::Hash("parent").value_or(""), {{store::kNeedJob, "Yes"}}};
    for (int box = 1; box <= store::kHourFlags; ++box) s.values[store::HourFlagName(box)] = flag;
    return s;
}

TEST(ServiceEnforcement, EachMemberByItsOwnSettingsAndNobodyElse) {
    if (!GuardUser::Possible()) GTEST_SKIP() << "needs root to create throwaway users";
    GuardUser blocked, allowed, outsider;
    const std::string group = blocked.MemberGroup();
    ASSERT_EQ(std::system(("usermod -aG " + group + " " + allowed.name).c_str()), 0);
    testing_support::ServiceProcess service(group, {});
    ASSERT_TRUE(service.started());
    veltrixd::SealedStore sealed(service.dir() + "/state/sealed");
    ASSERT_TRUE(sealed.Save(blocked.uid, EveryHour("0"), nullptr));
    ASSERT_TRUE(sealed.Save(allowed.uid, EveryHour("1"), nullptr));
    // The outsider's uid gets a blocking file too, as if it had been a member once.
    ASSERT_TRUE(sealed.Save(outsider.uid, EveryHour("0"), nullptr));
    // Asked to read them again until it has (a slow start may not listen for signals yet).
    for (int i = 0;
         i < 50 && service.LogText().find("[" + blocked.name + "] Settings read: blocking on") ==
                       std::string::npos;
         ++i) {
        ::kill(service.pid(), SIGHUP);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }

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
