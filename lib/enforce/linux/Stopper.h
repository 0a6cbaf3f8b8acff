// Stops processes through pidfds: a pidfd is opened and the process's start time checked again,
// so the signal can only reach the process that was seen (never a new one that got its pid).
// SIGTERM first; if the process still runs after the grace time, SIGKILL.
#pragma once

#include <QObject>

#include <functional>
#include <map>
#include <memory>

#include "lib/enforce/Programs.h"
#include "lib/platform/files/UniqueFd.h"

class QSocketNotifier;
class QTimer;

namespace enforce {

inline constexpr int kGraceMs = 5000;

class Stopper final : public QObject {
    Q_OBJECT
  public:
    // `killed` is told about each process that had to be killed.
    explicit Stopper(std::function<void(const ProcessInfo&)> killed, int graceMs = kGraceMs);
    ~Stopper() override;

    // False when the process is already gone or is no longer the one seen.
    bool Stop(const ProcessInfo& p);

    // pidfd_open(2) and pidfd_send_signal(2); -1 and errno on failure.
    static int OpenPidfd(int pid);
    static int SendSignal(int pidfd, int signal);

  private:
    struct Target {
        ProcessInfo process;
        platform::UniqueFd pidfd;  // closed last, after the notifier on it
        std::unique_ptr<QSocketNotifier> ended;
        std::unique_ptr<QTimer> grace;
    };
    void Forget(int pidfd);

    std::function<void(const ProcessInfo&)> killed_;
    int graceMs_;
    std::map<int, std::unique_ptr<Target>> pending_;  // by pidfd
};

}  // namespace enforce
