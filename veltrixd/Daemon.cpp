#include "veltrixd/Daemon.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "lib/enforce/Allowance.h"
#include "lib/enforce/Clock.h"
#include "lib/enforce/Heartbeat.h"
#include "lib/enforce/linux/HeartbeatFile.h"
#include "lib/enforce/linux/SystemClock.h"
#include "lib/platform/core/SignalEvents.h"
#include "lib/platform/files/ReadFile.h"
#include "lib/platform/files/ReplaceFile.h"
#include "lib/platform/files/SharedLog.h"
#include "lib/platform/registry/Registry.h"
#include "lib/store/ValueNames.h"
#include "veltrixd/ControlServer.h"
#include "veltrixd/Enforcer.h"
#include "veltrixd/LogDigest.h"
#include "veltrixd/LogWriter.h"
#include "veltrixd/Logind.h"
#include "veltrixd/NetworkCut.h"
#include "veltrixd/OutsideChanges.h"
#include "veltrixd/ProcEvents.h"
#include "veltrixd/Requests.h"
#include "veltrixd/SealedStore.h"
#include "veltrixd/StoreMirror.h"
#include "veltrixd/Watchdog.h"

namespace veltrixd {
namespace {

constexpr const char* kSubuidFile = "/etc/subuid";

enforce::LocalTime LocalNow() {
    enforce::SystemClock clock;
    return clock.Local(clock.Now());
}

// A line of the log about `account`: the date and time, the account, the text.
std::string StampedLine(const std::string& account, const std::string& text) {
    return enforce::FormatDateTime(LocalNow()) + " [" + account + "] " + text;
}

std::int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Makes `dir` and its missing parents (0755).
bool MakeDirs(const std::string& dir) {
    for (std::size_t at = 1; at != std::string::npos;) {
        at = dir.find('/', at + 1);
        const std::string part = dir.substr(0, at);
        if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    return true;
}

// `line` as the log holds it (a program's name may hold any bytes, line breaks among them), for
// the digests: one line, whatever it quotes.
std::string AsLogged(const std::string& line) {
    std::string logged = platform::EncodeLogLine(line);
    while (!logged.empty() && (logged.back() == '\n' || logged.back() == '\r')) logged.pop_back();
    return logged;
}

}  // namespace

void Say(const std::string& text) {
    std::fprintf(stderr, "veltrixd: %s\n", text.c_str());
    std::fflush(stderr);
}

Daemon::Daemon(Config config)
    : config_(std::move(config)), input_(std::make_unique<InputActivity>(config_.inputDir)) {}

Daemon::~Daemon() = default;

void Daemon::Log(const std::string& line) {
    log_->Append(line);
    digests_.Add(AsLogged(line));
}

void Daemon::Alert(const Account& account, const std::string& line) {
    AlertLine(account.name, line);
}

void Daemon::AlertLine(const std::string& account, const std::string& line) {
    log_->Append(line);
    digests_.Alert(account, AsLogged(line));
    KeepUnseen();
}

void Daemon::ReadDigests() {
    // The log holds at most two parts of 1 MiB each.
    const std::string path = platform::ResolveSharedLog(config_.logPath);
    digests_.Reset(platform::ReadFileAt(AT_FDCWD, path + ".1", 2u << 20) +
                   platform::ReadFileAt(AT_FDCWD, path, 2u << 20));
}

std::string Daemon::UnseenPath() const {
    return platform::DirectoryOfPath(config_.stateDir) + "unseen-alerts";
}

void Daemon::KeepUnseen() {
    std::string why;
    if (!platform::ReplaceFile(UnseenPath(), digests_.Unseen(), 0600, &why))
        Say("the alerts not seen yet cannot be kept: " + why);
}

void Daemon::LogFor(const std::string& account, const std::string& text) {
    Log(StampedLine(account, text));
}

void Daemon::AlertFor(const std::string& account, const std::string& text) {
    AlertLine(account, StampedLine(account, text));
}

// The log is root's, readable by the group (every member's statistics window shows it) and
// writable by nobody else; its directory likewise, so no member can remove or replace it. Done at
// the start and after every rewrite; an append keeps the file's owner and mode.
void Daemon::PrepareLog() {
    const std::string path = platform::ResolveSharedLog(config_.logPath);
    const std::string dir = platform::DirectoryOfPath(path);
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0) {
        MakeDirs(dir.substr(0, dir.size() - 1));
        ::stat(dir.c_str(), &st);
    }
    // (Never a shared directory such as /tmp, whose sticky bit says so.)
    if (::geteuid() == 0 && !(st.st_mode & S_ISVTX) &&
        (st.st_uid != 0 || st.st_gid != gid_ || (st.st_mode & 07777) != 0750)) {
        if (::chown(dir.c_str(), 0, gid_) != 0 || ::chmod(dir.c_str(), 0750) != 0)
            Say("cannot make " + dir + " root's: " + std::strerror(errno));
    }
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0640);
    if (fd < 0) return;
    if (::fstat(fd, &st) == 0 && ::geteuid() == 0 &&
        (st.st_uid != 0 || st.st_gid != gid_ || (st.st_mode & 07777) != 0640)) {
        if (::fchown(fd, 0, gid_) != 0 || ::fchmod(fd, 0640) != 0)
            Say("cannot make " + path + " root's: " + std::strerror(errno));
    }
    ::close(fd);
}

