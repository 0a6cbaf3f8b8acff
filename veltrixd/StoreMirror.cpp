#include "veltrixd/StoreMirror.h"

#include <unistd.h>

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>

#include "veltrixd/AccountStore.h"
#include "veltrixd/Say.h"

namespace veltrixd {

struct StoreMirror::Write {
    Account account;
    AccountChild child;
    std::unique_ptr<QSocketNotifier> ended;
    std::unique_ptr<QTimer> deadline;
};

StoreMirror::StoreMirror(std::string userStore) : userStore_(std::move(userStore)) {}

StoreMirror::~StoreMirror() {
    for (auto& [uid, write] : writes_) {
        write->ended.reset();
        EndAccountChild(write->child, false);
    }
}

void StoreMirror::Write(const Account& account, std::map<std::string, std::string> values) {
    if (writes_.contains(account.uid)) {
        next_[account.uid] = {account, std::move(values)};
        return;
    }
    Start(account, values);
}

void StoreMirror::Start(const Account& account, const std::map<std::string, std::string>& values) {
    auto child = StartAccountStoreWrite(account.uid, userStore_, values);
    if (!child) {
        Say(account.name +
            ": the sealed settings cannot be shown in the account's store (no "
            "home, or no process)");
        return;
    }
    auto write = std::make_unique<struct Write>();
    write->account = account;
    write->child = std::move(*child);
    write->ended = std::make_unique<QSocketNotifier>(write->child.out.get(), QSocketNotifier::Read);
    write->deadline = std::make_unique<QTimer>();
    write->deadline->setSingleShot(true);
    const uid_t uid = account.uid;
    // The child writes nothing to its end of the pipe: readable means it ended.
    connect(write->ended.get(), &QSocketNotifier::activated, this, [this, uid] {
        char byte;
        const ssize_t n = ::read(writes_.at(uid)->child.out.get(), &byte, 1);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
        Finish(uid, n == 0);
    });
    connect(write->deadline.get(), &QTimer::timeout, this, [this, uid] { Finish(uid, false); });
    write->deadline->start(kAccountStoreMs);
    writes_[uid] = std::move(write);
}

void StoreMirror::Finish(uid_t uid, bool ended) {
    auto it = writes_.find(uid);
    std::unique_ptr<struct Write> write = std::move(it->second);
    writes_.erase(it);
    write->ended->setEnabled(false);
    write->deadline->stop();
    write->ended.release()->deleteLater();
    write->deadline.release()->deleteLater();
    if (EndAccountChild(write->child, ended) != 0)
        Say(write->account.name +
            ": the sealed settings could not be written into the account's "
            "store (it stays as it was)");
    auto next = next_.find(uid);
    if (next != next_.end()) {
        auto [account, values] = std::move(next->second);
        next_.erase(next);
        Start(account, values);
    }
}

}  // namespace veltrixd
