#include "sentrel/SessionGuard.h"

#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QProcess>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>

#include "lib/enforce/Heartbeat.h"
#include "lib/enforce/linux/HeartbeatFile.h"
#include "lib/enforce/linux/ProcScanner.h"
#include "lib/enforce/linux/Stopper.h"
#include "lib/enforce/linux/SystemClock.h"
#include "lib/platform/core/SignalEvents.h"
#include "lib/platform/files/SharedLog.h"
#include "sentrel/Instance.h"
#include "sentrel/Notifier.h"
#include "sentrel/ServiceLink.h"
#include "sentrel/Session.h"
#include "sentrel/StoreReader.h"
#include "sentrel/StoreWatcher.h"
#include "sentrel/Watcher.h"

namespace sentrel {
namespace {

std::unique_ptr<QTimer> Timer(int ms, bool single = false) {
    auto t = std::make_unique<QTimer>();
    t->setInterval(ms);
    t->setSingleShot(single);
    return t;
}

}  // namespace

SessionGuard::SessionGuard() {
    exe_ = enforce::OwnExecutable();
    programDir_ = platform::DirectoryOfPath(exe_);
    logPath_ = programDir_ + "Block.log";
    clock_ = std::make_unique<enforce::SystemClock>();
    table_ = std::make_unique<enforce::ProcScanner>(::getuid(),
                                                    std::make_shared<enforce::EngineProbe>());
    guard_ = std::make_unique<enforce::Guard>(
        *clock_, *table_, *this,
        enforce::Identity{VELTRIX_VERSION, static_cast<int>(::getpid()), programDir_});
    stopper_ = std::make_unique<enforce::Stopper>(
        [this](const enforce::ProcessInfo& p) { guard_->Killed(p); });
    notifier_ = std::make_unique<Notifier>();
    watcher_ = std::make_unique<StoreWatcher>();
    session_ = std::make_unique<Session>(Session::Own());
    link_ = std::make_unique<ServiceLink>();
    heartbeat_ = std::make_unique<enforce::HeartbeatFile>(GuardHeartbeatPath());
    // SIGTERM, SIGINT and SIGHUP end the guard; SIGUSR1 is a second start asking for the
    // settings to be read again.
    signals_ = std::make_unique<platform::SignalEvents>(
        std::initializer_list<int>{SIGTERM, SIGINT, SIGHUP, SIGUSR1});
    ::signal(SIGPIPE, SIG_IGN);
    schedule_ = std::make_unique<enforce::ScanSchedule>(*this);
    reread_ = Timer(kRereadMs);
    settle_ = Timer(150, true);  // a save is several file events: read once they have settled
    connect(reread_.get(), &QTimer::timeout, this, [this] { ReadSettings(); });
    connect(settle_.get(), &QTimer::timeout, this, [this] { ReadSettings(); });
    connect(watcher_.get(), &StoreWatcher::Changed, this, [this] { settle_->start(); });
    connect(signals_.get(), &platform::SignalEvents::Received, this,
            [this](int signal, int sender) { OnSignal(signal, sender); });
    connect(link_.get(), &ServiceLink::Notified, this, [this](const std::string& text) {
        notifier_->ShowAskable(QString::fromStdString(text));
    });
    // "Ask for more time" on them: the child's own view, asking.
    connect(notifier_.get(), &Notifier::AskChosen, this, [this] {
        QProcess::startDetached(QString::fromStdString(programDir_ + "veltrix"),
                                {QStringLiteral("--ask")});
    });
    // The service went (a restart, an upgrade): this guard works alone until it is back.
    connect(link_.get(), &ServiceLink::Lost, this, [this] { ReadSettings(); });
}

SessionGuard::~SessionGuard() {
    watcherEnd_.reset();
}

void SessionGuard::Start() {
    for (int pid : {session_->Leader(), enforce::ProcScanner::SessionOf(::getpid())})
        if (pid > 1) guard_->Protect(pid);
    guard_->Started(enforce::ParseHeartbeat(heartbeat_->Previous()));
    heartbeat_->Write(enforce::AliveRecord(clock_->Now(), static_cast<int>(::getpid())));
    watcher_->Watch(StoreDirectory());
    link_->Open();
    ReadSettings();
    guard_->Tick();
    schedule_->StartTicking();
    reread_->start();
}

bool SessionGuard::Delegated() const {
    return link_->IsOpen();
}

// While the service enforces, its guard for this account stops, warns and logs; this one's own
// decisions would only repeat them.
bool SessionGuard::Stop(const enforce::ProcessInfo& p) {
    return Delegated() || stopper_->Stop(p);
}

void SessionGuard::Notify(const std::string& text) {
    if (!Delegated()) notifier_->Show(QString::fromStdString(text));
}

void SessionGuard::Log(const std::string& line) {
    if (!Delegated()) platform::AppendSharedLogLine(logPath_, line);
}

void SessionGuard::ReadSettings() {
    if (!watcher_->Watching()) watcher_->Watch(StoreDirectory());
    if (!finishing_) link_->Open();
    const StoreReadResult result = ReadStore();
    if (result.ok)
        guard_->SettingsRead(result.read);
    else
        guard_->CannotReadSettings(result.error);
    KeepWatcher(guard_->Settings().protect);
    UpdateScanning();
}

void SessionGuard::UpdateScanning() {
    if (finishing_) return;
    // Scanning starts with a scan at once: the hour has just begun, or blocking was switched on.
    if (guard_->Blocking() && !Delegated()) {
        schedule_->Scanning(true);
    } else if (schedule_->IsScanning()) {
        schedule_->Scanning(false);
        guard_->Scan();  // forgets what it was stopping
    }
}

// A new program whose engine is not known yet is looked at again when it is due, not only at the
// next scan.
void SessionGuard::Scan() {
    table_->Recheck();  // what the processes judged alone have loaded since
    guard_->Scan();
    schedule_->ProbeIn(table_->ProbeDueInMs());
}

void SessionGuard::OnProbe() {
    if (schedule_->IsScanning()) Scan();
}

void SessionGuard::Tick() {
    guard_->Tick();
    if (session_->Ended() || (notifier_->HasBus() && !notifier_->BusConnected())) {
        Finish(kSessionEnded);
        return;
    }
    if (++ticks_ % enforce::kHeartbeatSeconds == 0)
        heartbeat_->Write(enforce::AliveRecord(clock_->Now(), static_cast<int>(::getpid())));
    UpdateScanning();
}

void SessionGuard::OnSignal(int signal, int sender) {
    if (signal == SIGUSR1) {
        guard_->AskedToReread(sender);
        ReadSettings();
        return;
    }
    Finish(std::string("stopped by ") + platform::SignalName(signal) +
           (sender > 0 ? " from pid " + std::to_string(sender) : std::string()));
}

void SessionGuard::Finish(const std::string& reason) {
    if (finishing_) return;
    finishing_ = true;
    schedule_->StopAll();
    reread_->stop();
    // At the end of the session the watcher goes too; a guard stopped while the session goes on
    // is left to the watcher, which starts a new one.
    if (reason == kSessionEnded) KeepWatcher(false);
    guard_->Stopping(reason);
    heartbeat_->Write(enforce::StoppedRecord(clock_->Now(), static_cast<int>(::getpid()), reason));
    QCoreApplication::quit();
}

void SessionGuard::KeepWatcher(bool wanted) {
    watcherWanted_ = wanted;
    if (wanted && watcherPid_ < 0 && !finishing_) {
        const pid_t pid = SpawnWatcher(exe_);
        if (pid < 0) return;
        watcherPid_ = pid;
        watcherFd_.reset(enforce::Stopper::OpenPidfd(pid));
        if (watcherFd_.valid()) {
            watcherEnd_ =
                std::make_unique<QSocketNotifier>(watcherFd_.get(), QSocketNotifier::Read);
            connect(watcherEnd_.get(), &QSocketNotifier::activated, this,
                    [this] { WatcherEnded(); });
        }
        guard_->WatcherStarted(pid);
    } else if (!wanted && watcherPid_ > 0) {
        if (watcherFd_.valid()) enforce::Stopper::SendSignal(watcherFd_.get(), SIGTERM);
        guard_->WatcherEnded(watcherPid_, false);
        watcherPid_ = -1;  // reaped when its end is noticed
    }
}

void SessionGuard::WatcherEnded() {
    watcherEnd_->setEnabled(false);
    watcherEnd_.release()->deleteLater();
    watcherFd_.reset();
    while (::waitpid(-1, nullptr, WNOHANG) > 0) {
    }
    const int pid = watcherPid_;
    watcherPid_ = -1;
    if (pid > 0 && watcherWanted_ && !finishing_) {
        guard_->WatcherEnded(pid, true);
        KeepWatcher(true);
    }
}

}  // namespace sentrel