bool Daemon::ClearLog(const SeenLog& seen, std::string* why) {
    if (!log_->Clear(seen, why)) return false;
    ReadDigests();  // what is left of the log
    return true;
}

bool Daemon::Autostart(bool on, std::string* why) {
    auto key = platform::RegKey::Open(platform::Root::LocalMachine, store::kRunKey, why);
    if (!key) return false;
    const bool done = on ? key->Set(store::kAutostartValue, platform::RegType::Sz,
                                    platform::SzBytes(config_.programDir + store::kGuardExe))
                         : key->Delete(store::kAutostartValue);
    if (!key->Close() || !done) {
        if (why->empty()) *why = "the machine-wide store refused the change";
        return false;
    }
    return true;
}

bool Daemon::AutostartIsOn() {
    auto key = platform::RegKey::OpenForReading(platform::Root::LocalMachine, store::kRunKey);
    if (!key) return false;
    platform::RegValue v;
    const bool on = key->Query(store::kAutostartValue, v) == platform::QueryResult::Ok &&
                    !v.data.empty() && v.data[0] != '\0';
    key->Close();
    return on;
}

void Daemon::Mirror(const Account& account, bool passwordOnly) {
    if (!config_.enforce || !mirror_) return;
    auto sealed = store_->Load(account.uid, nullptr);
    if (!sealed) return;
    std::map<std::string, std::string> values;
    if (!passwordOnly) values = sealed->values;
    values[store::kPassword] = store::kPasswordWithService;
    mirror_->Write(account, std::move(values));
}

control::Fields Daemon::StateOf(const Account& account) {
    auto sealed = store_->Load(account.uid, nullptr);
    const bool on = sealed && sealed->values.contains(store::kNeedJob) &&
                    sealed->values.at(store::kNeedJob) == "Yes";
    const auto hours = enforcer_ ? enforcer_->StateOf(account.uid) : std::nullopt;
    control::Fields fields{on ? "on" : "off", hours && hours->blocked ? "blocked" : "allowed",
                           hours ? hours->until : ""};
    const std::string today = enforce::DateOf(LocalNow());
    LogDigest digest = digests_.Of(account.name, today);
    fields.push_back(std::to_string(digest.stoppedToday));
    const auto use = enforcer_ ? enforcer_->UseToday(account.uid) : std::nullopt;
    fields.push_back(std::to_string(use ? use->first : 0) + "/" +
                     (use && use->second >= 0 ? std::to_string(use->second) : "-"));
    for (std::string& alert : digest.alerts) fields.push_back(std::move(alert));
    return fields;
}

std::string Daemon::AskMoreTime(const Account& account, int minutes, const std::string& reason) {
    if (!enforcer_ || !enforcer_->Enforces(account.uid))
        return "Veltrix does not look after this account now.";
    return enforcer_->Ask(account.uid, minutes, reason);
}

std::optional<RequestsOutside::Request> Daemon::OpenRequest(const Account& account) {
    const auto open = enforcer_ ? enforcer_->OpenRequest(account.uid) : std::nullopt;
    if (!open) return std::nullopt;
    enforce::SystemClock clock;
    return Request{open->minutes, enforce::FormatDateTime(clock.Local(open->at)).substr(11, 5),
                   open->reason};
}

std::string Daemon::AnswerFor(const Account& account, const Account& parent,
                              const ParentAnswer& answer) {
    if (!enforcer_ || !enforcer_->Enforces(account.uid))
        return "Veltrix does not look after " + account.name + " now.";
    Enforcer::ParentAnswer a;
    a.kind = answer.kind == ParentAnswer::Grant    ? Enforcer::ParentAnswer::Grant
             : answer.kind == ParentAnswer::Refuse ? Enforcer::ParentAnswer::Refuse
                                                   : Enforcer::ParentAnswer::Pause;
    a.minutes = answer.minutes;
    a.untilMinute = answer.untilMinute;
    a.words = answer.words;
    return enforcer_->Answer(account.uid, parent.name, a);
}

