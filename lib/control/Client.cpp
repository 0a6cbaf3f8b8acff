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

int Connect(std::string* why) {
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
    return fd.release();
}

Reply Ask(const Fields& request, int timeoutMs) {
    Reply reply;
    platform::UniqueFd fd(Connect(&reply.why));
    if (!fd.valid()) return reply;  // NoService
    reply.status = Reply::Failed;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const std::string line = Encode(request);
    for (std::size_t sent = 0; sent < line.size();) {
        if (!WaitFor(fd.get(), POLLOUT, deadline)) {
            reply.why = "the service did not take the request";
            return reply;
        }
        const ssize_t n = ::send(fd.get(), line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            reply.why = std::string("the service closed the connection: ") + std::strerror(errno);
            return reply;
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
            return reply;
        }
        if (p.status == Parsed::Malformed) {
            reply.why = "the service's answer is malformed: " + p.error;
            return reply;
        }
        if (!WaitFor(fd.get(), POLLIN, deadline)) {
            reply.why = "the service did not answer in time";
            return reply;
        }
        char chunk[4096];
        const ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            reply.why = "the service closed the connection without an answer";
            return reply;
        }
        buffer.append(chunk, static_cast<std::size_t>(n));
    }
}

}  // namespace control
