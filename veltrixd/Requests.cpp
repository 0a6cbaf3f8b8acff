#include "veltrixd/Requests.h"

#include <algorithm>

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
    if (hooks_.sealedChanged) hooks_.sealedChanged(account);
    return true;
}

std::optional<Sealed> Requests::Check(const Account& account, const Account& from,
                                      const std::string& password, control::Fields& error,
                                      bool quiet) {
    const std::int64_t now = hooks_.nowMs();
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
            if (fold.count++ == 0) fold = WrongFold{account, from, 1, now};
        }
        if (limit_.Wrong(account.uid, from.uid, now))
            hooks_.log(account, std::to_string(control::kMaxWrong) +
                                    " wrong passwords within a minute: every try waits");
        error = Error("wrong password");
        return std::nullopt;
    }
    limit_.Right(account.uid, from.uid);
    return sealed;
}

void Requests::Flush(bool all) {
    const std::int64_t now = hooks_.nowMs ? hooks_.nowMs() : 0;
    for (auto it = wrongs_.begin(); it != wrongs_.end();) {
        const WrongFold& f = it->second;
        if (!all && now - f.since < kWrongFoldMs) {
            ++it;
            continue;
        }
        hooks_.log(f.account, std::to_string(f.count) +
                                  (f.count == 1 ? " wrong password" : " wrong passwords") +
                                  " for " + f.account.name + " from the account of " + f.from.name);
        it = wrongs_.erase(it);
    }
}

std::optional<Account> Requests::MemberNamed(const std::string& name, control::Fields& error) {
    auto account = hooks_.accountNamed(name);
    if (!account || !hooks_.isMember(*account)) {
        error = Error("There is no account " + name + " among Veltrix's accounts.");
        return std::nullopt;
    }
    return account;
}

control::Fields Requests::Handle(const Caller& caller, const control::Fields& request) {
    Flush();
    const std::string& verb = request.at(0);
    const std::size_t args = request.size() - 1;
    const Account& account = caller.account;

    if (verb == "status" && args == 0) {
        const bool sealed = caller.member && [&] {
            auto s = store_.Load(account.uid, nullptr);
            return !s || !s->passwordHash.empty();  // unreadable counts as sealed
        }();
        return {"ok",
                caller.member   ? "member"
                : caller.parent ? "parent"
                                : "not-member",
                sealed ? "sealed" : "unsealed", account.name};
    }
    if (verb == "reset" && (args == 1 || args == 2)) {
        if (account.uid != 0) return Error("Only the administrator may reset a password.");
        auto target = hooks_.accountNamed(request[1]);
        if (!target) return Error("There is no account " + request[1] + ".");
        std::string why;
        auto sealed = store_.Load(target->uid, &why);
        if (!sealed) return Error("The sealed settings cannot be read: " + why);
        sealed->passwordHash.clear();
        if (args == 2) {
            auto hash = password::Hash(request[2]);
            if (!hash) return Error("The password cannot be hashed.");
            sealed->passwordHash = *hash;
        }
        control::Fields reply{"ok"};
        if (!Store(*target, *sealed, reply)) return reply;
        limit_.Forget(target->uid);
        hooks_.log(*target, args == 2 ? "The administrator set a new password"
                                      : "The administrator reset the password: a parent sets "
                                        "the next one in Veltrix in a parent's account");
        return reply;
    }
    // The parents' requests: the family, and any member's settings.
    if (verb == "family" || verb == "family-states" || verb == "state" || verb == "for") {
        if (!caller.parent || caller.member)
            return Error("Only a parent's account may manage the accounts of the family.");
        control::Fields reply{"ok"};
        if (verb == "family" && args == 0) {
            for (const Account& member : hooks_.members()) reply.push_back(member.name);
            return reply;
        }
        if (verb == "family-states" && args == 0) return FamilyStates();
        if (args < 1) return Error("malformed request");
        auto target = MemberNamed(request[1], reply);
        if (!target) return reply;
        if (verb == "state" && args == 1) {
            reply.push_back(SealedWord(*target));
            for (std::string& field : hooks_.stateOf(*target)) reply.push_back(std::move(field));
            return reply;
        }
        if (verb == "for" && args >= 2)
            return Act(*target, account, true, control::Fields(request.begin() + 2, request.end()));
        return Error("malformed request");
    }
    if (!caller.member)
        return Error("This account is not a member of the group of Veltrix's accounts.");
    return Act(account, account, false, request);
}

std::string Requests::SealedWord(const Account& account) {
    auto sealed = store_.Load(account.uid, nullptr);
    return !sealed || !sealed->passwordHash.empty() ? "sealed" : "unsealed";
}

