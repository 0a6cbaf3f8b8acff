// The service's control socket under load: the real veltrixd, started on a socket of the test's
// own (for a group with no members, so it stops nothing), with 100 clients at once, a quarter of
// them hostile: silent, endless, or sending garbage. Every honest client is answered, every
// hostile one gets an error and a close, and the service answers on.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <grp.h>
#include <poll.h>

#include "lib/control/Client.h"
#include "tests/support/GuardUser.h"
#include "tests/support/ServiceProcess.h"
#include "tests/support/Signal.h"
#include "tests/support/SubordinateRange.h"
#include "veltrixd/ControlServer.h"

namespace {

class ControlSocket : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(service_.started()) << "the service did not open its socket";
        pid_ = service_.pid();
    }

    // Connects, sends `bytes`, and reads until the service closes (at most 20 s).
    std::string Raw(const std::string& bytes, bool thenWait = true) {
        const int fd = control::Connect();
        if (fd < 0) return "no connection";
        timeval tv{20, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        (void)::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        std::string reply;
        char chunk[4096];
        while (thenWait) {
            const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0) break;
            reply.append(chunk, static_cast<std::size_t>(n));
        }
        ::close(fd);
        return reply;
    }

    // A group with no members: the service serves outsiders only and enforces nothing.
    testing_support::ServiceProcess service_{"veltrix-test-no-such-group", {"--no-events"}};
    pid_t pid_ = -1;
};

TEST_F(ControlSocket, AHundredClientsAtOnceSomeHostile) {
    std::atomic<int> honestOk{0}, hostileRefused{0};
    std::vector<std::string> failures(100);
    std::vector<std::thread> clients;
    for (int i = 0; i < 100; ++i) {
        clients.emplace_back([&, i] {
            std::string reply;
            switch (i % 8) {
                case 0:  // silent: connects and says nothing
                    reply = Raw("");
                    break;
                case 1:  // endless: a line longer than any request, never ended
                    reply = Raw(std::string(control::kMaxLine + 100, 'x'));
                    break;
                case 2:  // garbage
                    reply = Raw(std::string("\x01\x02%zz\t\t\n", 8));
                    break;
                default: {
                    const control::Reply r = control::Ask({"status"});
                    // (root counts as a parent)
                    const char* role = ::geteuid() == 0 ? "parent" : "not-member";
                    if (r.ok() && r.fields.size() == 4 && r.fields[1] == role)
                        ++honestOk;
                    else
                        failures[static_cast<std::size_t>(i)] = r.Text();
                    return;
                }
            }
            if (reply.rfind("error\t", 0) == 0)
                ++hostileRefused;
            else
                failures[static_cast<std::size_t>(i)] = "hostile client got: " + reply;
        });
    }
    for (auto& t : clients) t.join();
    for (const std::string& f : failures) EXPECT_EQ(f, "");
    EXPECT_EQ(honestOk + hostileRefused, 100);
    // Still there, and still answering.
    EXPECT_EQ(::waitpid(pid_, nullptr, WNOHANG), 0);
    EXPECT_TRUE(control::Ask({"status"}).ok());
}

TEST_F(ControlSocket, AClientThatLeavesMidRequestCostsNothing) {
    for (int i = 0; i < 50; ++i) Raw("verify\tpart", false);
    const control::Reply r = control::Ask({"verify", "x"});
    EXPECT_EQ(r.status, control::Reply::Error);
    EXPECT_NE(r.Text().find("not a member"), std::string::npos) << r.Text();
}

// A process as `uid` that opens `count` connections to the service and holds them; the pid, and
// in `refused` (once the process wrote it) how many the service refused at once.
pid_t HoldConnections(uid_t uid, gid_t gid, int count, int* refusedFd) {
    int fds[2];
    if (::pipe(fds) != 0) return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) ::_exit(126);
        std::vector<int> held;
        for (int i = 0; i < count; ++i) held.push_back(control::Connect());
        ::usleep(500000);
        int refused = 0;
        for (int fd : held) {
            pollfd p{fd, POLLIN, 0};
            refused += fd < 0 || ::poll(&p, 1, 0) > 0;  // told "busy" and closed
        }
        const std::string text = std::to_string(refused) + "\n";
        (void)!::write(fds[1], text.data(), text.size());
        for (;;) ::pause();
    }
    ::close(fds[1]);
    *refusedFd = fds[0];
    return pid;
}

