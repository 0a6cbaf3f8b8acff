// The control requests (lib/control/Protocol.h has the list), answered for a caller the socket
// named. Everything that needs the parent's password checks it against the sealed hash, limited
// per account and caller by RateLimit; what the answers change outside the sealed files goes
// through RequestsOutside. The verbs are one table (Verbs()): name, fields, who may ask, handler.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
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

// What the requests need of the rest of the service (the service implements it; tests fake it).
class RequestsOutside {
  public:
    virtual ~RequestsOutside() = default;
    virtual std::int64_t NowMs() = 0;  // a clock that never jumps
    // A line for the parent in the log, about `account`: an alert the family list shows until
    // a parent has seen it.
    virtual void Log(const Account& account, const std::string& text) = 0;
    // The account's password was given: whoever gave it has seen the account's alerts.
    virtual void Seen(const Account& account) = 0;
    // The account's sealed settings changed: enforce the new ones.
    virtual void SealedChanged(const Account& account) = 0;
    // Removes from the log what the parent saw (the lines appended since stay).
    virtual bool ClearLog(const SeenLog& seen, std::string* why) = 0;
    // Writes (on) or removes (off) the guard's machine-wide Run entry; whether it is there.
    virtual bool Autostart(bool on, std::string* why) = 0;
    virtual bool AutostartIsOn() = 0;
    virtual std::optional<Account> AccountNamed(const std::string& name) = 0;
    // For the parents: the members, by name, and what one's hours and log say now ("on"|"off",
    // "allowed"|"blocked", until when, programs stopped today, "USED/ALLOWED" (seconds used
    // today, minutes allowed or "-"), the last alerts).
    virtual std::vector<Account> Members() = 0;
    virtual bool IsMember(const Account& account) = 0;
    virtual control::Fields StateOf(const Account& account) = 0;
    // The member's record of use: today's date ("YYYY-MM-DD"), then the record's lines, every
    // day's hours first, then today's programs.
    virtual control::Fields UseOf(const Account& account) = 0;
    // More time: the member's request (minutes 15, 30, 60, or 0 for the rest of the hour), and
    // its open one (nullopt: none); a parent's answer. "" when done, else why not in words.
    virtual std::string AskMoreTime(const Account& account, int minutes,
                                    const std::string& reason) = 0;
    struct Request {
        int minutes = 0;
        std::string askedAt;  // "HH:MM"
        std::string reason;
    };
    virtual std::optional<Request> OpenRequest(const Account& account) = 0;
    struct ParentAnswer {
        enum Kind { Grant, Refuse, Pause } kind = Grant;
        int minutes = 0;       // Grant: more minutes
        int untilMinute = -1;  // a time today in minutes from midnight; -1: none
        std::string words;
    };
    virtual std::string AnswerFor(const Account& account, const Account& parent,
                                  const ParentAnswer& answer) = 0;
    // `text` about `account` as a line of the log written now would carry it (date, time, name).
    virtual std::string Stamped(const Account& account, const std::string& text) = 0;
};

// Wrong passwords are each told to the parent, folded into one line per account, caller and
// minute: "3 wrong passwords for kid from the account of kid".
inline constexpr std::int64_t kWrongFoldMs = 60000;

class Requests {
  public:
    Requests(SealedStore& store, RequestsOutside& outside) : store_(store), outside_(outside) {}

    control::Fields Handle(const Caller& caller, const control::Fields& request);
    // Logs the folded wrong passwords whose minute is over (all of them when `all`).
    void Flush(bool all = false);

    // One request as a verb's handler sees it: `fields` from the verb on; the settings of
    // `account` (the caller's own, or the member a parent named with "for"), asked by `from`.
    struct Asked {
        const Caller& caller;
        const Account& account;
        const Account& from;
        bool fromParent;
        const control::Fields& fields;
    };
    // Who may ask a verb.
    enum class Who {
        Anyone,
        Root,
        Parent,         // a parent's account (or root), never a member's
        Member,         // a member on its own account, never through "for"
        Settings,       // on a member's settings: the member itself, or a parent with "for"
        ParentSettings  // the same, with "for" only
    };
    using Handler = control::Fields (Requests::*)(const Asked&);
    struct Verb {
        std::string_view name;
        std::size_t minArgs, maxArgs;  // fields after the verb
        Who who;
        Handler handle;
    };
    // Every verb of the protocol (lib/control/Protocol.h tells them).
    static const std::vector<Verb>& Verbs();

  private:
    control::Fields Dispatch(const Caller& caller, const Account& account, bool fromParent,
                             const control::Fields& fields);

    control::Fields Status(const Asked& a);
    control::Fields Reset(const Asked& a);
    control::Fields Family(const Asked& a);
    control::Fields FamilyStates(const Asked& a);
    control::Fields State(const Asked& a);
    control::Fields Use(const Asked& a);
    control::Fields Mine(const Asked& a);
    control::Fields Ask(const Asked& a);
    control::Fields Asks(const Asked& a);
    control::Fields Grant(const Asked& a);
    control::Fields Refuse(const Asked& a);
    control::Fields Pause(const Asked& a);
    control::Fields For(const Asked& a);
    control::Fields First(const Asked& a);
    control::Fields Verify(const Asked& a);
    control::Fields Try(const Asked& a);
    control::Fields Change(const Asked& a);
    control::Fields Save(const Asked& a);
    control::Fields Read(const Asked& a);
    control::Fields ClearLog(const Asked& a);
    control::Fields Autostart(const Asked& a);

    std::string SealedWord(const Account& account);  // "sealed" | "unsealed"
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
        std::string stamp;  // the log's date, time and name at the first of them
    };
    // A fold's line: "3 wrong passwords for kid from the account of kid".
    static std::string FoldText(const WrongFold& fold);
    // The state's fields for the parents, with the wrong passwords of `account` not logged yet
    // as its newest alerts: a parent sees a wrong try in the list at once, the log has one line
    // for the minute.
    control::Fields ParentsStateOf(const Account& account);
    SealedStore& store_;
    RequestsOutside& outside_;
    RateLimit limit_;
    std::map<std::pair<uid_t, uid_t>, WrongFold> wrongs_;  // (account, caller)
};

}  // namespace veltrixd
