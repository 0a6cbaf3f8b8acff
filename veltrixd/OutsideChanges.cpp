#include "veltrixd/OutsideChanges.h"

#include "lib/control/Protocol.h"
#include "veltrixd/AccountStore.h"
#include "veltrixd/SealedStore.h"

namespace veltrixd {

OutsideChanges::OutsideChanges(SealedStore& sealed, std::string userStore,
                               std::function<void(const Account&, const std::string&)> log)
    : sealed_(sealed), userStore_(std::move(userStore)), log_(std::move(log)) {}

void OutsideChanges::Check(const std::vector<Account>& members) {
    std::map<uid_t, State> kept;
    for (const Account& a : members) {
        State state = states_.contains(a.uid) ? states_[a.uid] : State{};
        CheckOne(a, state);
        kept[a.uid] = std::move(state);
    }
    states_ = std::move(kept);
}

void OutsideChanges::CheckOne(const Account& account, State& state) {
    const std::string stamp = AccountStoreStamp(account.uid, userStore_);
    if (stamp == state.stamp && state.pending.empty()) return;
    auto sealed = sealed_.Load(account.uid, nullptr);
    if (!sealed || sealed->passwordHash.empty()) {
        state = State{};  // nothing sealed: the store is all there is
        return;
    }
    state.stamp = stamp;
    const std::vector<std::string> names = control::SealedNames();
    const AccountStoreRead read = ReadAccountStore(account.uid, userStore_, names);
    std::string difference, signature;
    if (read.status == AccountStoreRead::Failed) {
        difference = "the store cannot be read: " + read.why;
    } else {
        for (const auto& name : names) {
            const auto inStore = read.values.find(name);
            const auto inSealed = sealed->values.find(name);
            const std::string a = inStore == read.values.end() ? "" : inStore->second;
            const std::string b = inSealed == sealed->values.end() ? "" : inSealed->second;
            if (a == b) continue;
            difference += (difference.empty() ? "" : ", ") + name;
            signature += control::Encode({name, a});
        }
        if (read.status == AccountStoreRead::Absent && !difference.empty())
            difference = "the store was removed";
    }
    signature = difference + "\n" + signature;  // another value is another change
    if (difference.empty() || signature == state.reported) {
        state.pending.clear();
        if (difference.empty()) state.reported.clear();
        return;
    }
    if (state.pending != signature) {
        state.pending = signature;  // once more at the next check
        return;
    }
    state.pending.clear();
    state.reported = signature;
    log_(account, "settings changed outside the panel (" + difference +
                      "); the parent's sealed settings stay in force");
}

}  // namespace veltrixd
