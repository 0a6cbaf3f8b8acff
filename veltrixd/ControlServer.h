// The control socket: a Unix stream socket anyone may connect to, the caller known by the
// kernel's credentials (SO_PEERCRED), never by what it says. One request a connection: the
// request line, the answer, the close; except "watch", which stays open for notifications.
// A request must arrive whole within kRequestMs and within control::kMaxLine bytes; a malformed
// one is answered with an error and closed. At most kMaxConnections are served at once, and at
// most kMaxConnectionsPerAccount of one account, watchers included, the account's subordinate
// uids counted as the account; the last kParentsReserve are kept for parents and root. So no
// child, nor all children together, can crowd out a parent's panel; more are told so and closed.
#pragma once

#include <sys/types.h>

#include <QObject>

#include <map>
#include <memory>
#include <string>

#include "lib/control/Protocol.h"
#include "lib/platform/files/UniqueFd.h"
#include "veltrixd/Requests.h"

class QSocketNotifier;
class QTimer;

namespace veltrixd {

inline constexpr int kRequestMs = 5000;
inline constexpr std::size_t kMaxConnections = 256;
inline constexpr std::size_t kMaxConnectionsPerAccount = kMaxConnections / 2;
inline constexpr std::size_t kParentsReserve = 32;

class ControlServer final : public QObject {
    Q_OBJECT
  public:
    class Handler {
      public:
        virtual ~Handler() = default;
        // The account of a uid and whether it is a member or a parent; nullopt: nobody's.
        virtual std::optional<Caller> CallerOf(uid_t uid) = 0;
        // The account a uid counts as: its own, or the owner of the subordinate uids it is one of.
        virtual uid_t OwnerOf(uid_t uid) = 0;
        virtual control::Fields Handle(const Caller& caller, const control::Fields& request) = 0;
    };
    explicit ControlServer(Handler& handler);
    ~ControlServer() override;

    // Listens at `path` (a stale socket there is replaced); the socket is 0666.
    bool Listen(const std::string& path, std::string* why);
    // Sends "notify TEXT" to every watcher of `uid`.
    void Notify(uid_t uid, const std::string& text);
    std::size_t Connections() const { return connections_.size(); }

  private:
    struct Connection;
    void Accept();
    void Readable(int fd);
    void Finish(int fd, const control::Fields& reply);
    void Drop(int fd);

    Handler& handler_;
    std::string path_;
    platform::UniqueFd listenFd_;
    std::unique_ptr<QSocketNotifier> listening_;
    std::map<int, std::unique_ptr<Connection>> connections_;
};

}  // namespace veltrixd
