// The guard program at work: the engine of sentrel/core wired to the system. It reads the
// settings at the start, whenever the store's directory changes, at a second start and every
// 30 s; ticks once a second (clock, hours, warnings, the end of the session, the heartbeat);
// scans the processes twice a second while an hour blocks; and keeps a watcher while
// "NeedGuardOrNot" is "Yes". Where the system service enforces this account, the service stops
// and logs and this guard only shows the service's notifications (ServiceLink).
#pragma once

#include <QObject>

#include <memory>
#include <string>

#include "lib/platform/files/UniqueFd.h"
#include "sentrel/core/Guard.h"

class QSocketNotifier;
class QTimer;

namespace platform {
class SignalEvents;
}

namespace sentrel {

class HeartbeatFile;
class Notifier;
class ProcScanner;
class ServiceLink;
class Session;
class Stopper;
class StoreWatcher;
class SystemClock;

inline constexpr int kScanMs = 500;
inline constexpr int kTickMs = 1000;
inline constexpr int kRereadMs = 30000;

class SessionGuard final : public QObject, public Outside {
    Q_OBJECT
  public:
    SessionGuard();
    ~SessionGuard() override;

    void Start();

  private:
    // Outside
    bool Stop(const ProcessInfo& p) override;
    void Notify(const std::string& text) override;
    void Log(const std::string& line) override;

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
    std::unique_ptr<SystemClock> clock_;
    std::unique_ptr<ProcScanner> table_;
    std::unique_ptr<Guard> guard_;
    std::unique_ptr<Stopper> stopper_;
    std::unique_ptr<Notifier> notifier_;
    std::unique_ptr<StoreWatcher> watcher_;
    std::unique_ptr<Session> session_;
    std::unique_ptr<ServiceLink> link_;
    std::unique_ptr<HeartbeatFile> heartbeat_;
    std::unique_ptr<platform::SignalEvents> signals_;
    std::unique_ptr<QTimer> tick_, scan_, reread_, settle_, probe_;
    bool finishing_ = false;
    int ticks_ = 0;

    // The watcher while protection is on.
    bool watcherWanted_ = false;
    int watcherPid_ = -1;
    platform::UniqueFd watcherFd_;  // closed after the notifier on it
    std::unique_ptr<QSocketNotifier> watcherEnd_;
};

}  // namespace sentrel