std::string Daemon::Stamped(const Account& account, const std::string& text) {
    return StampedLine(account.name, text);
}

control::Fields Daemon::UseOf(const Account& account) {
    const std::string today = enforce::DateOf(LocalNow());
    // The enforcer's count, or what was kept where the account is not enforced now.
    auto record = enforcer_ ? enforcer_->RecordOf(account.uid) : std::nullopt;
    if (!record)
        record = enforce::UseRecord::Parse(platform::ReadFileAt(
            AT_FDCWD,
            platform::DirectoryOfPath(config_.stateDir) + "use/" + std::to_string(account.uid),
            4u << 20));
    control::Fields fields{today};
    for (std::string& line : record->Lines(today)) fields.push_back(std::move(line));
    return fields;
}

bool Daemon::CutNetwork(const std::set<uid_t>& cut, const std::set<uid_t>& newly) {
    if (!network_) return false;  // the service was told not to
    std::string why = networkWhy_;
    if (network_->Working()) {
        // The account's own uid and the subordinate ones its containers run as.
        const std::string subuid = platform::ReadFileAt(AT_FDCWD, "/etc/subuid", 1u << 20);
        std::set<UidRange> ranges;
        for (uid_t uid : cut) {
            ranges.insert({uid, uid});
            if (auto a = AccountOf(uid))
                for (const UidRange& r : SubordinateRanges(subuid, a->name, uid)) ranges.insert(r);
        }
        if (network_->Cut(ranges, &why)) return true;
        Say("the internet of members cannot be cut: " + why);
    }
    for (uid_t uid : newly)
        if (networkTold_.insert(uid).second)
            if (auto a = AccountOf(uid))
                AlertFor(a->name, "the internet cannot be cut at blocked hours (" + why +
                                      "): browsers and listed applications are stopped as before");
    return false;
}

void Daemon::RefreshMembers() {
    if (!config_.enforce) return;
    memberList_ = MembersOf(config_.group);
    enforcer_->SetMembers(memberList_);
    enforcer_->ReloadAll();
}

bool Daemon::Start() {
    return FindGroups() && OpenSealedStore() && OpenLog() && StartEnforcing() && HearSignals() &&
           OpenSocket() && FollowProcessEvents() && KeepHeartbeat() && StartTimers() &&
           WatchOutsideChanges() && SayReady();
}

bool Daemon::FindGroups() {
    if (group* g = ::getgrnam(config_.group.c_str())) {
        gid_ = g->gr_gid;
    } else {
        Say("there is no group " + config_.group + ": no account is enforced until it exists");
        gid_ = ::getegid();
    }
    // The log is the parents' to read; where they have no group, the members' (as before).
    if (group* g = ::getgrnam(config_.parentsGroup.c_str())) gid_ = g->gr_gid;
    ::umask(022);
    return true;
}

bool Daemon::OpenSealedStore() {
    const std::string stateParent = platform::DirectoryOfPath(config_.stateDir);
    if (!MakeDirs(stateParent.substr(0, stateParent.size() - 1))) {
        Say("cannot make " + stateParent + ": " + std::strerror(errno));
        return false;
    }
    store_ = std::make_unique<SealedStore>(config_.stateDir);
    std::string why;
    if (!store_->Prepare(&why)) {
        Say(why);
        return false;
    }
    return true;
}

bool Daemon::OpenLog() {
    PrepareLog();
    log_ = std::make_unique<LogWriter>(config_.logPath, *this);
    ReadDigests();
    // The alerts no parent had seen before the service stopped (root's, beside its state).
    digests_.RestoreUnseen(platform::ReadFileAt(AT_FDCWD, UnseenPath(), 1u << 20));
    return true;
}