control::Fields Requests::FamilyStates() {
    // Each member's line as "state" answers it, with the account's name first.
    std::vector<control::Fields> lines;
    for (const Account& member : hooks_.members()) {
        control::Fields line{member.name, SealedWord(member)};
        for (std::string& field : hooks_.stateOf(member)) line.push_back(std::move(field));
        lines.push_back(std::move(line));
    }
    // The reply is one line of the protocol: the oldest alerts of the member with the most give
    // way until it fits.
    constexpr std::size_t kBeforeAlerts = 6;  // ACCOUNT sealed|unsealed on|off NOW UNTIL STOPPED
    for (;;) {
        control::Fields reply{"ok"};
        for (const control::Fields& line : lines) {
            std::string encoded = control::Encode(line);
            encoded.pop_back();
            reply.push_back(std::move(encoded));
        }
        if (control::Encode(reply).size() <= control::kMaxLine || lines.empty()) return reply;
        auto most = std::max_element(lines.begin(), lines.end(), [](const auto& a, const auto& b) {
            return a.size() < b.size();
        });
        if (most->size() <= kBeforeAlerts) return Error("The family is too large to tell at once.");
        most->erase(most->begin() + kBeforeAlerts);
    }
}

control::Fields Requests::Act(const Account& account, const Account& from, bool fromParent,
                              const control::Fields& request) {
    const std::string& verb = request.at(0);
    const std::size_t args = request.size() - 1;
    auto arity = [&](std::size_t n) { return args == n; };

    if (verb == "first" && arity(1)) {
        // Never from the member itself: a child that asked first would own its seals.
        if (!fromParent)
            return Error("The password of this account is set in Veltrix in a parent's account.");
        std::string why;
        auto sealed = store_.Load(account.uid, &why);
        if (!sealed) return Error("The sealed settings cannot be read: " + why);
        if (!sealed->passwordHash.empty()) return Error("A password is already set.");
        auto hash = password::Hash(request[1]);
        if (!hash) return Error("The password cannot be hashed.");
        sealed->passwordHash = *hash;
        control::Fields reply{"ok"};
        if (Store(account, *sealed, reply))
            hooks_.log(account, "The first password was set, from the account of " + from.name);
        return reply;
    }

    if (args < 1) return Error("malformed request");
    control::Fields reply{"ok"};
    if (verb == "verify" && arity(1)) {
        Check(account, from, request[1], reply);
        return reply;
    }
    if (verb == "try" && arity(1) && fromParent) {
        Check(account, from, request[1], reply, true);
        return reply;
    }
    if (verb == "change" && arity(2)) {
        auto sealed = Check(account, from, request[1], reply);
        if (!sealed) return reply;
        auto hash = password::Hash(request[2]);
        if (!hash) return Error("The password cannot be hashed.");
        sealed->passwordHash = *hash;
        if (Store(account, *sealed, reply)) hooks_.log(account, "The password was changed");
        return reply;
    }
    if (verb == "save") {
        Sealed changes;
        for (std::size_t i = 2; i < request.size(); ++i) {
            const std::size_t eq = request[i].find('=');
            const std::string name = request[i].substr(0, eq);
            if (eq == std::string::npos || !control::IsSealedName(name))
                return Error("There is no setting " + name + ".");
            changes.values[name] = request[i].substr(eq + 1);
        }
        auto sealed = Check(account, from, request[1], reply);
        if (!sealed) return reply;
        for (auto& [name, value] : changes.values) sealed->values[name] = value;
        Store(account, *sealed, reply);
        return reply;
    }
    if (verb == "read" && arity(1)) {
        auto sealed = Check(account, from, request[1], reply);
        if (!sealed) return reply;
        for (const auto& [name, value] : sealed->values) reply.push_back(name + "=" + value);
        return reply;
    }
    if (verb == "clear-log" && (arity(2) || arity(4))) {
        SeenLog seen;
        if (!ParseBytes(request[2], seen.bytes) ||
            (args == 4 &&
             (!ParseBytes(request[3], seen.inode) || !ParseBytes(request[4], seen.previousBytes))))
            return Error("malformed request");
        if (!Check(account, from, request[1], reply)) return reply;
        std::string why;
        if (!hooks_.clearLog(seen, &why)) return Error("The log cannot be cleared: " + why);
        return reply;
    }
    if (verb == "autostart" && arity(2)) {
        if (request[2] != "on" && request[2] != "off") return Error("malformed request");
        if (!Check(account, from, request[1], reply)) return reply;
        std::string why;
        if (!hooks_.autostart(request[2] == "on", &why))
            return Error("The autostart entry cannot be changed: " + why);
        return reply;
    }
    return Error("malformed request");
}

}  // namespace veltrixd
