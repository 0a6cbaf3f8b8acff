// The guard program at work: the enforcement engine (lib/enforce) wired to the session. It reads
// the settings at the start, whenever the store's directory changes, at a second start and every 30
// s; ticks once a second (clock, hours, warnings, the end of the session, the heartbeat); scans the
// processes twice a second while an hour blocks; and keeps a watcher while "NeedGuardOrNot" is
// "Yes". Where the system service enforces this account, the service stops and logs and this guard
// only shows the service's notifications (ServiceLink).
#pragma once

#include <QObject>

#include <memory>
#include <string>

#include "lib/enforce/Guard.h"
#include "lib/enforce/linux/ScanSchedule.h"
#include "lib/platform/files/UniqueFd.h"

class QSocketNotifier;
class QTimer;

namespace platform {
class SignalEvents;
}
namespace enforce {
class HeartbeatFile;
class ProcScanner;
class Stopper;
class SystemClock;
}  // namespace enforce

namespace sentrel {

class Notifier;
class ServiceLink;
class Session;
class StoreWatcher;

inline constexpr int kRereadMs = 30000;

class SessionGuard final : public QObject,
                           public enforce::Outside,
                           public enforce::ScanSchedule::Driven {
    Q_OBJECT
  public:
    SessionGuard();
    ~SessionGuard() override;

    void Start();

  private:
    // enforce::Outside
    bool Stop(const enforce::ProcessInfo& p) override;
    void Notify(const std::string& text) override;
    void Log(const std::string& line) override;
    // enforce::ScanSchedule::Driven
    void OnTick() override { Tick(); }
    void OnScan() override { Scan(); }
    void OnProbe() override;

    void ReadSettings();
    void Tick();
    void Scan();
    void UpdateScanning();
    void OnSignal(int signal, int sender);
    void Finish(const std::string& reason);
    void KeepWatcher(bool wanted);
    void WatcherEnded();
    bool Delegated() const;

    std::string exe_, programDir_, logPath_;
    std::unique_ptr<enforce::SystemClock> clock_;
    std::unique_ptr<enforce::ProcScanner> table_;
    std::unique_ptr<enforce::Guard> guard_;
    std::unique_ptr<enforce::Stopper> stopper_;
    std::unique_ptr<Notifier> notifier_;
    std::unique_ptr<StoreWatcher> watcher_;
    std::unique_ptr<Session> session_;
    std::unique_ptr<ServiceLink> link_;
    std::unique_ptr<enforce::HeartbeatFile> heartbeat_;
    std::unique_ptr<platform::SignalEvents> signals_;
    std::unique_ptr<enforce::ScanSchedule> schedule_;
    std::unique_ptr<QTimer> reread_, settle_;
    bool finishing_ = false;
    int ticks_ = 0;

    // The watcher while protection is on.
    bool watcherWanted_ = false;
    int watcherPid_ = -1;
    platform::UniqueFd watcherFd_;  // closed after the notifier on it
    std::unique_ptr<QSocketNotifier> watcherEnd_;
};

}  // namespace sentrel
