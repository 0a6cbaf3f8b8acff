// A scripted TCP server on 127.0.0.1 for the network tests, in its own thread with blocking
// sockets: each accepted connection runs the script, which can send in pieces, drip one byte at
// a time, go silent, read, close or reset. Like curl's test servers, it is told what to do per
// test; it never talks to any address but loopback.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/Loopback.h"

namespace testing_support {

class ScriptedServer {
  public:
    class Peer {
      public:
        explicit Peer(int fd, ScriptedServer* server) : fd_(fd), server_(server) {}
        void Send(const std::string& bytes);
        void Drip(const std::string& bytes, int microsecondsBetween = 200);
        // Reads until `marker` has arrived (or the peer closed); returns everything read.
        std::string ReadUntil(const std::string& marker);
        std::string ReadAll();  // until the client closes
        std::string ReadExactly(std::size_t count);
        std::size_t Discard();    // reads and counts until the client closes
        void WaitUntilStopped();  // goes silent until the server is stopped
        // Sends `start`, then one more byte every `millisecondsBetween`, until the client goes
        // or the server stops: never silent for long, never done.
        void TrickleForever(const std::string& start, int millisecondsBetween = 50);
        void Reset();  // abortive close (RST)
        bool Stopping() const;
        int fd() const { return fd_; }
        ScriptedServer* server() const { return server_; }

      private:
        int fd_;
        ScriptedServer* server_;
    };
    using Script = std::function<void(Peer&)>;

    // `backlog` 0 and `accept` false make a server whose queue fills up: connects then hang.
    explicit ScriptedServer(Script script, bool accept = true);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    int port() const { return port_; }
    int Connections() const { return connections_; }
    std::string Received() const;  // what the scripts recorded with Record()
    void Record(const std::string& bytes);
    void Stop();

  private:
    void Run();
    int listen_ = -1;
    int port_ = 0;
    bool accept_;
    Script script_;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    mutable std::mutex mutex_;
    std::string received_;
    std::vector<int> held_;  // sockets of a server that does not accept
    std::thread thread_;
    std::vector<std::thread> peers_;
};

// A port on 127.0.0.1 where nothing listens.
int ClosedPort();

// The message of what `f` raises, or "(nothing raised)".
inline std::string What(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(nothing raised)";
}

// Starts `argv` with `listener` as its descriptor 3 (the server accepts on it, so there is no
// window in which another process could take the port), its output on /dev/null. The caller's
// copy of `listener` is closed. Returns the child's pid.
pid_t StartServerOn(int listener, const std::vector<std::string>& argv);

}  // namespace testing_support
