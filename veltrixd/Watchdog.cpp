#include "veltrixd/Watchdog.h"

#include <systemd/sd-daemon.h>

#include <QTimer>

#include <algorithm>
#include <cstdint>

namespace veltrixd {

Watchdog::Watchdog() : keepAlive_(std::make_unique<QTimer>()) {
    std::uint64_t usec = 0;
    if (::sd_watchdog_enabled(0, &usec) > 0 && usec > 0)
        periodMs_ = static_cast<int>(std::clamp<std::uint64_t>(usec / 2000, 1, 60000));
    QObject::connect(keepAlive_.get(), &QTimer::timeout, this,
                     [] { ::sd_notify(0, "WATCHDOG=1"); });
}

Watchdog::~Watchdog() = default;

void Watchdog::Ready() {
    ::sd_notify(0, "READY=1");
    if (periodMs_ == 0) return;
    ::sd_notify(0, "WATCHDOG=1");
    keepAlive_->start(periodMs_);
}

void Watchdog::Stopping() {
    keepAlive_->stop();
    ::sd_notify(0, "STOPPING=1");
}

}  // namespace veltrixd