bool Daemon::StartEnforcing() {
    enforce::Identity identity{VELTRIX_VERSION, static_cast<int>(::getpid()), config_.programDir};
    identity.program = "veltrixd";
    if (config_.enforce && config_.cutNetwork) {
        network_ = std::make_unique<NetworkCut>(config_.nftTable);
        if (!network_->Start(&networkWhy_))
            Say("the internet of members cannot be cut at their blocked hours (" + networkWhy_ +
                "): programs are stopped alone");
    }
    enforcer_ = std::make_unique<Enforcer>(*store_, identity, *this);
    // Each member's use of its daily allowance; each one's open request and today's answers.
    if (std::string dir = StateSubdirectory(
            "use/", "the members' use of their allowance is not kept over a restart");
        !dir.empty())
        enforcer_->SetUseDir(std::move(dir));
    if (std::string dir = StateSubdirectory(
            "asking/", "today's requests and answers are not kept over a restart");
        !dir.empty())
        enforcer_->SetAskingDir(std::move(dir));
    requests_ = std::make_unique<Requests>(*store_, *this);
    return true;
}

std::string Daemon::StateSubdirectory(const std::string& name, const std::string& otherwise) {
    std::string dir = platform::DirectoryOfPath(config_.stateDir) + name;
    if (::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST) return dir;
    Say("cannot make " + dir + " (" + std::strerror(errno) + "): " + otherwise);
    return {};
}

// Signals are heard from here on (handled once the loop runs), before the socket tells anyone
// the service is there.
bool Daemon::HearSignals() {
    signals_ = std::make_unique<platform::SignalEvents>(std::initializer_list<int>{
        SIGTERM,
        SIGINT,
        SIGHUP,
#ifdef VELTRIXD_STALL_HOOK
        SIGUSR2,
#endif
    });
    ::signal(SIGPIPE, SIG_IGN);
#ifndef VELTRIXD_STALL_HOOK
    ::signal(SIGUSR2, SIG_IGN);  // the test build's stall: nothing here
#endif
    connect(signals_.get(), &platform::SignalEvents::Received, this,
            [this](int signal, int) { OnSignal(signal); });
    return true;
}

void Daemon::OnSignal(int signal) {
    if (signal == SIGHUP) {
        RefreshMembers();
        return;
    }
#ifdef VELTRIXD_STALL_HOOK
    if (signal == SIGUSR2) {
        Say("stalling on request (a test build's hook)");
        for (;;) ::pause();
    }
#endif
    const std::string reason =
        std::string("the service was stopped (") + platform::SignalName(signal) + ")";
    watchdog_->Stopping();
    requests_->Flush(true);
    if (network_) network_->Remove();
    enforcer_->Stopping(reason);
    heartbeat_->Write(enforce::StoppedRecord(std::time(nullptr), ::getpid(), reason));
    QCoreApplication::quit();
}

bool Daemon::OpenSocket() {
    server_ = std::make_unique<ControlServer>(*this);
    std::string why;
    const std::string socketDir = platform::DirectoryOfPath(config_.socketPath);
    if (!MakeDirs(socketDir.substr(0, socketDir.size() - 1)) ||
        !server_->Listen(config_.socketPath, &why)) {
        Say("cannot open the control socket: " + why);
        return false;
    }
    return true;
}

bool Daemon::FollowProcessEvents() {
    events_ = std::make_unique<ProcEvents>(*this);
    std::string why;
    if (!config_.enforce) {
        Say("enforcing nothing: the control socket alone");
    } else if (!config_.events) {
        Say("process events not used: scanning /proc alone");
    } else if (!events_->Open(&why)) {
        Say("process events unavailable (" + why + "): scanning /proc alone");
    } else {
        enforcer_->EventsHealthy(true);
    }
    return true;
}

// How long no enforcement ran before this start, for each member's parent.
bool Daemon::KeepHeartbeat() {
    heartbeat_ = std::make_unique<enforce::HeartbeatFile>(
        platform::DirectoryOfPath(config_.stateDir) + "veltrixd.heartbeat");
    enforcer_->SetPreviousRun(enforce::ParseHeartbeat(heartbeat_->Previous()));
    heartbeat_->Write(enforce::AliveRecord(std::time(nullptr), ::getpid()));
    alive_ = std::make_unique<QTimer>();
    connect(alive_.get(), &QTimer::timeout, this,
            [this] { heartbeat_->Write(enforce::AliveRecord(std::time(nullptr), ::getpid())); });
    alive_->start(enforce::kHeartbeatSeconds * 1000);
    return true;
}

