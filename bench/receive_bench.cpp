// Receiving 256 MB from a loopback sender with CaptureString and with CaptureFile, against
// socat (or nc) writing the same stream to /dev/null; and the CPU a wait on a silent peer uses.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "bench/Timing.h"
#include "lib/net/SockClient.h"

namespace {

constexpr std::size_t kTotal = 256u << 20;

// Serves `kTotal` bytes to each of `connections` clients, one after the other.
struct Sender {
    int listenFd = -1;
    int port = 0;
    std::thread thread;
    explicit Sender(int connections, bool silent = false) {
        listenFd = testing_support::ListenOnLoopback(8, &port);
        thread = std::thread([this, connections, silent] {
            std::string chunk(1 << 20, 'x');
            for (int c = 0; c < connections; ++c) {
                int fd = ::accept(listenFd, nullptr, nullptr);
                if (fd < 0) return;
                if (silent) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
                } else {
                    for (std::size_t sent = 0; sent < kTotal;) {
                        ssize_t n = ::send(fd, chunk.data(), std::min(chunk.size(), kTotal - sent),
                                           MSG_NOSIGNAL);
                        if (n <= 0) break;
                        sent += static_cast<std::size_t>(n);
                    }
                }
                ::close(fd);
            }
        });
    }
    ~Sender() {
        thread.join();
        ::close(listenFd);
    }
};

double Receive(bool toFile) {
    Sender sender(1);
    net::TSocketClient c;
    c.Host = "127.0.0.1";
    c.Port = sender.port;
    c.Connect();
    const double t = bench::Now();
    if (toFile) {
        c.CaptureFile("/dev/null");
        if (c.BytesReceived != static_cast<std::int32_t>(kTotal))
            std::printf("short: %d bytes\n", c.BytesReceived);
    } else {
        std::string text;
        text.reserve(kTotal);
        c.CaptureString(text, -1);
        if (text.size() != kTotal) std::printf("short: %zu bytes\n", text.size());
    }
    return bench::Now() - t;
}

double Peer(const char** name) {
    for (const char* tool : {"socat", "nc"}) {
        if (std::system((std::string("command -v ") + tool + " >/dev/null").c_str()) != 0) continue;
        Sender sender(1);
        const std::string port = std::to_string(sender.port);
        const std::string command = std::string(tool) == "socat"
                                        ? "socat -u TCP:127.0.0.1:" + port + " OPEN:/dev/null"
                                        : "nc -N 127.0.0.1 " + port + " < /dev/null > /dev/null";
        *name = tool;
        return bench::TimeCommand(command);
    }
    *name = "socat or nc";
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const char* peerName = nullptr;
    const double peer = Peer(&peerName);
    const double asString = Receive(false);
    const double asFile = Receive(true);
    const double mb = static_cast<double>(kTotal) / (1 << 20);
    bench::Row("256 MB with CaptureString", asString, peer, peerName);
    bench::Row("256 MB with CaptureFile (/dev/null)", asFile, peer, peerName);
    if (peer > 0)
        std::printf(
            "throughput: CaptureString %.0f MB/s, CaptureFile %.0f MB/s, %s %.0f MB/s "
            "(goal: at least 0.8 x)\n",
            mb / asString, mb / asFile, peerName, mb / peer);

    // A silent peer: a line is awaited for one second, then the wait is cancelled.
    Sender silent(1, true);
    net::TSocketClient c;
    c.Host = "127.0.0.1";
    c.Port = silent.port;
    c.Connect();
    QTimer::singleShot(1000, [&] { c.Cancel(); });
    const double cpu = bench::CpuSeconds();
    const double wall = bench::Now();
    try {
        c.ReadLn();
    } catch (const net::EAbortError&) {
    }
    std::printf("waiting %.2f s for a silent peer used %.4f s of CPU\n", bench::Now() - wall,
                bench::CpuSeconds() - cpu);
    c.Disconnect();
}
