#include "lib/enforce/linux/Stopper.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QTimer>

#include <csignal>

#include "lib/enforce/linux/ProcScanner.h"

namespace enforce {

int Stopper::OpenPidfd(int pid) {
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
}

int Stopper::SendSignal(int pidfd, int signal) {
    return static_cast<int>(::syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0));
}

Stopper::Stopper(std::function<void(const ProcessInfo&)> killed, int graceMs)
    : killed_(std::move(killed)), graceMs_(graceMs) {}

Stopper::~Stopper() = default;

bool Stopper::Stop(const ProcessInfo& p) {
    platform::UniqueFd pidfd(OpenPidfd(p.pid));
    if (!pidfd.valid()) return false;
    // The pidfd holds this very process from now on; is it still the one that was seen?
    if (ProcScanner::StartTime(p.pid) != p.startTime || SendSignal(pidfd.get(), SIGTERM) != 0)
        return false;
    const int fd = pidfd.get();
    auto target = std::make_unique<Target>();
    target->process = p;
    target->pidfd = std::move(pidfd);
    target->ended = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(target->ended.get(), &QSocketNotifier::activated, this, [this, fd] { Forget(fd); });
    target->grace = std::make_unique<QTimer>();
    target->grace->setSingleShot(true);
    target->grace->setTimerType(Qt::PreciseTimer);  // the grace time is promised: not less
    connect(target->grace.get(), &QTimer::timeout, this, [this, fd] {
        auto it = pending_.find(fd);
        if (it == pending_.end()) return;
        if (SendSignal(fd, SIGKILL) == 0 && killed_) killed_(it->second->process);
        it->second->grace.release()->deleteLater();  // the notifier still tells of the end
    });
    target->grace->start(graceMs_);
    pending_[fd] = std::move(target);
    return true;
}

void Stopper::Forget(int pidfd) {
    auto it = pending_.find(pidfd);
    if (it == pending_.end()) return;
    it->second->ended->setEnabled(false);
    // Deleting the notifier inside its own signal is not allowed: let the loop do it.
    it->second->ended.release()->deleteLater();
    if (it->second->grace) it->second->grace.release()->deleteLater();
    pending_.erase(it);  // closes the pidfd
}

}  // namespace enforce
