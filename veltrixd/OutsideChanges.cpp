#include "veltrixd/OutsideChanges.h"

#include <unistd.h>

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>

#include "lib/control/Protocol.h"
#include "lib/store/ValueNames.h"
#include "veltrixd/SealedStore.h"

namespace veltrixd {

struct OutsideChanges::Read {
    Account account;
    AccountChild child;
    std::string output;
    std::unique_ptr<QSocketNotifier> readable;
    std::unique_ptr<QTimer> deadline;
};

OutsideChanges::OutsideChanges(SealedStore& sealed, std::string userStore, Listener& listener)
    : sealed_(sealed), userStore_(std::move(userStore)), listener_(listener) {}

OutsideChanges::~OutsideChanges() {
    for (auto& [uid, read] : reads_) {
        read->readable.reset();
        EndAccountChild(read->child, false);
    }
}

void OutsideChanges::Check(const std::vector<Account>& members) {
    std::map<uid_t, State> kept;
    std::vector<Account> due;
    for (const Account& a : members) {
        auto sealed = sealed_.Load(a.uid, nullptr);
        if (!sealed || sealed->passwordHash.empty()) continue;  // the store is all there is
        kept[a.uid] = states_[a.uid];
        if (!reads_.contains(a.uid)) due.push_back(a);
    }
    states_ = std::move(kept);
    for (const Account& a : due) StartRead(a);
}

void OutsideChanges::StartRead(const Account& account) {
    std::vector<std::string> names = control::SealedNames();
    names.emplace_back(store::kPassword);
    auto child = StartAccountStoreRead(account.uid, userStore_, names);
    if (!child) {
        Seen(account, AccountStoreReadOf(-1, {}));
        return;
    }
    auto read = std::make_unique<Read>();
    read->account = account;
    read->child = std::move(*child);
    read->readable =
        std::make_unique<QSocketNotifier>(read->child.out.get(), QSocketNotifier::Read);
    read->deadline = std::make_unique<QTimer>();
    read->deadline->setSingleShot(true);
    const uid_t uid = account.uid;
    connect(read->readable.get(), &QSocketNotifier::activated, this,
            [this, uid] { Readable(uid); });
    connect(read->deadline.get(), &QTimer::timeout, this, [this, uid] { Finish(uid, false); });
    read->deadline->start(kAccountStoreMs);
    reads_[uid] = std::move(read);
}

void OutsideChanges::Readable(uid_t uid) {
    Read& read = *reads_.at(uid);
    char chunk[4096];
    const ssize_t n = ::read(read.child.out.get(), chunk, sizeof chunk);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
    if (n > 0) {
        AppendOutput(read.output, chunk, static_cast<std::size_t>(n));
        return;
    }
    Finish(uid, true);
}

void OutsideChanges::Finish(uid_t uid, bool ended) {
    auto it = reads_.find(uid);
    std::unique_ptr<Read> read = std::move(it->second);
    reads_.erase(it);
    // Called from the read's own notifier or timer: those go when control returns to the loop.
    read->readable->setEnabled(false);
    read->deadline->stop();
    read->readable.release()->deleteLater();
    read->deadline.release()->deleteLater();
    const int status = EndAccountChild(read->child, ended);
    if (states_.contains(uid)) Seen(read->account, AccountStoreReadOf(status, read->output));
}

void OutsideChanges::Seen(const Account& account, const AccountStoreRead& read) {
    auto sealed = sealed_.Load(account.uid, nullptr);
    if (!sealed || sealed->passwordHash.empty()) {
        states_.erase(account.uid);
        return;
    }
    State& state = states_[account.uid];
    if (++state.reads > kOutsideReadsPerHour) {
        if (state.more > 0)
            listener_.Log(account,
                          "and " + std::to_string(state.more) +
                              " more changes of the settings outside the panel in the hour "
                              "before, not logged one by one");
        state.reads = 1;
        state.lines = state.more = 0;
    }
    if (read.status == AccountStoreRead::Ok) {
        const auto password = read.values.find(store::kPassword);
        if (password != read.values.end() && password->second != store::kPasswordWithService)
            listener_.PasswordInStore(account);
    }
    const std::vector<std::string> names = control::SealedNames();
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
    if (state.lines >= kOutsideLinesPerHour) {
        ++state.more;
        return;
    }
    ++state.lines;
    listener_.Log(account, "settings changed outside the panel (" + difference +
                               "); the parent's sealed settings stay in force");
}

}  // namespace veltrixd
