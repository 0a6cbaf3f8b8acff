#include "veltrixd/Requests.h"

#include <algorithm>

#include "lib/enforce/Asking.h"
#include "lib/password/PasswordHash.h"

namespace veltrixd {
namespace {

control::Fields Error(const std::string& text) {
    return {"error", text};
}

bool ParseBytes(const std::string& text, std::uint64_t& out) {
    if (text.empty() || text.size() > 19) return false;
    out = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        out = out * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return true;
}

}  // namespace

bool Requests::Store(const Account& account, const Sealed& sealed, control::Fields& reply) {
    std::string why;
    if (!store_.Save(account.uid, sealed, &why)) {
        reply = Error("The settings cannot be sealed: " + why);
        return false;
    }
    outside_.SealedChanged(account);
    return true;
}

std::optional<Sealed> Requests::Check(const Account& account, const Account& from,
                                      const std::string& password, control::Fields& error,
                                      bool quiet) {
    const std::int64_t now = outside_.NowMs();
    if (const std::int64_t wait = limit_.WaitMs(account.uid, from.uid, now); wait > 0) {
        error = Error("Too many wrong passwords. Try again in " +
                      std::to_string((wait + 999) / 1000) + " seconds.");
        return std::nullopt;
    }
    std::string why;
    auto sealed = store_.Load(account.uid, &why);
    if (!sealed) {
        error = Error("The sealed settings cannot be read: " + why);
        return std::nullopt;
    }
    if (sealed->passwordHash.empty()) {
        error = Error("No password is set for this account.");
        return std::nullopt;
    }
    if (!password::Verify(password, sealed->passwordHash)) {
        if (!quiet) {
            WrongFold& fold = wrongs_[{account.uid, from.uid}];
            if (fold.count++ == 0)
                fold = WrongFold{account, from, 1, now, outside_.Stamped(account, "")};
        }
        if (limit_.Wrong(account.uid, from.uid, now))
            outside_.Log(account, std::to_string(control::kMaxWrong) +
                                      " wrong passwords within a minute: every try waits");
        error = Error("wrong password");
        return std::nullopt;
    }
    limit_.Right(account.uid, from.uid);
    outside_.Seen(account);
    return sealed;
}

void Requests::Flush(bool all) {
    const std::int64_t now = outside_.NowMs();
    for (auto it = wrongs_.begin(); it != wrongs_.end();) {
        const WrongFold& f = it->second;
        if (!all && now - f.since < kWrongFoldMs) {
            ++it;
            continue;
        }
        outside_.Log(f.account, FoldText(f));
        it = wrongs_.erase(it);
    }
}

std::string Requests::FoldText(const WrongFold& fold) {
    return std::to_string(fold.count) + (fold.count == 1 ? " wrong password" : " wrong passwords") +
           " for " + fold.account.name + " from the account of " + fold.from.name;
}

control::Fields Requests::ParentsStateOf(const Account& account) {
    control::Fields fields = outside_.StateOf(account);
    for (const auto& [key, fold] : wrongs_)
        if (key.first == account.uid) fields.push_back(fold.stamp + FoldText(fold) + " so far");
    return fields;
}

std::optional<Account> Requests::MemberNamed(const std::string& name, control::Fields& error) {
    auto account = outside_.AccountNamed(name);
    if (!account || !outside_.IsMember(*account)) {
        error = Error("There is no account " + name + " among Veltrix's accounts.");
        return std::nullopt;
    }
    return account;
}

const std::vector<Requests::Verb>& Requests::Verbs() {
    constexpr std::size_t kAny = control::kMaxFields;
    static const std::vector<Verb> verbs{
        {"status", 0, 0, Who::Anyone, &Requests::Status},
        {"reset", 1, 2, Who::Root, &Requests::Reset},
        {"family", 0, 0, Who::Parent, &Requests::Family},
        {"family-states", 0, 0, Who::Parent, &Requests::FamilyStates},
        {"state", 1, 1, Who::Parent, &Requests::State},
        {"use", 1, 1, Who::Parent, &Requests::Use},
        {"asks", 0, 0, Who::Parent, &Requests::Asks},
        {"mine", 0, 0, Who::Member, &Requests::Mine},
        {"ask", 2, 2, Who::Member, &Requests::Ask},
        {"grant", 2, 3, Who::ParentSettings, &Requests::Grant},
        {"refuse", 1, 2, Who::ParentSettings, &Requests::Refuse},
        {"pause", 2, 3, Who::ParentSettings, &Requests::Pause},
        {"for", 2, kAny, Who::Parent, &Requests::For},
        {"first", 1, 1, Who::Settings, &Requests::First},
        {"verify", 1, 1, Who::Settings, &Requests::Verify},
        {"try", 1, 1, Who::ParentSettings, &Requests::Try},
        {"change", 2, 2, Who::Settings, &Requests::Change},
        {"save", 1, kAny, Who::Settings, &Requests::Save},
        {"read", 1, 1, Who::Settings, &Requests::Read},
        {"clear-log", 2, 4, Who::Settings, &Requests::ClearLog},
        {"autostart", 1, 2, Who::Settings, &Requests::Autostart},
    };
    return verbs;
}

control::Fields Requests::Handle(const Caller& caller, const control::Fields& request) {
    Flush();
    return Dispatch(caller, caller.account, false, request);
}

// `fields`: the verb and its fields; `account`: whose settings (the caller's own, or with
// `fromParent` the member a parent named).
control::Fields Requests::Dispatch(const Caller& caller, const Account& account, bool fromParent,
                                   const control::Fields& fields) {
    const std::string& name = fields.at(0);
    const std::size_t args = fields.size() - 1;
    const auto& verbs = Verbs();
    const auto verb =
        std::find_if(verbs.begin(), verbs.end(), [&](const Verb& v) { return v.name == name; });
    const bool onSettings =
        verb != verbs.end() && (verb->who == Who::Settings || verb->who == Who::ParentSettings);
    // Within "for" only the verbs on a member's settings.
    if (fromParent && !onSettings) return Error("malformed request");
    if (verb == verbs.end() || onSettings) {
        if (!fromParent && !caller.member)
            return Error("This account is not a member of the group of Veltrix's accounts.");
        if (verb == verbs.end() || (verb->who == Who::ParentSettings && !fromParent))
            return Error("malformed request");
    }
    if (verb->who == Who::Member && !caller.member)
        return Error("Only an account Veltrix looks after asks for more time.");
    if (verb->who == Who::Parent && (!caller.parent || caller.member))
        return Error("Only a parent's account may manage the accounts of the family.");
    if (verb->who == Who::Root && caller.account.uid != 0)
        return Error("Only the administrator may reset a password.");
    if (args < verb->minArgs || args > verb->maxArgs) return Error("malformed request");
    return (this->*verb->handle)(Asked{caller, account, caller.account, fromParent, fields});
}

control::Fields Requests::Status(const Asked& a) {
    const Caller& caller = a.caller;
    const bool sealed = caller.member && [&] {
        auto s = store_.Load(caller.account.uid, nullptr);
        return !s || !s->passwordHash.empty();  // unreadable counts as sealed
    }();
    return {"ok",
            caller.member   ? "member"
            : caller.parent ? "parent"
                            : "not-member",
            sealed ? "sealed" : "unsealed", caller.account.name};
}

control::Fields Requests::Reset(const Asked& a) {
    const control::Fields& f = a.fields;
    auto target = outside_.AccountNamed(f[1]);
    if (!target) return Error("There is no account " + f[1] + ".");
    std::string why;
    auto sealed = store_.Load(target->uid, &why);
    if (!sealed) return Error("The sealed settings cannot be read: " + why);
    sealed->passwordHash.clear();
    if (f.size() == 3) {
        auto hash = password::Hash(f[2]);
        if (!hash) return Error("The password cannot be hashed.");
        sealed->passwordHash = *hash;
    }
    control::Fields reply{"ok"};
    if (!Store(*target, *sealed, reply)) return reply;
    limit_.Forget(target->uid);
    outside_.Log(*target, f.size() == 3 ? "The administrator set a new password"
                                        : "The administrator reset the password: a parent sets "
                                          "the next one in Veltrix in a parent's account");
    return reply;
}

control::Fields Requests::Family(const Asked&) {
    control::Fields reply{"ok"};
    for (const Account& member : outside_.Members()) reply.push_back(member.name);
    return reply;
}

std::string Requests::SealedWord(const Account& account) {
    auto sealed = store_.Load(account.uid, nullptr);
    return !sealed || !sealed->passwordHash.empty() ? "sealed" : "unsealed";
}

control::Fields Requests::FamilyStates(const Asked&) {
    // Each member's line as "state" answers it, with the account's name first.
    std::vector<control::Fields> lines;
    for (const Account& member : outside_.Members()) {
        control::Fields line{member.name, SealedWord(member)};
        for (std::string& field : ParentsStateOf(member)) line.push_back(std::move(field));
        lines.push_back(std::move(line));
    }
    // The reply is one line of the protocol: the oldest alerts of the member with the most give
    // way until it fits.
    // ACCOUNT sealed|unsealed on|off NOW UNTIL STOPPED USED/ALLOWED
    constexpr std::size_t kBeforeAlerts = 7;
    for (;;) {
        control::Fields reply{"ok"};
        for (const control::Fields& line : lines) {
            std::string encoded = control::Encode(line);
            encoded.pop_back();
            reply.push_back(std::move(encoded));
        }
        if (control::Encode(reply).size() <= control::kMaxLine || lines.empty()) return reply;
        auto most = std::max_element(lines.begin(), lines.end(), [](const auto& x, const auto& y) {
            return x.size() < y.size();
        });
        if (most->size() <= kBeforeAlerts) return Error("The family is too large to tell at once.");
        most->erase(most->begin() + kBeforeAlerts);
    }
}

control::Fields Requests::State(const Asked& a) {
    control::Fields reply{"ok"};
    auto target = MemberNamed(a.fields[1], reply);
    if (!target) return reply;
    reply.push_back(SealedWord(*target));
    for (std::string& field : ParentsStateOf(*target)) reply.push_back(std::move(field));
    return reply;
}

control::Fields Requests::Use(const Asked& a) {
    control::Fields reply{"ok"};
    auto target = MemberNamed(a.fields[1], reply);
    if (!target) return reply;
    for (std::string& field : outside_.UseOf(*target)) reply.push_back(std::move(field));
    // One line of the protocol: today's last programs give way until it fits.
    std::size_t size = control::Encode(reply).size();
    while (size > control::kMaxLine && reply.size() > 2 && reply.back().starts_with("program ")) {
        size -= control::Encode({reply.back()}).size();
        reply.pop_back();
    }
    return reply;
}

namespace {

// "HH:MM" as minutes from midnight; -1 when it is no time of a day.
int MinuteOfDay(const std::string& text) {
    if (text.size() != 5 || text[2] != ':') return -1;
    for (std::size_t i : {0, 1, 3, 4})
        if (text[i] < '0' || text[i] > '9') return -1;
    const int h = (text[0] - '0') * 10 + (text[1] - '0'),
              m = (text[3] - '0') * 10 + (text[4] - '0');
    return h < 24 && m < 60 ? h * 60 + m : -1;
}

// A number of minutes from 1 to a day's; -1 when it is none.
int Minutes(const std::string& text) {
    if (text.empty() || text.size() > 4) return -1;
    int n = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return -1;
        n = n * 10 + (c - '0');
    }
    return n >= 1 && n <= 1440 ? n : -1;
}

control::Fields Done(const std::string& why) {
    return why.empty() ? control::Fields{"ok"} : control::Fields{"error", why};
}

}  // namespace

