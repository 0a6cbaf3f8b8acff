#include "veltrixd/Enforcer.h"

#include <fcntl.h>

#include <algorithm>

#include "lib/enforce/Allowance.h"
#include "lib/enforce/Asking.h"
#include "lib/enforce/linux/ProcScanner.h"
#include "lib/enforce/linux/Stopper.h"
#include "lib/enforce/linux/SystemClock.h"
#include "lib/platform/files/ReadFile.h"
#include "lib/platform/files/ReplaceFile.h"
#include "lib/store/ValueNames.h"
#include "veltrixd/SealedStore.h"

namespace veltrixd {

namespace {

// "20:00", "20:30".
std::string ClockText(const enforce::LocalTime& t) {
    return enforce::FormatDateTime(t).substr(11, 5);
}

// "30 more minutes", "1 more minute".
std::string MoreMinutes(int minutes) {
    return std::to_string(minutes) + (minutes == 1 ? " more minute" : " more minutes");
}

// "30 more minutes", "the rest of this hour".
std::string AskedText(int minutes) {
    return minutes == enforce::kUntilEndOfHour ? std::string("the rest of this hour")
                                               : MoreMinutes(minutes);
}

}  // namespace

// One account's guard and what it acts through.
struct Enforcer::AccountGuard final : enforce::Outside {
    AccountGuard(Enforcer& owner, const Account& a)
        : enforcer(owner),
          account(a),
          table(a.uid, owner.probe_),
          stopper([this](const enforce::ProcessInfo& p) { guard->Killed(p); }) {
        enforce::Identity id = owner.identity_;
        id.account = a.name;
        guard = std::make_unique<enforce::Guard>(*owner.clock_, table, *this, id);
    }
    bool Stop(const enforce::ProcessInfo& p) override {
        if (!stopper.Stop(p)) return false;
        enforcer.outside_.Stopped(account);
        return true;
    }
    void Notify(const std::string& text) override { enforcer.outside_.Notify(account.uid, text); }
    void Log(const std::string& line) override { enforcer.outside_.Log(line); }
    void Alert(const std::string& line) override { enforcer.outside_.Alert(account, line); }

