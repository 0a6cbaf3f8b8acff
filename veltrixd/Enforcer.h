// Enforcement for every member account: one guard engine of lib/enforce per account, each with
// the account's own process table, fed from the account's sealed settings. Ticks once a second,
// scans twice a second while an account's hour blocks, and scans an account at once when one of
// its processes starts a program (ExecSeen), and rechecks the processes judged alone while
// an hour blocks. Processes of other accounts are never looked at by
// an account's guard; what a guard spares and stops is the session guard's decision exactly. The
// engines executables run are learnt once for all accounts.
#pragma once

#include <sys/types.h>

#include <QObject>

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "lib/enforce/Allowance.h"
#include "lib/enforce/Asking.h"
#include "lib/enforce/Guard.h"
#include "lib/enforce/linux/ScanSchedule.h"
#include "veltrixd/Members.h"

namespace enforce {
class EngineProbe;
class ProcScanner;
class Stopper;
class SystemClock;
}  // namespace enforce

namespace veltrixd {

class SealedStore;

inline constexpr int kSafetyScanMs = 10000;
// A member with an allowance: what runs is looked at every kGovernedTicks ticks (a second each)
// for its use, which is kept every kKeepUseTicks.
inline constexpr int kGovernedTicks = 5;
// With the kernel's process events, the account's processes are looked at again only after one
// of them ran a program (or an interpreter of its loaded an engine), and every
// kGovernedScanTicks; in between the programs found are only checked to run still.
inline constexpr int kGovernedScanTicks = 300;
inline constexpr int kKeepUseTicks = 60;

// What the enforcement does through the rest of the service.
class EnforcerOutside {
  public:
    virtual ~EnforcerOutside() = default;
    virtual void Log(const std::string& line) = 0;  // one line of Block.log
    // One line of Block.log that is an alert about the account for its parent.
    virtual void Alert(const Account& account, const std::string& line) = 0;
    virtual void Notify(uid_t uid, const std::string& text) = 0;  // to the account's session
    // The accounts whose network is cut from now on (blocking on, a blocked hour, and the
    // parent did not keep the network); `newly` those that were not before. False when the cut
    // could not be made.
    virtual bool CutNetwork(const std::set<uid_t>& cut, const std::set<uid_t>& newly) = 0;
    // A program of the account's was asked to stop (each process once).
    virtual void Stopped(const Account& account) = 0;
    // The login sessions by uid, as logind tells them; nullopt where it cannot be asked.
    virtual std::optional<std::map<uid_t, std::vector<enforce::SessionState>>> Sessions() = 0;
};

class Enforcer final : public QObject, public enforce::ScanSchedule::Driven {
    Q_OBJECT
  public:
    Enforcer(SealedStore& store, enforce::Identity identity, EnforcerOutside& outside);
    ~Enforcer() override;

    // What the service before left: the first members' guards log how long nothing enforced.
    void SetPreviousRun(const enforce::PreviousRun& previous) { previous_ = previous; }
    // Starts guards for new members and stops those of accounts that left the group.
    void SetMembers(const std::vector<Account>& members);
    // Reads the account's sealed settings again.
    void Reload(uid_t uid);
    void ReloadAll();
    // Processes that just ran a new program (or changed user), or none when events were lost.
    void ExecSeen(const std::vector<int>& pids, bool lost);
    void Stopping(const std::string& reason);

