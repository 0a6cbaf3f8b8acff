// The rules of asking for more time and of a parent's answers, on a day of a child's.
#include <gtest/gtest.h>

#include "lib/enforce/Asking.h"

using enforce::Asking;

namespace {
constexpr std::int64_t k18h = 1796839200;  // 2026-12-09 18:00 in the test's own reckoning
constexpr std::int64_t kMidnight = k18h + 6 * 3600;
const std::string kToday = "2026-12-09";
}  // namespace

TEST(Asking, OneOpenRequestAndTenMinutesAfterARefusal) {
    Asking a;
    EXPECT_EQ(a.Ask(k18h, kToday, 30, "maths homework"), "");
    const auto open = a.Open(kToday);
    ASSERT_TRUE(open.has_value());
    EXPECT_EQ(open->minutes, 30);
    EXPECT_EQ(open->reason, "maths homework");
    // A flood of asks changes nothing: the first waits.
    EXPECT_EQ(a.Ask(k18h + 1, kToday, 60, "more"), "A request is waiting for an answer already.");
    EXPECT_EQ(a.Open(kToday)->minutes, 30);
    a.Refuse(k18h + 60, kToday);
    EXPECT_FALSE(a.Open(kToday).has_value());
    EXPECT_EQ(a.Ask(k18h + 61, kToday, 15, "please"),
              "The last request was refused: ask again in 10 minutes.");
    EXPECT_EQ(a.Ask(k18h + 60 + 541, kToday, 15, "please"),
              "The last request was refused: ask again in 1 minute.");
    EXPECT_EQ(a.Ask(k18h + 60 + 600, kToday, enforce::kUntilEndOfHour, ""), "");
    // A grant closes the request; the next may come at once.
    a.Grant(k18h + 700, kToday, 15, 0, kMidnight);
    EXPECT_FALSE(a.Open(kToday).has_value());
    EXPECT_EQ(a.Ask(k18h + 701, kToday, 15, "a bit more"), "");
}

TEST(Asking, OnlyTheOfferedTimesAndAPlainReasonOfAHundredCharacters) {
    Asking a;
    EXPECT_NE(a.Ask(k18h, kToday, 45, ""), "");
    EXPECT_NE(a.Ask(k18h, kToday, -15, ""), "");
    EXPECT_EQ(enforce::ReasonProblem(std::string(100, 'x')), "");
    EXPECT_EQ(enforce::ReasonProblem("Mathe-Hausaufgabe für Frau Müller ✓"), "");
    EXPECT_EQ(enforce::ReasonProblem(std::string(101, 'x')),
              "The reason may be 100 characters long at most.");
    // A hundred characters, not bytes.
    std::string umlauts;
    for (int i = 0; i < 100; ++i) umlauts += "ü";
    EXPECT_EQ(enforce::ReasonProblem(umlauts), "");
    EXPECT_EQ(enforce::ReasonProblem(std::string(10240, 'x')),
              "The reason may be 100 characters long at most.");
    EXPECT_EQ(enforce::ReasonProblem("one\nmum: granted 60"), "The reason must be one line.");
    EXPECT_EQ(enforce::ReasonProblem("a\u2028b"), "The reason must be one line.");
    for (const std::string& bad : {std::string("bell\a"), std::string("esc\x1b[31m"),
                                   std::string("\xc2\x85"), std::string("rtl \u202e txt")})
        EXPECT_EQ(enforce::ReasonProblem(bad), "The reason may hold only printable characters.")
            << bad;
    for (const std::string& bad : {std::string("\xff"), std::string("\xc0\xaf"),
                                   std::string("\xed\xa0\x80"), std::string("cut \xe2\x82")})
        EXPECT_EQ(enforce::ReasonProblem(bad), "The reason is not text.") << bad;
    EXPECT_FALSE(a.Open(kToday).has_value());
}

TEST(Asking, AnswersAddUpEndAtMidnightAndAPauseEndsAGrant) {
    Asking a;
    a.Grant(k18h, kToday, 30, 0, kMidnight);
    a.Grant(k18h + 60, kToday, 15, 0, kMidnight);
    auto today = a.Today(kToday);
    EXPECT_EQ(today.extraMinutes, 45);
    EXPECT_EQ(today.allowedUntil, k18h + 30 * 60);  // the later end of the two
    // Allowed until 20:00, and a grant past midnight ends at midnight.
    a.Grant(k18h, kToday, 0, k18h + 2 * 3600, kMidnight);
    EXPECT_EQ(a.Today(kToday).allowedUntil, k18h + 2 * 3600);
    a.Grant(kMidnight - 60, kToday, 60, 0, kMidnight);
    EXPECT_EQ(a.Today(kToday).allowedUntil, kMidnight);
    // A pause ends what was allowed; a grant after it ends the pause.
    a.Pause(kToday, k18h + 3600, kMidnight, "mum");
    today = a.Today(kToday);
    EXPECT_EQ(today.allowedUntil, 0);
    EXPECT_EQ(today.pausedUntil, k18h + 3600);
    EXPECT_EQ(today.pausedBy, "mum");
    a.Grant(k18h + 120, kToday, 15, 0, kMidnight);
    EXPECT_EQ(a.Today(kToday).pausedUntil, 0);
    // A new day: no request, no answer, no refusal's wait.
    a.Ask(k18h, kToday, 15, "x");
    a.Refuse(k18h, kToday);
    const auto tomorrow = a.Today("2026-12-10");
    EXPECT_EQ(tomorrow.extraMinutes, 0);
    EXPECT_EQ(tomorrow.allowedUntil, 0);
    EXPECT_EQ(a.Ask(kMidnight + 1, "2026-12-10", 15, "x"), "");
}

TEST(Asking, TheDayIsKeptOverARestartAndADamagedRecordHoldsNothing) {
    Asking a;
    a.Grant(k18h, kToday, 30, 0, kMidnight);
    a.Pause(kToday, k18h + 3600, kMidnight, "mum");
    a.Ask(k18h + 60, kToday, 60, "maths homework, then a film");
    Asking b = Asking::Parse(a.Serialize());
    EXPECT_EQ(b.Serialize(), a.Serialize());
    ASSERT_TRUE(b.Open(kToday));
    EXPECT_EQ(b.Open(kToday)->reason, "maths homework, then a film");
    EXPECT_EQ(b.Today(kToday).pausedBy, "mum");
    EXPECT_EQ(b.Today(kToday).extraMinutes, 30);
    // A refusal's wait goes on after the restart.
    b.Refuse(k18h + 120, kToday);
    Asking c = Asking::Parse(b.Serialize());
    EXPECT_NE(c.Ask(k18h + 180, kToday, 15, "please"), "");
    // Kept yesterday: nothing of it today.
    EXPECT_EQ(Asking::Parse(a.Serialize()).Today("2026-12-10").extraMinutes, 0);
    // Damaged or forged: nothing at all, never a part of it.
    for (const std::string& bad :
         {std::string("date 2026-12-09\nanswers 99999 0 0\n"),
          std::string("date 2026-12-09\nopen 1 45 x\nanswers 30 0 0\n"),
          std::string("date 2026-12-09\nopen 1 30 a\x1b[2J\nanswers 30 0 0\n"),
          std::string("answers 30 0 0\n"), std::string("date 2026-12-09\nwhat 1\n"),
          std::string("\x7f\x45LF")})
        EXPECT_EQ(Asking::Parse(bad).Today(kToday).extraMinutes, 0) << bad;
}