// ask MINUTES|hour REASON: the member's own request.
// mine: a member's own day, for its own view: on|off allowed|blocked UNTIL USED/ALLOWED, then
// its open request as MINUTES|hour HH:MM REASON, or nothing. Nothing of the parents' (alerts, the
// stops the log tells).
control::Fields Requests::Mine(const Asked& a) {
    control::Fields state = outside_.StateOf(a.caller.account);
    if (state.size() < 5) return Error("Veltrix cannot tell this account's day now.");
    control::Fields reply{"ok", state[0], state[1], state[2], state[4]};
    if (const auto r = outside_.OpenRequest(a.caller.account))
        reply.insert(reply.end(),
                     {r->minutes == enforce::kUntilEndOfHour ? "hour" : std::to_string(r->minutes),
                      r->askedAt, r->reason});
    return reply;
}

control::Fields Requests::Ask(const Asked& a) {
    const std::string& asked = a.fields[1];
    const int minutes = asked == "hour" ? enforce::kUntilEndOfHour : Minutes(asked);
    if (minutes < 0 || !enforce::AskableMinutes(minutes))
        return Error("Ask for 15, 30 or 60 minutes, or until the end of this hour.");
    if (std::string why = enforce::ReasonProblem(a.fields[2]); !why.empty()) return Error(why);
    return Done(outside_.AskMoreTime(a.caller.account, minutes, a.fields[2]));
}