bool Daemon::StartTimers() {
    wrongFlush_ = std::make_unique<QTimer>();
    connect(wrongFlush_.get(), &QTimer::timeout, this, [this] { requests_->Flush(); });
    wrongFlush_->start(5000);
    members_ = std::make_unique<QTimer>();
    connect(members_.get(), &QTimer::timeout, this, [this] { RefreshMembers(); });
    members_->start(kMembersMs);
    RefreshMembers();
    if (network_) {
        // The UDP ports the cut accounts bind, closed to what comes from outside.
        cutPorts_ = std::make_unique<QTimer>();
        connect(cutPorts_.get(), &QTimer::timeout, this, [this] {
            if (network_->Ranges().empty()) return;
            std::string why;
            const bool ok = network_->Refresh(&why);
            if (!ok && !cutPortsFailed_)
                Say("the cut accounts' UDP ports cannot be closed: " + why);
            cutPortsFailed_ = !ok;
        });
        cutPorts_->start(kCutPortsMs);
    }
    return true;
}

bool Daemon::WatchOutsideChanges() {
    if (!config_.enforce) return true;
    outside_ = std::make_unique<OutsideChanges>(*store_, config_.userStore, *this);
    mirror_ = std::make_unique<StoreMirror>(config_.userStore);
    outsideCheck_ = std::make_unique<QTimer>();
    connect(outsideCheck_.get(), &QTimer::timeout, this, [this] { outside_->Check(memberList_); });
    outsideCheck_->start(kOutsideCheckMs);
    return true;
}

bool Daemon::SayReady() {
    Say("enforcing for the members of group " + config_.group + "; control socket " +
        config_.socketPath);
    watchdog_ = std::make_unique<Watchdog>();
    watchdog_->Ready();
    if (watchdog_->PeriodMs() > 0)
        Say("watchdog on: alive every " + std::to_string(watchdog_->PeriodMs()) + " ms");
    return true;
}

// What the parts act through.

std::int64_t Daemon::NowMs() {
    return SteadyMs();
}

void Daemon::Log(const Account& account, const std::string& text) {
    AlertFor(account.name, text);
}

void Daemon::Seen(const Account& account) {
    if (digests_.Seen(account.name)) KeepUnseen();
}

void Daemon::SealedChanged(const Account& account) {
    if (!enforcer_->Enforces(account.uid)) RefreshMembers();
    enforcer_->Reload(account.uid);
    Mirror(account);
}

std::optional<Account> Daemon::AccountNamed(const std::string& name) {
    return veltrixd::AccountNamed(name);
}

std::vector<Account> Daemon::Members() {
    std::vector<Account> members = MembersOf(config_.group);
    std::sort(members.begin(), members.end(),
              [](const Account& a, const Account& b) { return a.name < b.name; });
    return members;
}

bool Daemon::IsMember(const Account& account) {
    return IsMemberOf(account, config_.group);
}

void Daemon::Stopped(const Account& account) {
    digests_.Stopped(account.name, enforce::DateOf(LocalNow()));
}

std::optional<std::map<uid_t, std::vector<enforce::SessionState>>> Daemon::Sessions() {
    const std::int64_t now = NowMs();
    auto sessions = logind_->Sessions(now);
    // A session's owner may tell logind it is idle or locked: while the keyboard, mouse or touch
    // of the machine is being used, the session in the foreground of a seat is in use whatever
    // it says.
    if (input_->Touched(now) && sessions)
        for (auto& [uid, states] : *sessions)
            for (enforce::SessionState& s : states)
                if (s.active && s.seated) s.idle = s.locked = false;
    return sessions;
}

void Daemon::Notify(uid_t uid, const std::string& text) {
    server_->Notify(uid, text);
}

std::optional<Caller> Daemon::CallerOf(uid_t uid) {
    auto account = AccountOf(uid);
    if (!account) return std::nullopt;
    return Caller{*account, IsMemberOf(*account, config_.group),
                  uid == 0 || IsMemberOf(*account, config_.parentsGroup)};
}

uid_t Daemon::OwnerOf(uid_t uid) {
    struct stat st {};
    const long long changed =
        ::stat(kSubuidFile, &st) == 0 ? st.st_ctim.tv_sec * 1000000000LL + st.st_ctim.tv_nsec : 0;
    if (changed != subuidChanged_) {
        subuid_ = platform::ReadFileAt(AT_FDCWD, kSubuidFile, 1u << 20);
        subuidChanged_ = changed;
    }
    return SubordinateOwner(subuid_, uid).value_or(uid);
}

control::Fields Daemon::Handle(const Caller& caller, const control::Fields& request) {
    return requests_->Handle(caller, request);
}

void Daemon::Say(const std::string& text) {
    veltrixd::Say(text);
}

void Daemon::PasswordInStore(const Account& account) {
    Mirror(account, true);
}

void Daemon::ProgramsStarted(const std::vector<int>& pids) {
    enforcer_->ExecSeen(pids, events_->TakeOverrun());
}

}  // namespace veltrixd
