// The members' internet at their blocked hours, end to end and away from the machine's network:
// the real service and the accounts' programs run in a network namespace the test makes (whose
// nftables are its own), and reach an HTTP and a UDP echo server in a second namespace over a
// veth pair with addresses of the test's own. The route to the server is checked to go through
// that pair before any request.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <thread>

#include "lib/password/PasswordHash.h"
#include "lib/store/HourBoxes.h"
#include "lib/store/ValueNames.h"
#include "tests/support/Exec.h"
#include "tests/support/GuardUser.h"
#include "tests/support/ServiceProcess.h"
#include "tests/support/Signal.h"
#include "tests/support/TempEnv.h"
#include "tests/support/Wait.h"
#include "veltrixd/NetworkCut.h"
#include "veltrixd/SealedStore.h"

namespace fs = std::filesystem;
using testing_support::GuardUser;

namespace {

std::string Shell(const std::string& command, int* status = nullptr) {
    return testing_support::Run(command, status);
}

using testing_support::Eventually;

std::string Ip() {
    for (const char* path : {"/usr/sbin/ip", "/sbin/ip", "/usr/bin/ip", "/bin/ip"})
        if (::access(path, X_OK) == 0) return path;
    return {};
}

// An HTTP server (GET: a page with "veltrix-test-page") and a UDP echo on one address and port.
constexpr const char* kServer = R"(import os, socket, sys, threading
addr, port = sys.argv[1], int(sys.argv[2])
u = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); u.bind((addr, port))
def echo():
    while True:
        data, peer = u.recvfrom(2048); u.sendto(data, peer)
threading.Thread(target=echo, daemon=True).start()
t = socket.socket(); t.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
t.bind((addr, port)); t.listen(16)
open(sys.argv[3], "w").write(str(os.getpid()))
while True:
    c, _ = t.accept(); c.recv(4096)
    c.sendall(b"HTTP/1.0 200 OK\r\n\r\nveltrix-test-page\n"); c.close()
)";

// "page" or "no page: why" (tcp); "echo" or "no echo: why" (udp).
constexpr const char* kClient = R"(import socket, sys
mode, addr, port = sys.argv[1], sys.argv[2], int(sys.argv[3])
try:
    if mode == "tcp":
        s = socket.create_connection((addr, port), timeout=3)
        s.sendall(b"GET / HTTP/1.0\r\n\r\n"); data = s.recv(4096)
        print("page" if b"veltrix-test-page" in data else "no page: " + repr(data))
    else:
        s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.settimeout(2)
        s.connect((addr, port)); s.send(b"ping"); s.recv(2048); print("echo")
except OSError as e:
    print(("no page: " if mode == "tcp" else "no echo: ") + str(e))
)";

// Counts the datagrams that reach a UDP socket on every address (IPv4 and IPv6) for some seconds.
constexpr const char* kListener = R"(import socket, sys, time
port, seconds, out = int(sys.argv[1]), float(sys.argv[2]), sys.argv[3]
s = socket.socket(socket.AF_INET6, socket.SOCK_DGRAM)
s.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_V6ONLY, 0); s.bind(("::", port))
open(out + ".ready", "w").close()
n, end = 0, time.time() + seconds
while time.time() < end:
    s.settimeout(max(0.01, end - time.time()))
    try: s.recv(2048); n += 1
    except OSError: pass
open(out, "w").write(str(n))
)";

// Sends `count` datagrams to each address given, a tenth of a second apart.
constexpr const char* kSender = R"(import socket, sys, time
port, count = int(sys.argv[1]), int(sys.argv[2])
for i in range(count):
    for a in sys.argv[3:]:
        s = socket.socket(socket.AF_INET6 if ":" in a else socket.AF_INET, socket.SOCK_DGRAM)
        s.sendto(b"from outside", (a, port)); s.close()
    time.sleep(0.1)
)";

class NetworkCutTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!GuardUser::Possible()) GTEST_SKIP() << "needs root for namespaces and users";
        ip_ = Ip();
        if (ip_.empty()) GTEST_SKIP() << "no ip (iproute2)";
        if (!fs::exists("/usr/share/zoneinfo/Etc/GMT-6")) GTEST_SKIP() << "no zone database";
        char tmpl[] = "/tmp/veltrix-net-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        ::chmod(tmpl, 0755);
        std::ofstream(dir_ + "/server.py") << kServer;
        std::ofstream(dir_ + "/client.py") << kClient;
        std::ofstream(dir_ + "/listen.py") << kListener;
        std::ofstream(dir_ + "/send.py") << kSender;
        const unsigned n = std::random_device{}() % 200 + 20;
        suffix_ = std::to_string(::getpid()) + "x" + std::to_string(n);
        inner_ = "vtxa" + suffix_;
        outer_ = "vtxb" + suffix_;
        ours_ = "10.231." + std::to_string(n) + ".1";
        ours6_ = "fd7a:231:" + std::to_string(n) + "::1";
        server_ = "10.231." + std::to_string(n) + ".2";
        int status = 0;
        Shell(ip_ + " netns add " + inner_ + " && " + ip_ + " netns add " + outer_ + " && " + ip_ +
                  " link add vxa" + suffix_ + " netns " + inner_ + " type veth peer name vxb" +
                  suffix_ + " netns " + outer_ + " && " + ip_ + " -n " + inner_ + " addr add " +
                  ours_ + "/30 dev vxa" + suffix_ + " && " + ip_ + " -n " + outer_ + " addr add " +
                  server_ + "/30 dev vxb" + suffix_ + " && " + ip_ + " -n " + inner_ +
                  " link set vxa" + suffix_ + " up && " + ip_ + " -n " + inner_ + " addr add " +
                  ours6_ + "/64 dev vxa" + suffix_ + " nodad && " + ip_ + " -n " + outer_ +
                  " addr add fd7a:231:" + std::to_string(n) + "::2/64 dev vxb" + suffix_ +
                  " nodad && " + ip_ + " -n " + outer_ + " link set vxb" + suffix_ + " up && " +
                  ip_ + " -n " + inner_ + " link set lo up && " + ip_ + " -n " + outer_ +
                  " link set lo up",
              &status);
        ASSERT_EQ(status, 0) << "the namespaces could not be made";
        made_ = true;
        // Before any request: the server is reached through the pair, nowhere else.
        const std::string route = Shell(ip_ + " -n " + inner_ + " route get " + server_);
        ASSERT_NE(route.find("dev vxa" + suffix_), std::string::npos) << route;
        StartServer(outer_, server_);
        StartServer(inner_, "127.0.0.1");
        ASSERT_TRUE(Eventually([&] { return Fetch("root", "tcp", server_) == "page"; }, 10000));
    }
    void TearDown() override {
        for (const std::string& pidFile : {dir_ + "/server-" + outer_, dir_ + "/server-" + inner_})
            if (std::ifstream in(pidFile); in) {
                pid_t pid = 0;
                in >> pid;
                if (pid > 0) testing_support::Signal(pid, SIGKILL);
            }
        if (made_) Shell(ip_ + " netns del " + inner_ + "; " + ip_ + " netns del " + outer_);
        if (!dir_.empty()) fs::remove_all(dir_);
    }

    void StartServer(const std::string& ns, const std::string& addr) {
        const std::string pidFile = dir_ + "/server-" + ns;
        Shell("setsid " + ip_ + " netns exec " + ns + " python3 " + dir_ + "/server.py " + addr +
              " 8080 " + pidFile + " >/dev/null 2>&1 < /dev/null &");
        ASSERT_TRUE(Eventually([&] { return fs::exists(pidFile); }, 10000));
    }
    // What `user` gets from the server (in the service's namespace).
    std::string Fetch(const std::string& user, const std::string& mode, const std::string& addr) {
        std::string out =
            Shell(ip_ + " netns exec " + inner_ + " runuser -u " + user + " -- python3 " + dir_ +
                  "/client.py " + mode + " " + addr + " 8080");
        while (!out.empty() && out.back() == '\n') out.pop_back();
        return out;
    }
    std::string Tables() { return Shell(ip_ + " netns exec " + inner_ + " nft list tables 2>&1"); }
    std::string Nft(const std::string& command) {
        return Shell(ip_ + " netns exec " + inner_ + " nft " + command + " 2>&1");
    }
    // How many of 20 datagrams to each of our addresses from the server's side reach a socket of
    // `user` bound to `port` on every address. `shut` waits (with the nft command) for the port
    // to be closed first.
    int Arriving(const std::string& user, int port, bool shut) {
        fs::create_directories(dir_ + "/out");
        ::chmod((dir_ + "/out").c_str(), 01777);  // the listener writes as `user`
        const std::string out = dir_ + "/out/arrived-" + std::to_string(port);
        Shell("setsid " + ip_ + " netns exec " + inner_ + " runuser -u " + user + " -- python3 " +
              dir_ + "/listen.py " + std::to_string(port) + " 6 " + out +
              " >/dev/null 2>&1 < /dev/null &");
        if (!Eventually([&] { return fs::exists(out + ".ready"); }, 10000)) return -1;
        if (shut && ::access("/usr/sbin/nft", X_OK) == 0 &&
            !Eventually(
                [&] {
                    return Nft("list set inet veltrix ports").find(std::to_string(port)) !=
                           std::string::npos;
                },
                5000))
            return -2;
        Shell(ip_ + " netns exec " + outer_ + " python3 " + dir_ + "/send.py " +
              std::to_string(port) + " 20 " + ours_ + " " + ours6_);
        if (!Eventually([&] { return fs::exists(out); }, 15000)) return -3;
        std::ifstream in(out);
        int n = -4;
        in >> n;
        return n;
    }

    std::string ip_, dir_, suffix_, inner_, outer_, ours_, ours6_, server_;
    bool made_ = false;
};

