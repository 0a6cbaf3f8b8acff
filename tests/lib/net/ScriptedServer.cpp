#include "tests/lib/net/ScriptedServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

namespace testing_support {

pid_t StartServerOn(int listener, const std::vector<std::string>& argv) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        if (null < 0 || ::dup2(null, 1) < 0 || ::dup2(null, 2) < 0 || ::dup2(listener, 3) < 0)
            _exit(126);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        _exit(127);
    }
    ::close(listener);
    return pid;
}

int ClosedPort() {
    int port = 0;
    int fd = ListenOnLoopback(1, &port);
    ::close(fd);
    return port;
}

void ScriptedServer::Peer::Send(const std::string& bytes) {
    std::size_t at = 0;
    while (at < bytes.size()) {
        ssize_t n = ::send(fd_, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
        if (n <= 0) return;
        at += static_cast<std::size_t>(n);
    }
}

void ScriptedServer::Peer::Drip(const std::string& bytes, int microsecondsBetween) {
    for (char c : bytes) {
        if (::send(fd_, &c, 1, MSG_NOSIGNAL) != 1) return;
        std::this_thread::sleep_for(std::chrono::microseconds(microsecondsBetween));
    }
}

void ScriptedServer::Peer::TrickleForever(const std::string& start, int millisecondsBetween) {
    Send(start);
    while (!Stopping() && ::send(fd_, "x", 1, MSG_NOSIGNAL) == 1)
        std::this_thread::sleep_for(std::chrono::milliseconds(millisecondsBetween));
}

std::string ScriptedServer::Peer::ReadUntil(const std::string& marker) {
    std::string got;
    char buf[65536];
    while (got.find(marker) == std::string::npos) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 100) == 0) {
            if (Stopping()) break;
            continue;
        }
        ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
        if (n <= 0) break;
        got.append(buf, static_cast<std::size_t>(n));
    }
    server_->Record(got);
    return got;
}

std::string ScriptedServer::Peer::ReadAll() {
    return ReadUntil(std::string(1, '\0') + "\x01never");
}

std::string ScriptedServer::Peer::ReadExactly(std::size_t count) {
    std::string got(count, '\0');
    std::size_t at = 0;
    while (at < count) {
        ssize_t n = ::recv(fd_, got.data() + at, count - at, 0);
        if (n <= 0) break;
        at += static_cast<std::size_t>(n);
    }
    got.resize(at);
    return got;
}

std::size_t ScriptedServer::Peer::Discard() {
    std::size_t total = 0;
    char buf[1 << 16];
    for (;;) {
        ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
        if (n <= 0) break;
        total += static_cast<std::size_t>(n);
    }
    return total;
}

void ScriptedServer::Peer::WaitUntilStopped() {
    while (!Stopping()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

void ScriptedServer::Peer::Reset() {
    linger l{1, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    ::close(fd_);
    fd_ = -1;
}

bool ScriptedServer::Peer::Stopping() const {
    return server_->stop_;
}

ScriptedServer::ScriptedServer(Script script, bool accept)
    : accept_(accept), script_(std::move(script)) {
    listen_ = ListenOnLoopback(accept ? 16 : 0, &port_);
    if (!accept_) {
        // Fill the accept queue so that the next connect is never answered.
        for (int i = 0; i < 4; ++i) {
            int c = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            a.sin_port = htons(static_cast<std::uint16_t>(port_));
            ::connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a);
            held_.push_back(c);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return;
    }
    thread_ = std::thread([this] { Run(); });
}

void ScriptedServer::Run() {
    while (!stop_) {
        pollfd p{listen_, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        ++connections_;
        peers_.emplace_back([this, fd] {
            Peer peer(fd, this);
            script_(peer);
            if (peer.fd() >= 0) ::close(peer.fd());
        });
    }
}

void ScriptedServer::Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    for (auto& t : peers_)
        if (t.joinable()) t.join();
    peers_.clear();
}

ScriptedServer::~ScriptedServer() {
    Stop();
    for (int c : held_) ::close(c);
    if (listen_ >= 0) ::close(listen_);
}

std::string ScriptedServer::Received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

void ScriptedServer::Record(const std::string& bytes) {
    std::lock_guard lock(mutex_);
    received_ += bytes;
}

}  // namespace testing_support
