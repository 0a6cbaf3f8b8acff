// The family as the system service tells a parent's account: every member account of group
// "veltrix" with its state, in the words the family list shows.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "lib/control/Protocol.h"

namespace family {

// A child's open request for more time, as "asks" tells it.
struct Request {
    std::string minutes;  // "15", "30", "60", or "hour"
    std::string at;       // "HH:MM"
    std::string reason;
    std::string Text() const;  // "asks for 30 more minutes (18:42): maths homework"
};

struct MemberState {
    std::string account;
    bool sealed = false;    // a password is set
    bool blocking = false;  // "Enable Veltrix" is on
    bool blockedNow = false;
    std::string until;  // "until 17:00", "" when the hours never change
    long long stoppedToday = 0;
    long long usedSeconds = 0;        // today's use of browsers and listed applications
    int allowedMinutes = -1;          // today's allowance; -1: no limit
    std::vector<std::string> alerts;  // the newest lines of the log about the account, newest last
    std::optional<Request> request;   // its open request for more time

    std::string PasswordText() const;  // "no password yet" | "set up"
    std::string BlockingText() const;  // "on" | "off"
    std::string NowText() const;       // "blocked until 17:00", "allowed until 21:00", "allowed"
    std::string TodayText() const;     // "1:12 of 2:00", "no limit: 1:12"
    // The newest, or ""; one of `today` ("YYYY-MM-DD") without its date.
    std::string LastAlert(const std::string& today = {}) const;
};

// The state in a reply to "state ACCOUNT"; nullopt when the reply is not one.
std::optional<MemberState> ParseState(const std::string& account, const control::Fields& reply);

// The states in a reply to "family-states"; nullopt when the reply is not one.
std::optional<std::vector<MemberState>> ParseFamily(const control::Fields& reply);

// The open requests in a reply to "asks", by account; nullopt when the reply is not one.
std::optional<std::vector<std::pair<std::string, Request>>> ParseAsks(const control::Fields& reply);

// The account's full name from the password database (its GECOS field up to the first comma),
// or "".
std::string FullNameOf(const std::string& account);
// "kid (Alex Smith)", or "kid" without a full name.
std::string ShownName(const std::string& account);

// Asks the service for every member's state in one request, then for the open requests (it waits up
// to 5 s: call it off the user-interface thread). An empty list and `why` when the service does not
// answer or refuses.
std::vector<MemberState> AskFamily(std::string* why);

}  // namespace family