// Blocking on, this hour and the next blocked in UTC (so not in UTC+6), the network kept or not.
veltrixd::Sealed BlockedNow(bool keepNetwork) {
    veltrixd::Sealed sealed{password::Hash("parent").value_or(""), {{store::kNeedJob, "Yes"}}};
    for (int box = 1; box <= store::kHourFlags; ++box)
        sealed.values[store::HourFlagName(box)] = "1";
    const std::time_t now = std::time(nullptr);
    for (std::time_t t : {now, now + 3600}) {
        std::tm tm{};
        ::gmtime_r(&t, &tm);
        sealed.values[store::HourFlagName(store::HourBox(tm.tm_wday, tm.tm_hour))] = "0";
    }
    if (keepNetwork) sealed.values[store::kInternetOff] = "No";
    return sealed;
}

TEST_F(NetworkCutTest, ABlockedMemberGetsNoPageAndEveryoneElseTheirs) {
    GuardUser kid, sister, outsider;
    const std::string group = kid.MemberGroup();
    Shell("usermod -aG " + group + " " + sister.name);
    const std::string zone = dir_ + "/localtime";
    fs::create_symlink("/usr/share/zoneinfo/Etc/UTC", zone);
    auto service = std::make_unique<testing_support::ServiceProcess>(
        group,
        std::vector<std::string>{"--no-events", "--nft-table", "veltrix", "--zone-file", zone},
        std::vector<std::string>{}, std::vector<std::string>{ip_, "netns", "exec", inner_});
    ASSERT_TRUE(service->started());
    veltrixd::SealedStore sealed(service->dir() + "/state/sealed");
    ASSERT_TRUE(sealed.Save(kid.uid, BlockedNow(false), nullptr));
    ASSERT_TRUE(service->Seal(sister.uid, "1"));
    ASSERT_TRUE(service->Reread(kid.name));
    ASSERT_TRUE(service->Reread(sister.name));
    ASSERT_TRUE(Eventually(
        [&] {
            return service->LogText().find("internet off for " + kid.name) != std::string::npos;
        },
        10000))
        << service->LogText();
    EXPECT_NE(
        service->LogText().find("[" + kid.name + "] internet off for " + kid.name + " until "),
        std::string::npos);

    // TCP and UDP cut for the blocked member; loopback, the sister and the outsider go on.
    EXPECT_EQ(Fetch(kid.name, "tcp", server_).rfind("no page", 0), 0u);
    EXPECT_EQ(Fetch(kid.name, "udp", server_).rfind("no echo", 0), 0u);
    EXPECT_EQ(Fetch(kid.name, "tcp", "127.0.0.1"), "page");
    EXPECT_EQ(Fetch(sister.name, "tcp", server_), "page");
    EXPECT_EQ(Fetch(sister.name, "udp", server_), "echo");
    EXPECT_EQ(Fetch(outsider.name, "tcp", server_), "page");
    // Nor does anything from outside reach a socket of the kid's, over IPv4 or IPv6, while the
    // sister's gets every datagram.
    EXPECT_EQ(Arriving(kid.name, 8090, true), 0);
    EXPECT_EQ(Arriving(sister.name, 8091, false), 40);

    // The parent keeps the kid's network: programs alone are stopped.
    ASSERT_TRUE(sealed.Save(kid.uid, BlockedNow(true), nullptr));
    testing_support::Signal(service->pid(), SIGHUP);
    EXPECT_TRUE(Eventually([&] { return Fetch(kid.name, "tcp", server_) == "page"; }, 10000));
    ASSERT_TRUE(sealed.Save(kid.uid, BlockedNow(false), nullptr));
    testing_support::Signal(service->pid(), SIGHUP);
    EXPECT_TRUE(Eventually([&] { return Fetch(kid.name, "tcp", server_).rfind("no page", 0) == 0; },
                           10000));

    // A service killed with the sister cut, the sister's hours changed meanwhile: the new one
    // leaves no stale rule and misses none.
    ASSERT_TRUE(sealed.Save(sister.uid, BlockedNow(false), nullptr));
    testing_support::Signal(service->pid(), SIGHUP);
    ASSERT_TRUE(Eventually(
        [&] { return Fetch(sister.name, "tcp", server_).rfind("no page", 0) == 0; }, 10000));
    ASSERT_TRUE(service->Seal(sister.uid, "1"));
    ASSERT_TRUE(service->Restart());
    EXPECT_TRUE(Eventually([&] { return Fetch(sister.name, "tcp", server_) == "page"; }, 10000));
    EXPECT_TRUE(Eventually([&] { return Fetch(kid.name, "tcp", server_).rfind("no page", 0) == 0; },
                           10000));

    // The hour's turn (here: the time zone moved six hours on) opens the network.
    fs::create_symlink("/usr/share/zoneinfo/Etc/GMT-6", dir_ + "/localtime.new");
    fs::rename(dir_ + "/localtime.new", zone);
    EXPECT_TRUE(Eventually([&] { return Fetch(kid.name, "tcp", server_) == "page"; }, 10000))
        << service->LogText();

    // The table is the service's alone: gone at its stop.
    const bool nftCli = ::access("/usr/sbin/nft", X_OK) == 0;
    if (nftCli) {
        EXPECT_NE(Tables().find("inet veltrix"), std::string::npos) << Tables();
    }
    EXPECT_EQ(service->Stop(), 0);
    if (nftCli) {
        EXPECT_EQ(Tables().find("inet veltrix"), std::string::npos) << Tables();
    }
}

