// The control protocol's lines: every byte but NUL carried, what no client sends refused, and
// exactly the enforced values sealed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lib/control/Protocol.h"

namespace {

using control::Fields;
using control::Parsed;

TEST(Protocol, FieldsSurviveEveryByteButNul) {
    std::string odd;
    for (int c = 1; c < 256; ++c) odd += static_cast<char>(c);
    const Fields fields{"save", "pass\tword\n%41", odd, ""};
    const std::string line = control::Encode(fields);
    EXPECT_EQ(line.find('\n'), line.size() - 1);
    const Parsed p = control::Parse(line + "next\n");
    ASSERT_EQ(p.status, Parsed::Ok) << p.error;
    EXPECT_EQ(p.fields, fields);
    EXPECT_EQ(p.consumed, line.size());
}

TEST(Protocol, RefusesWhatNoClientSends) {
    EXPECT_EQ(control::Parse("status").status, Parsed::Incomplete);
    EXPECT_EQ(control::Parse("").status, Parsed::Incomplete);
    for (const std::string& bad :
         std::vector<std::string>{"\n", "\tx\n", "verify\t%4\n", "verify\t%zz\n", "a%00b\n", "x%\n",
                                  std::string("a\0b\n", 4)})
        EXPECT_EQ(control::Parse(bad).status, Parsed::Malformed) << bad;
    // Too long, with or without its end; too many fields.
    EXPECT_EQ(control::Parse(std::string(control::kMaxLine, 'a')).status, Parsed::Malformed);
    EXPECT_EQ(control::Parse(std::string(control::kMaxLine, 'a') + "\n").status, Parsed::Malformed);
    EXPECT_EQ(control::Parse(std::string(control::kMaxLine - 1, 'a') + "\n").status, Parsed::Ok);
    EXPECT_EQ(control::Parse("save" + std::string(control::kMaxFields, '\t') + "\n").status,
              Parsed::Malformed);
    // A CR before the LF is a line end, an escaped one is data.
    EXPECT_EQ(control::Parse("status\r\n").fields, Fields{"status"});
    EXPECT_EQ(control::Parse("a\tb%0D\n").fields, (Fields{"a", "b\r"}));
}

TEST(Protocol, SealedNamesAreExactlyTheEnforcedValues) {
    for (const char* good : {"NeedJobOrNot", "NeedGuardOrNot", "InternetOffOrNot", "CheckBox1Check",
                             "CheckBox168Check", "App1", "App9", "MinutesADay0", "MinutesADay6"})
        EXPECT_TRUE(control::IsSealedName(good)) << good;
    for (const char* bad : {"EnterPassword", "CheckBox0Check", "CheckBox169Check",
                            "CheckBox01Check", "CheckBoxCheck", "App0", "App10", "App", "app1",
                            "CheckBox1Checkx", "thisversion", "MinutesADay7", "MinutesADay"})
        EXPECT_FALSE(control::IsSealedName(bad)) << bad;
    EXPECT_EQ(control::SealedNames().size(), 3u + 168u + 9u + 7u);
}

}  // namespace
