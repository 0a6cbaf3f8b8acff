// The control requests (lib/control/Protocol.h has the list), answered for a caller the socket
// named. Everything that needs the parent's password checks it against the sealed hash, limited
// per account and caller by RateLimit; what the answers change outside the sealed files goes
// through hooks.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "lib/control/Protocol.h"
#include "veltrixd/LogWriter.h"
#include "veltrixd/Members.h"
#include "veltrixd/RateLimit.h"
#include "veltrixd/SealedStore.h"

namespace veltrixd {

struct Caller {
    Account account;
    bool member = false;  // of the service's group
    bool parent = false;  // of the parents' group (or root): acts on any member ("for")
};

struct Hooks {
    std::function<std::int64_t()> nowMs;  // a clock that never jumps
    // A line for the parent in the log, about `account`.
    std::function<void(const Account& account, const std::string& text)> log;
    // The account's sealed settings changed: enforce the new ones.
    std::function<void(const Account& account)> sealedChanged;
    // Removes from the log what the parent saw (the lines appended since stay).
    std::function<bool(const SeenLog& seen, std::string* why)> clearLog;
    // Writes (on) or removes (off) the guard's machine-wide Run entry.
    std::function<bool(bool on, std::string* why)> autostart;
    std::function<std::optional<Account>(const std::string& name)> accountNamed;
    // For the parents: the members, by name, and what one's hours and log say now ("on"|"off",
    // "allowed"|"blocked", until when, programs stopped today, the last alerts).
    std::function<std::vector<Account>()> members;
    std::function<bool(const Account& account)> isMember;
    std::function<control::Fields(const Account& account)> stateOf;
};

// Wrong passwords are each told to the parent, folded into one line per account, caller and
// minute: "3 wrong passwords for kid from the account of kid".
inline constexpr std::int64_t kWrongFoldMs = 60000;

class Requests {
  public:
    Requests(SealedStore& store, Hooks hooks) : store_(store), hooks_(std::move(hooks)) {}

    control::Fields Handle(const Caller& caller, const control::Fields& request);
    // Logs the folded wrong passwords whose minute is over (all of them when `all`).
    void Flush(bool all = false);

  private:
    std::string SealedWord(const Account& account);  // "sealed" | "unsealed"
    control::Fields FamilyStates();
    // A request about a member's settings: from the member itself, or from a parent ("for").
    control::Fields Act(const Account& account, const Account& from, bool fromParent,
                        const control::Fields& request);
    // The sealed settings when `password` is the account's; else the error to answer.
    // `quiet`: a wrong one is not told to the parent (a parent's "try" of the password typed
    // for another child); it still counts against the limit.
    std::optional<Sealed> Check(const Account& account, const Account& from,
                                const std::string& password, control::Fields& error,
                                bool quiet = false);
    bool Store(const Account& account, const Sealed& sealed, control::Fields& reply);
    std::optional<Account> MemberNamed(const std::string& name, control::Fields& error);

    struct WrongFold {
        Account account, from;
        int count = 0;
        std::int64_t since = 0;
    };
    SealedStore& store_;
    Hooks hooks_;
    RateLimit limit_;
    std::map<std::pair<uid_t, uid_t>, WrongFold> wrongs_;  // (account, caller)
};

}  // namespace veltrixd