// A daily allowance of one minute, 50 s of it used: a browser and a listed application running
// at an allowed hour are counted, the last minute is warned of, then both are stopped, the day
// is logged as used up and the network is cut for the rest of it.
TEST_F(NetworkCutTest, ADayUsedUpStopsWhatRunsAndCutsTheNetwork) {
    GuardUser kid;
    const std::string zone = dir_ + "/localtime";
    fs::create_symlink("/usr/share/zoneinfo/Etc/UTC", zone);
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::gmtime_r(&now, &tm);
    if (tm.tm_hour == 23 && tm.tm_min >= 57) GTEST_SKIP() << "too near midnight";
    auto service = std::make_unique<testing_support::ServiceProcess>(
        kid.MemberGroup(), std::vector<std::string>{"--nft-table", "veltrix", "--zone-file", zone},
        std::vector<std::string>{}, std::vector<std::string>{ip_, "netns", "exec", inner_});
    ASSERT_TRUE(service->started());
    ASSERT_TRUE(service->Seal(
        kid.uid, "1", {{store::AppName(1), "gedit"}, {store::MinutesADayName(tm.tm_wday), "1"}}));
    service->UsedThisHour(kid.uid, tm, 50);
    ASSERT_TRUE(service->Restart());
    ASSERT_TRUE(service->Reread(kid.name));
    EXPECT_EQ(Fetch(kid.name, "tcp", server_), "page");

    const pid_t game = kid.Spawn({kid.Program("gedit")});
    const pid_t browser = kid.Spawn({kid.Program("firefox")});
    EXPECT_TRUE(testing_support::WaitForEnd(browser, 60000)) << service->LogText();
    EXPECT_TRUE(testing_support::WaitForEnd(game, 10000)) << service->LogText();
    EXPECT_TRUE(Eventually([&] { return Fetch(kid.name, "tcp", server_).rfind("no page", 0) == 0; },
                           10000));
    EXPECT_EQ(Fetch(kid.name, "tcp", "127.0.0.1"), "page");
    const std::string log = service->LogText();
    const std::string at = "[" + kid.name + "] ";
    for (const std::string& line :
         {at + "Warning shown: 1 minute of today's 1 minute left", at + "today's 1 min used up at ",
          std::string("the application 'gedit': today's 1 min is used up"),
          at + "internet off for " + kid.name})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    EXPECT_EQ(service->Stop(), 0);
}

