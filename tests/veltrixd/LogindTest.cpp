// The service's own logind client against python3-dbusmock's logind on a private system bus.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/support/FakeLogind.h"
#include "veltrixd/Logind.h"

TEST(Logind, ReadsEachSessionsStateAndWhetherItSitsAtASeat) {
    testing_support::FakeLogind logind;
    if (!logind.started()) GTEST_SKIP() << "needs dbus-daemon and python3-dbusmock";
    const std::string env = logind.Env();
    const std::string name = env.substr(0, env.find('='));
    const char* before = std::getenv(name.c_str());
    const std::string saved = before ? before : "";
    ::setenv(name.c_str(), env.substr(env.find('=') + 1).c_str(), 1);

    ASSERT_TRUE(logind.AddSession("c1", 4001, "kid", true));
    ASSERT_TRUE(logind.Set("c1", "IdleHint", true));
    ASSERT_TRUE(logind.AddSession("c2", 4001, "kid", true, ""));  // a remote login
    ASSERT_TRUE(logind.AddSession("c3", 4002, "sister", false));
    ASSERT_TRUE(logind.Set("c3", "LockedHint", true));
    veltrixd::Logind client;
    const auto sessions = client.Sessions(0);
    ASSERT_TRUE(sessions);
    ASSERT_EQ(sessions->count(4001), 1u);
    ASSERT_EQ(sessions->at(4001).size(), 2u);
    int seated = 0;
    for (const enforce::SessionState& s : sessions->at(4001)) {
        EXPECT_TRUE(s.active);
        EXPECT_EQ(s.idle, s.seated);  // c1 (seat0) is idle, c2 (no seat) is not
        seated += s.seated ? 1 : 0;
    }
    EXPECT_EQ(seated, 1);
    ASSERT_EQ(sessions->at(4002).size(), 1u);
    EXPECT_FALSE(sessions->at(4002)[0].active);
    EXPECT_TRUE(sessions->at(4002)[0].locked);

    if (before)
        ::setenv(name.c_str(), saved.c_str(), 1);
    else
        ::unsetenv(name.c_str());
}
