// The system service at work: the sealed settings, the control socket, the enforcement for every
// member of the group and the log, wired together on one Qt loop (one thread). The Daemon is
// what each part acts through (the interfaces it implements below); Start() brings the parts up
// one step at a time.
#pragma once

#include <sys/types.h>

#include <QObject>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "lib/control/Protocol.h"
#include "veltrixd/AccountStore.h"
#include "veltrixd/ControlServer.h"
#include "veltrixd/Enforcer.h"
#include "veltrixd/InputActivity.h"
#include "veltrixd/LogDigest.h"
#include "veltrixd/LogWriter.h"
#include "veltrixd/Logind.h"
#include "veltrixd/Members.h"
#include "veltrixd/OutsideChanges.h"
#include "veltrixd/ProcEvents.h"
#include "veltrixd/Requests.h"
#include "veltrixd/Say.h"

namespace platform {
class SignalEvents;
}
namespace enforce {
class HeartbeatFile;
}

class QTimer;

namespace veltrixd {

class NetworkCut;
class SealedStore;
class StoreMirror;
class Watchdog;

struct Config {
    std::string stateDir = "/var/lib/veltrix/sealed";
    std::string socketPath = "/run/veltrix/control";
    std::string logPath = "/var/log/veltrix/Block.log";
    std::string group = "veltrix";
    std::string parentsGroup = "veltrix-parents";  // its members manage every member's settings
    std::string programDir;  // with its trailing '/'; the service's own directory by default
    std::string userStore = kDefaultUserStore;  // each account's store, within its home
    bool events = true;                // use the process-event connector when the kernel allows it
    bool cutNetwork = true;            // members' internet off at their blocked hours
    std::string nftTable = "veltrix";  // the nftables table (family inet) that cuts it
    bool enforce = true;               // off: the control socket alone (tests of its clients)
    std::string inputDir = "/dev/input";  // the machine's input devices (keyboards, mice, touch)
};

inline constexpr int kMembersMs = 30000;  // the group's members and the sealed files read again

class Daemon final : public QObject,
                     public RequestsOutside,
                     public EnforcerOutside,
                     public ControlServer::Handler,
                     public LogWriter::Outside,
                     public OutsideChanges::Listener,
                     public ProcEvents::Listener {
    Q_OBJECT
  public:
    explicit Daemon(Config config);
    ~Daemon() override;

    // Makes the directories, opens the socket and starts enforcing. False (said on stderr) when
    // the service cannot work.
    bool Start();

  private:
    // The steps of Start(), in their order; each false (said on stderr) when the service cannot
    // work.
    bool FindGroups();
    bool OpenSealedStore();
    bool OpenLog();
    bool StartEnforcing();
    bool HearSignals();
    bool OpenSocket();
    bool FollowProcessEvents();
    bool KeepHeartbeat();
    bool StartTimers();
    bool WatchOutsideChanges();
    bool SayReady();

    void OnSignal(int signal);
    void LogFor(const std::string& account, const std::string& text);
    // A line of the log that is an alert for the parents, shown until one has seen it.
    void AlertFor(const std::string& account, const std::string& text);
    void AlertLine(const std::string& account, const std::string& line);
    void KeepUnseen();  // the alerts not seen yet, in the service's state
    std::string UnseenPath() const;
    // A directory of root's alone beside the sealed settings ("use/"); "" after saying it
    // cannot be made, and what is lost then (`otherwise`).
    std::string StateSubdirectory(const std::string& name, const std::string& otherwise);
    void RefreshMembers();
    // Writes the account's sealed values (unless `passwordOnly`) and the password's marker into
    // its own store.
    void Mirror(const Account& account, bool passwordOnly = false);
    // The digests read from the log whole: at the start and after a clear.
    void ReadDigests();

    // RequestsOutside (and LogWriter::Outside: NowMs; OutsideChanges::Listener: Log)
    std::int64_t NowMs() override;
    void Log(const Account& account, const std::string& text) override;
    void Seen(const Account& account) override;
    void SealedChanged(const Account& account) override;
    bool ClearLog(const SeenLog& seen, std::string* why) override;
    bool Autostart(bool on, std::string* why) override;
    bool AutostartIsOn() override;
    std::optional<Account> AccountNamed(const std::string& name) override;
    std::vector<Account> Members() override;
    bool IsMember(const Account& account) override;
    control::Fields StateOf(const Account& account) override;
    control::Fields UseOf(const Account& account) override;
    std::string AskMoreTime(const Account& account, int minutes,
                            const std::string& reason) override;
    std::optional<Request> OpenRequest(const Account& account) override;
    std::string AnswerFor(const Account& account, const Account& parent,
                          const ParentAnswer& answer) override;
    std::string Stamped(const Account& account, const std::string& text) override;
    // EnforcerOutside
    void Log(const std::string& line) override;
    void Alert(const Account& account, const std::string& line) override;
    void Notify(uid_t uid, const std::string& text) override;
    bool CutNetwork(const std::set<uid_t>& cut, const std::set<uid_t>& newly) override;
    void Stopped(const Account& account) override;
    std::optional<std::map<uid_t, std::vector<enforce::SessionState>>> Sessions() override;
    // ControlServer::Handler
    std::optional<Caller> CallerOf(uid_t uid) override;
    uid_t OwnerOf(uid_t uid) override;
    control::Fields Handle(const Caller& caller, const control::Fields& request) override;
    // LogWriter::Outside
    void PrepareLog() override;
    void Say(const std::string& text) override;
    // OutsideChanges::Listener
    void PasswordInStore(const Account& account) override;
    // ProcEvents::Listener
    void ProgramsStarted(const std::vector<int>& pids) override;

    Config config_;
    gid_t gid_ = 0;  // the group's, for the log
    std::unique_ptr<SealedStore> store_;
    std::unique_ptr<LogWriter> log_;
    LogDigests digests_;  // kept as the lines are written
    std::unique_ptr<Requests> requests_;
    std::unique_ptr<Enforcer> enforcer_;
    std::unique_ptr<ControlServer> server_;
    std::unique_ptr<ProcEvents> events_;
    std::unique_ptr<platform::SignalEvents> signals_;
    std::unique_ptr<OutsideChanges> outside_;
    std::unique_ptr<StoreMirror> mirror_;
    std::unique_ptr<NetworkCut> network_;
    std::string networkWhy_;       // why the table could not be made
    std::set<uid_t> networkTold_;  // accounts told that their internet cannot be cut
    std::unique_ptr<Watchdog> watchdog_;
    std::unique_ptr<Logind> logind_ = std::make_unique<Logind>();
    std::unique_ptr<InputActivity> input_;
    std::unique_ptr<enforce::HeartbeatFile> heartbeat_;
    std::unique_ptr<QTimer> members_, outsideCheck_, alive_, wrongFlush_, cutPorts_;
    bool cutPortsFailed_ = false;  // said once until it works again
    std::vector<Account> memberList_;
    std::string subuid_;            // /etc/subuid as last read
    long long subuidChanged_ = -1;  // its change time then
};

}  // namespace veltrixd