TEST(CutPorts, TheUdpPortsACutAccountHoldsOutsideLoopback) {
    const std::string udp =
        "   sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  "
        "timeout inode ref pointer drops\n"
        "  1: 00000000:1F9A 00000000:0000 07 00000000:00000000 00:00000000 00000000  1001 0 1 2 "
        "0000000000000000 0\n"  // 8090 on every address, the kid's
        "  2: 0100007F:0035 00000000:0000 07 00000000:00000000 00:00000000 00000000  1001 0 1 2 "
        "0000000000000000 0\n"  // 127.0.0.1:53: loopback only
        "  3: 0100A8C0:1F9B 0200A8C0:0050 01 00000000:00000000 00:00000000 00000000  100005 0 "
        "1 2 0000000000000000 0\n"  // 192.168.0.1:8091, connected, a subordinate uid's
        "  4: 00000000:1F9C 00000000:0000 07 00000000:00000000 00:00000000 00000000  1002 0 1 2 "
        "0000000000000000 0\n"  // the sister's
        "  5: garbage\n";
    const std::set<veltrixd::UidRange> kid{{1001, 1001}, {100000, 165535}};
    EXPECT_EQ(veltrixd::UdpPortsOf(udp, kid), (std::set<unsigned>{8090, 8091}));
    const std::string udp6 =
        "  sl  local_address                         remote_address                        st "
        "tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode ref pointer drops\n"
        "  1: 00000000000000000000000000000000:1F9D 00000000000000000000000000000000:0000 07 "
        "00000000:00000000 00:00000000 00000000  1001 0 1 2 0000000000000000 0\n"
        "  2: 00000000000000000000000001000000:1F9E 00000000000000000000000000000000:0000 07 "
        "00000000:00000000 00:00000000 00000000  1001 0 1 2 0000000000000000 0\n"  // ::1
        "  3: 0000000000000000FFFF00000100007F:1F9F 00000000000000000000000000000000:0000 07 "
        "00000000:00000000 00:00000000 00000000  1001 0 1 2 0000000000000000 0\n";  // mapped lo
    EXPECT_EQ(veltrixd::UdpPortsOf(udp6, kid), (std::set<unsigned>{8093}));
    EXPECT_TRUE(veltrixd::UdpPortsOf(udp, {}).empty());
}

TEST(SubordinateIds, AnAccountsRangesByNameOrUidAndNothingOdd) {
    const std::string subuid =
        "kid:100000:65536\n"
        "1001:300000:10\n"
        "sister:165536:65536\n"
        "kid:0:10\n"            // never a range with root in it
        "kid:5:x\n"             // malformed
        "kid:4294967000:500\n"  // past the last uid
        "kid:200000:0\n"
        "kidding:1:1\n";
    EXPECT_EQ(veltrixd::SubordinateRanges(subuid, "kid", 1001),
              (std::vector<veltrixd::UidRange>{{100000, 165535}, {300000, 300009}}));
    EXPECT_TRUE(veltrixd::SubordinateRanges(subuid, "nobody", 9).empty());
    EXPECT_TRUE(veltrixd::SubordinateRanges("", "kid", 1001).empty());
}

}  // namespace