    bool Enforces(uid_t uid) const { return guards_.contains(uid); }
    // The kernel's process events arrive: the scan of every blocked account is a safety net,
    // run every kSafetyScanMs (and at once when events were lost), not every kScanMs.
    void EventsHealthy(bool healthy);
    // What the account's hours say now; nullopt when it is not enforced.
    std::optional<enforce::Guard::HourState> StateOf(uid_t uid);
    // Seconds of use today and today's allowance in minutes (-1: no limit); nullopt when the
    // account is not enforced.
    std::optional<std::pair<int, int>> UseToday(uid_t uid);
    // A member asks for more time (minutes: 15, 30, 60, or enforce::kUntilEndOfHour): "" when
    // taken and logged for the parents, else why not, for the member.
    std::string Ask(uid_t uid, int minutes, const std::string& reason);
    std::optional<enforce::MoreTime> OpenRequest(uid_t uid);
    // A parent's answer for the member: more minutes today, or allowed until a time today; a
    // refusal of the open request; blocked until a time today (or midnight). Applied at once,
    // told on the member's desktop and logged. "" when done, else why not.
    struct ParentAnswer {
        enum Kind { Grant, Refuse, Pause } kind = Grant;
        int minutes = 0;       // Grant: more minutes
        int untilMinute = -1;  // a time today, in minutes from midnight; -1: none
        std::string words;     // the parent's, told to the child
    };
    std::string Answer(uid_t uid, const std::string& parent, const ParentAnswer& answer);
    // The account's record of use; nullopt when it is not enforced.
    std::optional<enforce::UseRecord> RecordOf(uid_t uid) const;
    // Where each member's use is kept (a directory of root's, one file per uid); "" keeps none.
    void SetUseDir(std::string dir) { useDir_ = std::move(dir); }
    // Where each member's request and today's answers are kept over a restart ("" for nowhere).
    void SetAskingDir(std::string dir) { askingDir_ = std::move(dir); }
    // Every member's use written to its file now (also done each kKeepUseTicks).
    void KeepUse();

  private:
    struct AccountGuard;
    // enforce::ScanSchedule::Driven: the tick, the scan of every blocked account, a look at the
    // accounts with a program due, what interpreters loaded since, the accounts with new programs.
    void OnTick() override { Tick(); }
    void OnScan() override { ScanBlocking(); }
    void OnProbe() override;
    void OnRecheck() override { Recheck(); }
    void OnSoon() override { ScanNow(); }
    void Tick();
    // The accounts to cut, told to the hook when they changed (at every tick and every seal).
    void UpdateCut();
    void ScanBlocking();
    void ScanNow();
    void Recheck();
    void Scan(AccountGuard& g);
    // The account's daily allowance: its use counted, warned of, and its day blocked once used.
    void CountUse(AccountGuard& g);
    void KeepUseOf(AccountGuard& g);
    void KeepAskingOf(AccountGuard& g);
    // Whether the account's day is used up under its allowance now: the rest of the day blocked,
    // told once when `announce`; lifted when the allowance grew or went.
    void UsedUpNow(AccountGuard& g, bool announce);
    // Today's allowance with the minutes a parent gave.
    enforce::Allowance AllowanceOf(AccountGuard& g, const enforce::LocalTime& local);
    // A parent's answers for today, given to the account's guard.
    void ApplyAnswers(AccountGuard& g);

    SealedStore& store_;
    enforce::Identity identity_;
    EnforcerOutside& outside_;
    std::unique_ptr<enforce::SystemClock> clock_;
    std::map<uid_t, std::unique_ptr<AccountGuard>> guards_;
    enforce::PreviousRun previous_;
    bool started_ = false;     // the first members were given previous_
    std::set<uid_t> dirty_;    // accounts to scan at once
    std::set<uid_t> cut_;      // accounts whose network is cut
    std::set<uid_t> probing_;  // accounts with a new program whose engine is due a look
    std::shared_ptr<enforce::EngineProbe> probe_;  // what every account's scanner learnt
    struct Subordinate {
        uid_t first, last, owner;
    };
    std::vector<Subordinate> subordinates_;  // the members' subordinate uids
    std::unique_ptr<enforce::ScanSchedule> schedule_;
    std::string useDir_;
    std::string askingDir_;
    int ticks_ = 0;
    bool eventsHealthy_ = false;
    // The sessions as asked at tick sessionsTick_ (asked once a tick at most).
    std::optional<std::map<uid_t, std::vector<enforce::SessionState>>> sessions_;
    int sessionsTick_ = -1;
};

}  // namespace veltrixd
