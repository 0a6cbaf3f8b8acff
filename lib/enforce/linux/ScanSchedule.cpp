#include "lib/enforce/linux/ScanSchedule.h"

#include <QTimer>

#include <functional>

namespace enforce {
namespace {

std::unique_ptr<QTimer> Timer(QObject* owner, int ms, bool single, std::function<void()> fire) {
    auto t = std::make_unique<QTimer>();
    t->setInterval(ms);
    t->setSingleShot(single);
    QObject::connect(t.get(), &QTimer::timeout, owner, std::move(fire));
    return t;
}

}  // namespace

ScanSchedule::ScanSchedule(Driven& driven) : driven_(driven) {
    tick_ = Timer(this, kTickMs, false, [this] { driven_.OnTick(); });
    scan_ = Timer(this, kScanMs, false, [this] { driven_.OnScan(); });
    probe_ = Timer(this, 0, true, [this] { driven_.OnProbe(); });
    recheck_ = Timer(this, kRecheckMs, false, [this] { driven_.OnRecheck(); });
    soon_ = Timer(this, 0, true, [this] { driven_.OnSoon(); });
}

ScanSchedule::~ScanSchedule() = default;

void ScanSchedule::StartTicking() {
    tick_->start();
}

void ScanSchedule::StopAll() {
    for (QTimer* t : {tick_.get(), scan_.get(), probe_.get(), recheck_.get(), soon_.get()})
        t->stop();
}

void ScanSchedule::Scanning(bool on) {
    if (on == scan_->isActive()) return;
    if (!on) {
        scan_->stop();
        return;
    }
    scan_->start();
    driven_.OnScan();
}

bool ScanSchedule::IsScanning() const {
    return scan_->isActive();
}

void ScanSchedule::SetScanInterval(int ms) {
    scan_->setInterval(ms);
}

void ScanSchedule::Rechecking(bool on) {
    if (on && !recheck_->isActive()) recheck_->start();
    if (!on) recheck_->stop();
}

bool ScanSchedule::ProbeIn(std::int64_t dueMs) {
    if (dueMs < 0 || dueMs >= kScanMs) return false;
    const int ms = static_cast<int>(dueMs) + 5;
    if (!probe_->isActive() || probe_->remainingTime() > ms) probe_->start(ms);
    return true;
}

void ScanSchedule::Soon() {
    soon_->start();
}

}  // namespace enforce
