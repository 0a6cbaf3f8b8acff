// systemd's notifications from the service's loop: READY=1 once it enforces, WATCHDOG=1 at half
// the period systemd asks for (WatchdogSec=), so a loop that stops turning is killed and
// restarted; STOPPING=1 at the end. Without systemd (no NOTIFY_SOCKET) each is a no-op.
#pragma once

#include <QObject>

#include <memory>

class QTimer;

namespace veltrixd {

class Watchdog final : public QObject {
    Q_OBJECT
  public:
    Watchdog();
    ~Watchdog() override;

    void Ready();
    void Stopping();
    // The keep-alive period in ms; 0 when no watchdog was asked for.
    int PeriodMs() const { return periodMs_; }

  private:
    int periodMs_ = 0;
    std::unique_ptr<QTimer> keepAlive_;
};

}  // namespace veltrixd