// asks: every member's open request, each "MEMBER MINUTES|hour HH:MM REASON" as a line of the
// protocol without its LF.
control::Fields Requests::Asks(const Asked&) {
    control::Fields reply{"ok"};
    for (const Account& member : outside_.Members()) {
        const auto r = outside_.OpenRequest(member);
        if (!r) continue;
        std::string line = control::Encode(
            {member.name,
             r->minutes == enforce::kUntilEndOfHour ? "hour" : std::to_string(r->minutes),
             r->askedAt, r->reason.empty() ? "-" : r->reason});
        line.pop_back();
        reply.push_back(std::move(line));
    }
    return reply;
}

// grant PASSWORD MINUTES|HH:MM [WORDS], from a parent with "for".
control::Fields Requests::Grant(const Asked& a) {
    RequestsOutside::ParentAnswer answer;
    answer.kind = RequestsOutside::ParentAnswer::Grant;
    answer.minutes = a.fields[2].find(':') == std::string::npos ? Minutes(a.fields[2]) : 0;
    answer.untilMinute = answer.minutes == 0 ? MinuteOfDay(a.fields[2]) : -1;
    if (answer.minutes < 0 || (answer.minutes == 0 && answer.untilMinute < 0))
        return Error("Give the minutes (1 to 1440) or a time today (HH:MM).");
    if (a.fields.size() == 4) answer.words = a.fields[3];
    if (std::string why = enforce::ReasonProblem(answer.words); !why.empty()) return Error(why);
    control::Fields reply{"ok"};
    if (!Check(a.account, a.from, a.fields[1], reply)) return reply;
    return Done(outside_.AnswerFor(a.account, a.from, answer));
}