    Enforcer& enforcer;
    Account account;
    bool internetOff = true;   // at blocked hours ("InternetOffOrNot" not "No")
    bool wasBlocking = false;  // at the tick before
    enforce::ProcScanner table;
    enforce::Stopper stopper;
    std::unique_ptr<enforce::Guard> guard;
    enforce::Allowance allowance;
    std::unique_ptr<enforce::UseCounter> use;
    std::vector<std::string> governed;                           // what ran at the last look
    std::vector<std::pair<int, std::string>> governedProcesses;  // and by which processes
    bool governedStale = true;  // a process of the account's ran a program since
    bool atComputer = true;     // a session of the account's in use at the last look
    enforce::Asking asking;     // today's request and answers
    bool useRead = false;       // the first tick after the use was read: no news of it
};

Enforcer::Enforcer(SealedStore& store, enforce::Identity identity, EnforcerOutside& outside)
    : store_(store), identity_(std::move(identity)), outside_(outside) {
    clock_ = std::make_unique<enforce::SystemClock>();
    probe_ = std::make_shared<enforce::EngineProbe>();
    schedule_ = std::make_unique<enforce::ScanSchedule>(*this);
    schedule_->StartTicking();
    schedule_->Scanning(true);  // each scan looks only at the accounts whose hour blocks
}

void Enforcer::OnProbe() {
    for (uid_t uid : std::exchange(probing_, {})) {
        auto it = guards_.find(uid);
        if (it != guards_.end() && it->second->guard->Blocking()) Scan(*it->second);
    }
}

Enforcer::~Enforcer() = default;

void Enforcer::SetMembers(const std::vector<Account>& members) {
    // What the members' containers run as (their subordinate uids) is theirs.
    const std::string subuid = platform::ReadFileAt(AT_FDCWD, "/etc/subuid", 1u << 20);
    subordinates_.clear();
    std::set<uid_t> now;
    for (const Account& a : members) {
        now.insert(a.uid);
        const std::vector<UidRange> ranges = SubordinateRanges(subuid, a.name, a.uid);
        for (const UidRange& r : ranges) subordinates_.push_back({r.first, r.second, a.uid});
        if (auto it = guards_.find(a.uid); it != guards_.end()) {
            it->second->table.SetSubordinates(ranges);
            continue;
        }
        auto g = std::make_unique<AccountGuard>(*this, a);
        g->table.SetSubordinates(ranges);
        g->use = std::make_unique<enforce::UseCounter>(
            useDir_.empty() ? enforce::UseRecord{}
                            : enforce::UseRecord::Parse(platform::ReadFileAt(
                                  AT_FDCWD, useDir_ + std::to_string(a.uid), 4u << 20)));
        g->useRead = true;
        if (!askingDir_.empty())
            g->asking = enforce::Asking::Parse(
                platform::ReadFileAt(AT_FDCWD, askingDir_ + std::to_string(a.uid), 64u << 10));
        g->guard->Started(started_ ? enforce::PreviousRun{} : previous_);
        guards_[a.uid] = std::move(g);
        Reload(a.uid);
    }
    started_ = true;
    for (auto it = guards_.begin(); it != guards_.end();) {
        if (now.contains(it->first)) {
            ++it;
            continue;
        }
        it->second->guard->Stopping("the account left the group of Veltrix's accounts");
        it = guards_.erase(it);
    }
}

void Enforcer::Reload(uid_t uid) {
    auto it = guards_.find(uid);
    if (it == guards_.end()) return;
    enforce::Guard& guard = *it->second->guard;
    std::string why;
    const auto sealed = store_.Load(uid, &why);
    if (!sealed) {
        guard.CannotReadSettings(why);
        UpdateCut();
        return;
    }
    const auto off = sealed->values.find(store::kInternetOff);
    it->second->internetOff = off == sealed->values.end() || off->second != "No";
    it->second->allowance = enforce::Allowance::FromValues(sealed->values);
    it->second->governedStale = true;  // the listed applications may have changed
    guard.SettingsRead(enforce::InterpretSettings([&sealed](const std::string& name) {
        auto v = sealed->values.find(name);
        if (v == sealed->values.end()) return enforce::StoreValue{};
        return enforce::StoreValue{enforce::StoreValue::Text, v->second};
    }));
    // A day's allowance changed: used up now, or not any more, before anything is stopped.
    UsedUpNow(*it->second, !it->second->useRead);
    if (guard.Blocking()) Scan(*it->second);
    UpdateCut();
}

// Scans one account; a new program whose engine is not known yet is looked at again when due.
void Enforcer::Scan(AccountGuard& g) {
    g.guard->Scan();
    if (schedule_->ProbeIn(g.table.ProbeDueInMs())) probing_.insert(g.account.uid);
}

void Enforcer::ReloadAll() {
    for (auto& [uid, g] : guards_) Reload(uid);
}

void Enforcer::ExecSeen(const std::vector<int>& pids, bool lost) {
    if (lost) {
        for (auto& [uid, g] : guards_) {
            dirty_.insert(uid);
            g->governedStale = true;
        }
    }
    for (int pid : pids) {
        // The kernel's word on the process's user (not /proc/<pid>'s owner, root for a process
        // that is not dumpable), a subordinate uid counting as its account.
        const auto real = enforce::ProcScanner::RealUid(pid);
        if (!real) continue;  // already gone
        uid_t owner = *real;
        for (const Subordinate& s : subordinates_)
            if (owner >= s.first && owner <= s.last) owner = s.owner;
        auto it = guards_.find(owner);
        if (it == guards_.end()) continue;
        it->second->table.Refresh(pid);
        it->second->governedStale = true;
        dirty_.insert(owner);
    }
    if (!dirty_.empty()) schedule_->Soon();
}

void Enforcer::ScanNow() {
    for (uid_t uid : std::exchange(dirty_, {})) {
        auto it = guards_.find(uid);
        if (it != guards_.end() && it->second->guard->Blocking()) Scan(*it->second);
    }
}

void Enforcer::CountUse(AccountGuard& g) {
    enforce::Guard& guard = *g.guard;
    const bool limited = std::any_of(g.allowance.minutes.begin(), g.allowance.minutes.end(),
                                     [](int m) { return m >= 0; });
    const bool silent = std::exchange(g.useRead, false);
    if (!guard.Settings().blocking || !limited) {
        g.governed.clear();
        UsedUpNow(g, false);  // (lifts a day used up under the allowance before)
        return;
    }
    const enforce::LocalTime local = clock_->Local(clock_->Now());
    // What runs, looked at every few ticks; nothing is counted while an hour blocks it.
    if (guard.Blocking())
        g.governed.clear();
    else if (ticks_ % kGovernedTicks == 0) {
        // Looked at afresh after a program ran, while a process waits for a look at its engine,
        // when one judged alone (an interpreter) now runs one, and every kGovernedScanTicks.
        if (g.governedStale || !eventsHealthy_ || g.table.ProbeDueInMs() >= 0 ||
            g.table.Recheck() || ticks_ % kGovernedScanTicks == 0) {
            g.governedProcesses = guard.GovernedProcesses();
            g.governedStale = false;
        } else {
            std::erase_if(g.governedProcesses,
                          [](const auto& p) { return !enforce::ProcScanner::StillRuns(p.first); });
        }
        g.governed.clear();
        for (const auto& [pid, name] : g.governedProcesses)
            if (std::find(g.governed.begin(), g.governed.end(), name) == g.governed.end())
                g.governed.push_back(name);
        // Whether the child is at the computer, asked only while something would count.
        if (!g.governed.empty()) {
            if (sessionsTick_ != ticks_) {
                sessions_ = outside_.Sessions();
                sessionsTick_ = ticks_;
            }
            std::optional<std::vector<enforce::SessionState>> own;
            if (sessions_) {
                const auto it = sessions_->find(g.account.uid);
                own = it == sessions_->end() ? std::vector<enforce::SessionState>{} : it->second;
            }
            g.atComputer = enforce::AtTheComputer(own);
        }
    }
    const bool counting = !g.governed.empty() && g.atComputer;
    const enforce::Allowance allowance = AllowanceOf(g, local);
    const auto out = g.use->Advance({clock_->Elapsed(), local, counting, g.governed}, allowance);
    if (out.warnMinutes != 0 && !silent) {
        const int minutes = allowance.minutes.at(static_cast<std::size_t>(local.weekday));
        const std::string text = std::to_string(out.warnMinutes) +
                                 (out.warnMinutes == 1 ? " minute" : " minutes") + " of today's " +
                                 enforce::LongMinutes(minutes) + " left";
        outside_.Notify(g.account.uid, text);
        guard.Log("Warning shown: " + text);
    }
    UsedUpNow(g, !silent);
}

enforce::Allowance Enforcer::AllowanceOf(AccountGuard& g, const enforce::LocalTime& local) {
    enforce::Allowance a = g.allowance;
    int& today = a.minutes.at(static_cast<std::size_t>(local.weekday));
    if (today >= 0) today += g.asking.Today(enforce::DateOf(local)).extraMinutes;
    return a;
}

void Enforcer::UsedUpNow(AccountGuard& g, bool announce) {
    enforce::Guard& guard = *g.guard;
    const enforce::LocalTime local = clock_->Local(clock_->Now());
    const std::string today = enforce::DateOf(local);
    const enforce::Allowance allowance = AllowanceOf(g, local);
    if (!guard.Settings().blocking || !g.use->UsedUp(local, allowance)) {
        // More time than was used (the parent raised the day's allowance, or took it away): the
        // day goes on.
        if (guard.UsedUpOn(today)) guard.SetUsedUp({}, {});
        return;
    }
    if (guard.UsedUpOn(today)) return;
    const int minutes = allowance.minutes.at(static_cast<std::size_t>(local.weekday));
    const std::string verb = minutes == 1 || minutes == 60 ? " is" : " are";
    guard.SetUsedUp(today, "today's " + enforce::ShortMinutes(minutes) + verb + " used up");
    KeepUseOf(g);  // the day's end outlasts whatever comes
    if (announce) {
        guard.Log("today's " + enforce::ShortMinutes(minutes) + " used up at " +
                  enforce::FormatDateTime(local).substr(11, 5));
        // More tomorrow, or on the first day with an hour that allows.
        std::string more = "More another day.";
        if (const auto next = guard.NextAllowed()) {
            more = next->weekday == (local.weekday + 1) % 7
                       ? std::string("More tomorrow")
                       : std::string("More on ").append(enforce::DayName(next->weekday));
            more.append(" from ").append(enforce::FormatHour(next->hour)).append(".");
        }
        outside_.Notify(g.account.uid,
                        "Today's " + enforce::LongMinutes(minutes) + verb + " used up. " + more);
    }
    dirty_.insert(g.account.uid);
}

std::optional<std::pair<int, int>> Enforcer::UseToday(uid_t uid) {
    const auto it = guards_.find(uid);
    if (it == guards_.end()) return std::nullopt;
    const enforce::LocalTime now = clock_->Local(clock_->Now());
    AccountGuard& g = *it->second;
    const int allowed = g.guard->Settings().blocking
                            ? AllowanceOf(g, now).minutes.at(static_cast<std::size_t>(now.weekday))
                            : enforce::kNoLimit;
    return std::pair<int, int>{g.use->Record().UsedSeconds(enforce::DateOf(now)), allowed};
}

void Enforcer::ApplyAnswers(AccountGuard& g) {
    const std::int64_t now = clock_->Now();
    const enforce::Answers a = g.asking.Today(enforce::DateOf(clock_->Local(now)));
    std::string why;
    if (now < a.pausedUntil)
        why = "paused by " + a.pausedBy + " until " + ClockText(clock_->Local(a.pausedUntil));
    g.guard->SetOverride({a.allowedUntil, a.pausedUntil, why});
}

std::string Enforcer::Ask(uid_t uid, int minutes, const std::string& reason) {
    const auto it = guards_.find(uid);
    if (it == guards_.end()) return "Veltrix does not look after this account.";
    AccountGuard& g = *it->second;
    const std::int64_t now = clock_->Now();
    std::string why = g.asking.Ask(now, enforce::DateOf(clock_->Local(now)), minutes, reason);
    if (!why.empty()) return why;
    KeepAskingOf(g);
    std::string line = "asks for ";
    line.append(AskedText(minutes));
    if (!reason.empty()) line.append(": ").append(reason);
    g.guard->Alert(line);
    return {};
}

std::optional<enforce::MoreTime> Enforcer::OpenRequest(uid_t uid) {
    const auto it = guards_.find(uid);
    if (it == guards_.end()) return std::nullopt;
    return it->second->asking.Open(enforce::DateOf(clock_->Local(clock_->Now())));
}

std::string Enforcer::Answer(uid_t uid, const std::string& parent, const ParentAnswer& answer) {
    const auto it = guards_.find(uid);
    if (it == guards_.end()) return "Veltrix does not look after this account.";
    AccountGuard& g = *it->second;
    const std::int64_t now = clock_->Now();
    const enforce::LocalTime local = clock_->Local(now);
    const std::string date = enforce::DateOf(local);
    const std::int64_t sinceMidnight = local.hour * 3600 + local.minute * 60 + local.second;
    const std::int64_t midnight = now - sinceMidnight + 86400;
    const std::int64_t until =
        answer.untilMinute < 0 ? 0 : now - sinceMidnight + std::int64_t{answer.untilMinute} * 60;
    if (answer.untilMinute >= 0 && until <= now)
        return "That time has passed today: give a later one.";
    std::string told, logged;
    switch (answer.kind) {
        case ParentAnswer::Grant:
            if (answer.minutes <= 0 && until == 0) return "Give minutes or a time.";
            g.asking.Grant(now, date, answer.minutes, until, midnight);
            told = answer.minutes > 0 ? MoreMinutes(answer.minutes) + " from " + parent
                                      : std::string("Allowed until ")
                                            .append(ClockText(clock_->Local(until)))
                                            .append(" today, from ")
                                            .append(parent);
            logged = parent + " gave " +
                     (answer.minutes > 0
                          ? MoreMinutes(answer.minutes)
                          : std::string("time until ").append(ClockText(clock_->Local(until))));
            break;
        case ParentAnswer::Refuse:
            if (!g.asking.Open(date)) return "There is no request to refuse.";
            g.asking.Refuse(now, date);
            told = "No more time today, from " + parent;
            logged = parent + " refused more time";
            break;
        case ParentAnswer::Pause:
            g.asking.Pause(date, until > 0 ? until : midnight, midnight, parent);
            told = "Blocked by " + parent + " until " +
                   (until > 0 ? ClockText(clock_->Local(until)) : std::string("midnight"));
            logged = parent + " blocked everything until " +
                     (until > 0 ? ClockText(clock_->Local(until)) : std::string("midnight"));
            break;
    }
    if (!answer.words.empty()) {
        told += ": " + answer.words;
        logged += ": " + answer.words;
    }
    KeepAskingOf(g);
    g.guard->Log(logged);
    outside_.Notify(uid, told);
    // Applied now: what runs is stopped or spared, the network cut or given back.
    ApplyAnswers(g);
    UsedUpNow(g, false);
    dirty_.insert(uid);
    schedule_->Soon();
    UpdateCut();
    return {};
}

std::optional<enforce::UseRecord> Enforcer::RecordOf(uid_t uid) const {
    const auto it = guards_.find(uid);
    if (it == guards_.end()) return std::nullopt;
    return it->second->use->Record();
}

void Enforcer::KeepUse() {
    for (auto& [uid, g] : guards_) KeepUseOf(*g);
}

void Enforcer::KeepAskingOf(AccountGuard& g) {
    if (askingDir_.empty()) return;
    std::string why;
    if (!platform::ReplaceFile(askingDir_ + std::to_string(g.account.uid), g.asking.Serialize(),
                               0600, &why))
        g.guard->Log("today's request and answers cannot be kept: " + why);
}

void Enforcer::KeepUseOf(AccountGuard& g) {
    if (useDir_.empty() || g.use->Record().Days().empty()) return;
    std::string why;
    if (!platform::ReplaceFile(useDir_ + std::to_string(g.account.uid), g.use->Record().Serialize(),
                               0600, &why))
        g.guard->Log("the day's use cannot be kept: " + why);
}

void Enforcer::Tick() {
    ++ticks_;
    bool anyBlocking = false;
    for (auto& [uid, g] : guards_) {
        ApplyAnswers(*g);
        g->guard->Tick();
        CountUse(*g);
        // An hour that starts to block: what runs goes now, not at the next safety scan.
        const bool blocking = g->guard->Blocking();
        if (blocking && !g->wasBlocking) dirty_.insert(uid);
        g->wasBlocking = blocking;
        anyBlocking = anyBlocking || blocking;
    }
    schedule_->Rechecking(anyBlocking);
    if (!dirty_.empty()) schedule_->Soon();
    UpdateCut();
    if (ticks_ % kKeepUseTicks == 0) KeepUse();
}

void Enforcer::EventsHealthy(bool healthy) {
    eventsHealthy_ = healthy;
    schedule_->SetScanInterval(healthy ? kSafetyScanMs : enforce::kScanMs);
}

void Enforcer::UpdateCut() {
    std::set<uid_t> cut, newly;
    for (auto& [uid, g] : guards_)
        if (g->internetOff && g->guard->Blocking()) cut.insert(uid);
    if (cut == cut_) return;
    for (uid_t uid : cut)
        if (!cut_.contains(uid)) newly.insert(uid);
    if (!outside_.CutNetwork(cut, newly)) {
        cut_ = std::move(cut);  // told once; tried again when the accounts change
        return;
    }
    cut_ = std::move(cut);
    for (uid_t uid : newly) {
        AccountGuard& g = *guards_.at(uid);
        const std::string until = g.guard->StateNow().until;
        g.guard->Log("internet off for " + g.account.name + " " + until);
        outside_.Notify(uid, "The internet is off " + until);
    }
}

void Enforcer::Recheck() {
    for (auto& [uid, g] : guards_)
        if (g->wasBlocking && g->table.Recheck()) Scan(*g);
}

void Enforcer::ScanBlocking() {
    for (auto& [uid, g] : guards_)
        if (g->guard->Blocking()) Scan(*g);
}

void Enforcer::Stopping(const std::string& reason) {
    KeepUse();
    for (auto& [uid, g] : guards_) g->guard->Stopping(reason);
}

std::optional<enforce::Guard::HourState> Enforcer::StateOf(uid_t uid) {
    auto it = guards_.find(uid);
    if (it == guards_.end()) return std::nullopt;
    return it->second->guard->StateNow();
}

}  // namespace veltrixd
