// The password's hash: yescrypt as the system's shadow file has it, salted, and nothing weaker
// taken for one.
#include <gtest/gtest.h>

#include <string>

#include "lib/password/PasswordHash.h"

namespace {

TEST(PasswordHash, YescryptAsShadowHasIt) {
    // A pinned vector: libxcrypt's yescrypt of "password" with this setting.
    const std::string known = "$y$j9T$saltsaltsaltsalt$Uxvkjnhdr/2B6SINV1mXACdXVbd5kc899ms5aqhxMQD";
    EXPECT_TRUE(password::Verify("password", known));
    EXPECT_FALSE(password::Verify("Password", known));
    EXPECT_FALSE(password::Verify("password", known.substr(0, known.size() - 1)));

    const auto a = password::Hash("family pw"), b = password::Hash("family pw");
    ASSERT_TRUE(a && b);
    EXPECT_NE(*a, *b);  // salted
    EXPECT_EQ(a->rfind("$y$", 0), 0u);
    EXPECT_TRUE(password::IsHash(*a));
    EXPECT_TRUE(password::Verify("family pw", *a));
    EXPECT_FALSE(password::Verify("family p", *a));
    EXPECT_TRUE(password::Verify("", *password::Hash("")));
    // Plain text, and hashes of weaker methods, are not what the panel stores.
    for (const char* plain : {"", "family pw", "$y$", "*", "$1$abc$defgh", "secret$y$j9T$"})
        EXPECT_FALSE(password::IsHash(plain)) << plain;
    EXPECT_FALSE(password::Verify("x", "x"));
    EXPECT_FALSE(password::Verify("", ""));
}

}  // namespace