// refuse PASSWORD [WORDS]
control::Fields Requests::Refuse(const Asked& a) {
    RequestsOutside::ParentAnswer answer;
    answer.kind = RequestsOutside::ParentAnswer::Refuse;
    if (a.fields.size() == 3) answer.words = a.fields[2];
    if (std::string why = enforce::ReasonProblem(answer.words); !why.empty()) return Error(why);
    control::Fields reply{"ok"};
    if (!Check(a.account, a.from, a.fields[1], reply)) return reply;
    return Done(outside_.AnswerFor(a.account, a.from, answer));
}

// pause PASSWORD HH:MM|midnight [WORDS]
control::Fields Requests::Pause(const Asked& a) {
    RequestsOutside::ParentAnswer answer;
    answer.kind = RequestsOutside::ParentAnswer::Pause;
    answer.untilMinute = a.fields[2] == "midnight" ? -1 : MinuteOfDay(a.fields[2]);
    if (a.fields[2] != "midnight" && answer.untilMinute < 0)
        return Error("Give a time today (HH:MM) or midnight.");
    if (a.fields.size() == 4) answer.words = a.fields[3];
    if (std::string why = enforce::ReasonProblem(answer.words); !why.empty()) return Error(why);
    control::Fields reply{"ok"};
    if (!Check(a.account, a.from, a.fields[1], reply)) return reply;
    return Done(outside_.AnswerFor(a.account, a.from, answer));
}

