#include "lib/control/Client.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "lib/platform/files/UniqueFd.h"

namespace control {
namespace {

using Clock = std::chrono::steady_clock;

int MillisLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

bool WaitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, MillisLeft(deadline));
        if (n > 0) return true;
        if (n == 0) return false;
        if (errno != EINTR) return false;
    }
}

}  // namespace

std::string Reply::Text() const {
    if (status == Error) return fields.size() > 1 ? fields[1] : "the service refused";
    if (status == Ok) return {};
    return why;
}

namespace {

// The service runs as root; a socket served by anyone else is no service of ours, and is told
// nothing (a test build may also be served by the caller's own account).
bool ServedByRoot(int fd) {
    ucred cred{};
    socklen_t len = sizeof cred;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) return false;
#ifdef VELTRIX_TEST_SEAMS
    if (cred.uid == ::geteuid()) return true;
#endif
    return cred.uid == 0;
}

// Connect(), telling a socket that is not root's from no service.
int ConnectChecked(std::string* why, bool* impostor) {
    const std::string path = SocketPath();
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) {
        if (why) *why = "the socket path is too long";
        return -1;
    }
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    platform::UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.valid() || ::connect(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        if (why) *why = path + ": " + std::strerror(errno);
        return -1;
    }
    if (!ServedByRoot(fd.get())) {
        if (why) *why = path + " is not served by the system's service (not root's)";
        if (impostor) *impostor = true;
        return -1;
    }
    return fd.release();
}

// Sends `request` on `fd` and reads the reply's line, both by `deadline`. Bytes after that line
// (a watch's first notifications) are left in `rest`.
void Exchange(int fd, const Fields& request, Clock::time_point deadline, Reply& reply,
              std::string* rest) {
    reply.status = Reply::Failed;
    // The line may hold a password: its bytes are wiped once it went (or could not go).
    struct WipedLine {
        std::string text;
        ~WipedLine() { Wipe(text); }
    } wiped{Encode(request)};
    const std::string& line = wiped.text;
    for (std::size_t sent = 0; sent < line.size();) {
        if (!WaitFor(fd, POLLOUT, deadline)) {
            reply.why = "the service did not take the request";
            return;
        }
        const ssize_t n = ::send(fd, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            reply.why = std::string("the service closed the connection: ") + std::strerror(errno);
            return;
        }
        sent += static_cast<std::size_t>(n);
    }
    std::string buffer;
    for (;;) {
        Parsed p = Parse(buffer);
        if (p.status == Parsed::Ok) {
            reply.fields = std::move(p.fields);
            if (reply.fields[0] == "ok") {
                reply.status = Reply::Ok;
            } else if (reply.fields[0] == "error") {
                reply.status = Reply::Error;
            } else {
                reply.why = "the service answered " + reply.fields[0];
            }
            if (rest) *rest = buffer.substr(p.consumed);
            return;
        }
        if (p.status == Parsed::Malformed) {
            reply.why = "the service's answer is malformed: " + p.error;
            return;
        }
        if (!WaitFor(fd, POLLIN, deadline)) {
            reply.why = "the service did not answer in time";
            return;
        }
        char chunk[4096];
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            reply.why = "the service closed the connection without an answer";
            return;
        }
        buffer.append(chunk, static_cast<std::size_t>(n));
    }
}

}  // namespace

int Connect(std::string* why) {
    return ConnectChecked(why, nullptr);
}

Reply Ask(const Fields& request, int timeoutMs) {
    Reply reply;
    bool impostor = false;
    platform::UniqueFd fd(ConnectChecked(&reply.why, &impostor));
    if (impostor) reply.status = Reply::Failed;
    if (!fd.valid()) return reply;  // NoService, or Failed for a socket that is not root's
    Exchange(fd.get(), request, Clock::now() + std::chrono::milliseconds(timeoutMs), reply,
             nullptr);
    return reply;
}

int Watch(std::string* rest, int timeoutMs) {
    platform::UniqueFd fd(Connect());
    if (!fd.valid()) return -1;
    Reply reply;
    Exchange(fd.get(), {"watch"}, Clock::now() + std::chrono::milliseconds(timeoutMs), reply, rest);
    return reply.ok() && reply.fields.size() == 1 ? fd.release() : -1;
}

}  // namespace control
