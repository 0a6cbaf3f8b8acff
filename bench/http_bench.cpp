// 200 sequential Gets of a small page from a loopback server, against curl fetching the same 200
// URLs with HTTP/1.0 and a new connection each; one Get of a 256 MB body in string and file mode
// against "curl -0 -o", with the peak memory of file mode.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "bench/Timing.h"
#include "lib/net/HttpClient.h"

namespace {

// An HTTP/1.0 server: every connection gets the header and `bodySize` bytes, then a close.
struct Server {
    int fd = -1;
    int port = 0;
    std::size_t bodySize;
    std::atomic<bool> stop{false};
    std::thread thread;
    explicit Server(std::size_t size) : bodySize(size) {
        fd = testing_support::ListenOnLoopback(64, &port);
        thread = std::thread([this] {
            const std::string header =
                "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(bodySize) + "\r\n\r\n";
            const std::string chunk(1 << 20, 'b');
            while (!stop) {
                int c = ::accept(fd, nullptr, nullptr);
                if (c < 0) break;
                char buf[4096];
                std::string request;
                while (request.find("\r\n\r\n") == std::string::npos) {
                    ssize_t n = ::recv(c, buf, sizeof buf, 0);
                    if (n <= 0) break;
                    request.append(buf, static_cast<std::size_t>(n));
                }
                ::send(c, header.data(), header.size(), MSG_NOSIGNAL);
                for (std::size_t sent = 0; sent < bodySize;) {
                    ssize_t n = ::send(c, chunk.data(), std::min(chunk.size(), bodySize - sent),
                                       MSG_NOSIGNAL);
                    if (n <= 0) break;
                    sent += static_cast<std::size_t>(n);
                }
                ::close(c);
            }
        });
    }
    ~Server() {
        stop = true;
        ::shutdown(fd, SHUT_RDWR);
        ::close(fd);
        thread.join();
    }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port) + path;
    }
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const bool curl = std::system("command -v curl >/dev/null") == 0;
    {
        Server small(512);
        net::THttpClient c;
        double t = bench::Now();
        for (int i = 0; i < 200; ++i) c.Get(small.Url("/page" + std::to_string(i)));
        const double ours = bench::Now() - t;
        std::string urls;
        for (int i = 0; i < 200; ++i) urls += " '" + small.Url("/page" + std::to_string(i)) + "'";
        const double peer = curl ? bench::TimeCommand("curl -s -0" + urls + " >/dev/null") : -1;
        // One curl process fetching 200 URLs with a new connection each (HTTP/1.0 closes).
        bench::Row("200 sequential Gets of a small page", ours, peer, "curl -0 (200 URLs)");
    }
    {
        Server big(256u << 20);
        net::THttpClient c;
        double t = bench::Now();
        c.Get(big.Url("/big"));
        const double asString = bench::Now() - t;
        c.Body.clear();
        c.Body.shrink_to_fit();
        const long before = bench::PeakKb();
        c.InputFileMode = true;
        c.Body = "/dev/null";
        t = bench::Now();
        c.Get(big.Url("/big"));
        const double asFile = bench::Now() - t;
        const long grew = bench::PeakKb() - before;
        const double peer =
            curl ? bench::TimeCommand("curl -s -0 -o /dev/null '" + big.Url("/big") + "'") : -1;
        bench::Row("one Get of 256 MB, string mode", asString, peer, "curl -0 -o /dev/null");
        bench::Row("one Get of 256 MB, file mode", asFile, peer, "curl -0 -o /dev/null");
        std::printf(
            "peak memory added by the file-mode Get: %ld kB (independent of the body's size)\n",
            grew);
    }
}
