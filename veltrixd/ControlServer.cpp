#include "veltrixd/ControlServer.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstring>

namespace veltrixd {

struct ControlServer::Connection {
    platform::UniqueFd fd;  // closed after the notifier and the timer
    uid_t uid = 0;
    uid_t owner = 0;      // the account it counts as
    bool parent = false;  // a parent's or root's: may use the reserve
    std::string buffer;
    bool watching = false;
    std::unique_ptr<QSocketNotifier> readable;
    std::unique_ptr<QTimer> deadline;
};

namespace {

// One reply, sent whole or not at all: replies are small and the socket's buffer is empty.
void SendLine(int fd, const std::string& line) {
    (void)::send(fd, line.data(), line.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

}  // namespace

ControlServer::ControlServer(Handler& handler) : handler_(handler) {}

ControlServer::~ControlServer() {
    while (!connections_.empty()) Drop(connections_.begin()->first);
    listening_.reset();
    if (listenFd_.valid()) ::unlink(path_.c_str());
}

bool ControlServer::Listen(const std::string& path, std::string* why) {
    auto fail = [why](const std::string& text) {
        if (why) *why = text + ": " + std::strerror(errno);
        return false;
    };
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) {
        errno = ENAMETOOLONG;
        return fail(path);
    }
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    platform::UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.valid()) return fail("no socket");
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) ::unlink(path.c_str());
    if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        return fail("cannot bind " + path);
    // Anyone may connect: who may do what is decided by the caller's credentials.
    if (::chmod(path.c_str(), 0666) != 0) return fail("cannot open " + path + " to all");
    if (::listen(fd.get(), 128) != 0) return fail("cannot listen on " + path);
    path_ = path;
    listenFd_ = std::move(fd);
    listening_ = std::make_unique<QSocketNotifier>(listenFd_.get(), QSocketNotifier::Read);
    connect(listening_.get(), &QSocketNotifier::activated, this, [this] { Accept(); });
    return true;
}

void ControlServer::Accept() {
    for (;;) {
        platform::UniqueFd fd(
            ::accept4(listenFd_.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (!fd.valid()) return;  // EAGAIN, or the caller gave up
        ucred cred{};
        socklen_t len = sizeof cred;
        if (::getsockopt(fd.get(), SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) continue;
        const uid_t owner = handler_.OwnerOf(cred.uid);
        const std::optional<Caller> caller =
            owner == cred.uid ? handler_.CallerOf(cred.uid) : std::nullopt;
        const bool parent = caller && caller->parent && !caller->member;
        std::size_t own = 0, others = 0;
        for (const auto& [key, other] : connections_) {
            own += other->owner == owner;
            others += !other->parent;
        }
        if (connections_.size() >= kMaxConnections ||
            (!parent &&
             (own >= kMaxConnectionsPerAccount || others >= kMaxConnections - kParentsReserve))) {
            SendLine(fd.get(), control::Encode({"error", "The service is busy. Try again."}));
            continue;
        }
        auto c = std::make_unique<Connection>();
        const int key = fd.get();
        c->uid = cred.uid;
        c->owner = owner;
        c->parent = parent;
        c->fd = std::move(fd);
        c->readable = std::make_unique<QSocketNotifier>(key, QSocketNotifier::Read);
        connect(c->readable.get(), &QSocketNotifier::activated, this,
                [this, key] { Readable(key); });
        c->deadline = std::make_unique<QTimer>();
        c->deadline->setSingleShot(true);
        connect(c->deadline.get(), &QTimer::timeout, this, [this, key] {
            Finish(key, {"error", "The request did not arrive in time."});
        });
        c->deadline->start(kRequestMs);
        connections_[key] = std::move(c);
    }
}

void ControlServer::Readable(int fd) {
    auto it = connections_.find(fd);
    if (it == connections_.end()) return;
    Connection& c = *it->second;
    char chunk[4096];
    const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (n <= 0) {
        Drop(fd);  // the caller closed (a watcher leaving, or a client giving up)
        return;
    }
    if (c.watching) return;  // a watcher has nothing more to say; what it sends is ignored
    c.buffer.append(chunk, static_cast<std::size_t>(n));
    control::Parsed p = control::Parse(c.buffer);
    if (p.status == control::Parsed::Incomplete) return;
    if (p.status == control::Parsed::Malformed) {
        Finish(fd, {"error", p.error});
        return;
    }
    const std::optional<Caller> caller = handler_.CallerOf(c.uid);
    if (!caller) {
        Finish(fd, {"error", "The calling account has no name."});
        return;
    }
    if (p.fields.size() == 1 && p.fields[0] == "watch") {
        if (!caller->member) {
            Finish(fd, {"error", "Not a member."});
            return;
        }
        c.watching = true;
        c.deadline->stop();
        c.buffer.clear();
        SendLine(fd, control::Encode({"ok"}));
        return;
    }
    Finish(fd, handler_.Handle(*caller, p.fields));
}

void ControlServer::Finish(int fd, const control::Fields& reply) {
    SendLine(fd, control::Encode(reply));
    Drop(fd);
}

void ControlServer::Drop(int fd) {
    auto it = connections_.find(fd);
    if (it == connections_.end()) return;
    // Called from the connection's own notifier or timer: those go when control returns to the
    // loop, disabled before their descriptor is closed.
    Connection& c = *it->second;
    c.readable->setEnabled(false);
    c.deadline->stop();
    c.readable.release()->deleteLater();
    c.deadline.release()->deleteLater();
    connections_.erase(it);
}

void ControlServer::Notify(uid_t uid, const std::string& text) {
    const std::string line = control::Encode({"notify", text});
    for (auto& [fd, c] : connections_)
        if (c->watching && c->uid == uid) SendLine(fd, line);
}

}  // namespace veltrixd