control::Fields Requests::For(const Asked& a) {
    control::Fields reply{"ok"};
    auto target = MemberNamed(a.fields[1], reply);
    if (!target) return reply;
    return Dispatch(a.caller, *target, true, control::Fields(a.fields.begin() + 2, a.fields.end()));
}

control::Fields Requests::First(const Asked& a) {
    // Never from the member itself: a child that asked first would own its seals.
    if (!a.fromParent)
        return Error("The password of this account is set in Veltrix in a parent's account.");
    std::string why;
    auto sealed = store_.Load(a.account.uid, &why);
    if (!sealed) return Error("The sealed settings cannot be read: " + why);
    if (!sealed->passwordHash.empty()) return Error("A password is already set.");
    auto hash = password::Hash(a.fields[1]);
    if (!hash) return Error("The password cannot be hashed.");
    sealed->passwordHash = *hash;
    control::Fields reply{"ok"};
    if (Store(a.account, *sealed, reply))
        outside_.Log(a.account, "The first password was set, from the account of " + a.from.name);
    return reply;
}

control::Fields Requests::Verify(const Asked& a) {
    control::Fields reply{"ok"};
    Check(a.account, a.from, a.fields[1], reply);
    return reply;
}

control::Fields Requests::Try(const Asked& a) {
    control::Fields reply{"ok"};
    Check(a.account, a.from, a.fields[1], reply, true);
    return reply;
}

control::Fields Requests::Change(const Asked& a) {
    control::Fields reply{"ok"};
    auto sealed = Check(a.account, a.from, a.fields[1], reply);
    if (!sealed) return reply;
    auto hash = password::Hash(a.fields[2]);
    if (!hash) return Error("The password cannot be hashed.");
    sealed->passwordHash = *hash;
    if (Store(a.account, *sealed, reply)) outside_.Log(a.account, "The password was changed");
    return reply;
}

control::Fields Requests::Save(const Asked& a) {
    Sealed changes;
    for (std::size_t i = 2; i < a.fields.size(); ++i) {
        const std::size_t eq = a.fields[i].find('=');
        const std::string name = a.fields[i].substr(0, eq);
        if (eq == std::string::npos || !control::IsSealedName(name))
            return Error("There is no setting " + name + ".");
        changes.values[name] = a.fields[i].substr(eq + 1);
    }
    control::Fields reply{"ok"};
    auto sealed = Check(a.account, a.from, a.fields[1], reply);
    if (!sealed) return reply;
    for (auto& [name, value] : changes.values) sealed->values[name] = value;
    Store(a.account, *sealed, reply);
    return reply;
}

control::Fields Requests::Read(const Asked& a) {
    control::Fields reply{"ok"};
    auto sealed = Check(a.account, a.from, a.fields[1], reply);
    if (!sealed) return reply;
    for (const auto& [name, value] : sealed->values) reply.push_back(name + "=" + value);
    return reply;
}

control::Fields Requests::ClearLog(const Asked& a) {
    const control::Fields& f = a.fields;
    SeenLog seen;
    if (f.size() == 4 || !ParseBytes(f[2], seen.bytes) ||
        (f.size() == 5 && (!ParseBytes(f[3], seen.inode) || !ParseBytes(f[4], seen.previousBytes))))
        return Error("malformed request");
    control::Fields reply{"ok"};
    if (!Check(a.account, a.from, f[1], reply)) return reply;
    std::string why;
    if (!outside_.ClearLog(seen, &why)) return Error("The log cannot be cleared: " + why);
    return reply;
}

control::Fields Requests::Autostart(const Asked& a) {
    const bool read = a.fields.size() == 2;
    if (!read && a.fields[2] != "on" && a.fields[2] != "off") return Error("malformed request");
    control::Fields reply{"ok"};
    if (!Check(a.account, a.from, a.fields[1], reply)) return reply;
    if (read) return {"ok", outside_.AutostartIsOn() ? "on" : "off"};
    std::string why;
    if (!outside_.Autostart(a.fields[2] == "on", &why))
        return Error("The autostart entry cannot be changed: " + why);
    return reply;
}

}  // namespace veltrixd