int ReadCount(int fd) {
    char buf[32] = {};
    const ssize_t n = ::read(fd, buf, sizeof buf - 1);
    ::close(fd);
    return n > 0 ? std::atoi(buf) : -1;
}

// A child and one of its subordinate uids (a container's root) hold every connection they can:
// together they count as the child, and parents and root are still answered.
TEST(ControlSocketLimits, AChildAndItsSubordinateUidsCannotCrowdOutTheParents) {
    if (!testing_support::GuardUser::Possible()) GTEST_SKIP() << "needs root for accounts";
    testing_support::GuardUser kid;
    testing_support::ServiceProcess service(kid.MemberGroup(), {"--no-events"});
    ASSERT_TRUE(service.started());
    // A subordinate range of the child's own, removed again at the end.
    const testing_support::SubordinateRange range(kid.name, kid.uid);
    const unsigned long long first = range.first;

    int kidFd = -1, subFd = -1;
    const pid_t kidHolder = HoldConnections(kid.uid, kid.gid, 140, &kidFd);
    const pid_t subHolder = HoldConnections(static_cast<uid_t>(first + 1000),
                                            static_cast<gid_t>(first + 1000), 140, &subFd);
    ASSERT_GT(kidHolder, 0);
    ASSERT_GT(subHolder, 0);
    const int kidRefused = ReadCount(kidFd), subRefused = ReadCount(subFd);
    const control::Reply status = control::Ask({"status"}, 5000);
    const control::Reply family = control::Ask({"family-states"}, 5000);
    testing_support::Signal(kidHolder, SIGKILL);
    testing_support::Signal(subHolder, SIGKILL);
    ::waitpid(kidHolder, nullptr, 0);
    ::waitpid(subHolder, nullptr, 0);
    EXPECT_TRUE(status.ok()) << status.Text();
    EXPECT_TRUE(family.ok()) << family.Text();
    ASSERT_GE(kidRefused, 0);
    ASSERT_GE(subRefused, 0);
    EXPECT_LE(280 - kidRefused - subRefused, static_cast<int>(veltrixd::kMaxConnectionsPerAccount));
}

TEST(ControlClient, NoServiceIsToldApart) {
    ::setenv("VELTRIX_CONTROL_SOCKET", "/tmp/veltrix-no-such-dir/control", 1);
    const control::Reply r = control::Ask({"status"});
    ::unsetenv("VELTRIX_CONTROL_SOCKET");
    EXPECT_EQ(r.status, control::Reply::NoService);
    EXPECT_NE(r.Text().find("/tmp/veltrix-no-such-dir/control"), std::string::npos);
}

// A socket served by another account (a child's proxy, as a line in its environment would name
// one) is told nothing: the request, with the password it holds, never reaches it.
TEST(ControlClient, ASocketNotServedByRootIsToldNothing) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to serve a socket as another account";
    char tmpl[] = "/tmp/veltrix-impostor-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    ::chmod(tmpl, 0777);
    const std::string path = std::string(tmpl) + "/control";
    int ready[2], heard[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(heard), 0);
    const pid_t impostor = ::fork();
    if (impostor == 0) {
        // nobody: listens, and tells the test how many bytes a client sent it.
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(1);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(fd, 4) != 0)
            ::_exit(1);
        (void)::write(ready[1], "r", 1);
        const int client = ::accept(fd, nullptr, nullptr);
        char buf[256];
        const ssize_t n = ::read(client, buf, sizeof buf);
        const char count = static_cast<char>(n > 0 ? n : 0);
        (void)::write(heard[1], &count, 1);
        ::_exit(0);
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::setenv("VELTRIX_CONTROL_SOCKET", path.c_str(), 1);
    const control::Reply r = control::Ask({"verify", "the parent's password"}, 5000);
    ::unsetenv("VELTRIX_CONTROL_SOCKET");
    EXPECT_EQ(r.status, control::Reply::Failed);
    EXPECT_NE(r.Text().find("not root's"), std::string::npos) << r.Text();
    ASSERT_EQ(::read(heard[0], &byte, 1), 1);
    EXPECT_EQ(byte, 0) << "the impostor heard the request";
    ::waitpid(impostor, nullptr, 0);
    for (int fd : {ready[0], ready[1], heard[0], heard[1]}) ::close(fd);
    std::system(("rm -rf '" + std::string(tmpl) + "'").c_str());
}

}  // namespace
