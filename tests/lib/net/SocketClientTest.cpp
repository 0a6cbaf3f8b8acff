// TSocketClient against loopback servers the tests start themselves: the exact events and status
// texts of a connect, every failure with its message, Cancel in each wait, time-outs, the proxy
// route, two components, and the transfers.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

#include <sys/socket.h>

#include <filesystem>
#include <fstream>

#include "lib/net/SockClient.h"
#include "tests/lib/net/ScriptedServer.h"
#include "tests/support/TempEnv.h"

using net::EAbortError;
using net::ESockError;
using net::TSocketClient;
using testing_support::ScriptedServer;
using testing_support::What;

namespace {

// Records every event and status text in the order they came, as "status:<text>" / "<event>".
struct Trace {
    std::vector<std::string> seen;
    explicit Trace(TSocketClient& c) {
        c.OnStatus = [this](rtl::TComponent*, const std::string& s) {
            seen.push_back("status:" + s);
        };
        c.OnConnect = [this](rtl::TComponent*) { seen.push_back("OnConnect"); };
        c.OnDisconnect = [this](rtl::TComponent*) { seen.push_back("OnDisconnect"); };
        c.OnHostResolved = [this](rtl::TComponent*) { seen.push_back("OnHostResolved"); };
        c.OnConnectionFailed = [this](rtl::TComponent*) { seen.push_back("OnConnectionFailed"); };
        c.OnSocketError = [this](rtl::TComponent*, std::uint16_t code, const std::string& m) {
            seen.push_back("OnSocketError " + std::to_string(code) + " " + m);
        };
    }
    int Count(const std::string& what) const {
        return static_cast<int>(std::count(seen.begin(), seen.end(), what));
    }
};

// Fails a test that would hang: cancels the component's wait after a generous time.
struct Watchdog {
    QTimer timer;
    explicit Watchdog(TSocketClient& c, int ms = 20000) {
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, [&c] {
            ADD_FAILURE() << "watchdog: a wait did not end";
            c.Cancel();
        });
        timer.start(ms);
    }
};

// Calls Cancel on `c` after `ms` from inside its wait.
void CancelLater(TSocketClient& c, int ms) {
    QTimer::singleShot(ms, [&c] { c.Cancel(); });
}

void Echo(ScriptedServer::Peer& p) {
    p.WaitUntilStopped();
}

}  // namespace

TEST(SocketConnect, ToADottedAddressReportsExactlyThisAtEachLevel) {
    ScriptedServer server(Echo);
    for (int level : {0, 4, 8, 16}) {
        TSocketClient c;
        Trace t(c);
        Watchdog w(c);
        c.Host = "127.0.0.1";
        c.Port = server.port();
        c.ReportLevel = level;
        c.Connect();
        EXPECT_TRUE(c.Connected);
        std::vector<std::string> want;
        if (level >= 8) want = {"status:Connecting", "status:Resolve Host"};
        if (level >= 16) want.push_back("status:Checking Error In Error Manager");
        if (level >= 8) want.push_back("status:Timer On");
        want.push_back("OnConnect");
        if (level >= 8) want.push_back("status:Timer Off");
        EXPECT_EQ(t.seen, want) << "level " << level;
        t.seen.clear();
        c.Disconnect();
        std::vector<std::string> after;
        if (level >= 8) after.push_back("status:Disconnecting");
        if (level >= 4) after.push_back("status:Request Close Socket");
        after.push_back("OnDisconnect");
        EXPECT_EQ(t.seen, after) << "level " << level;
        EXPECT_FALSE(c.Connected);
    }
}

TEST(SocketConnect, ToANameLooksItUpFirst) {
    ScriptedServer server(Echo);
    TSocketClient c;
    Trace t(c);
    Watchdog w(c);
    c.Host = "localhost";
    c.Port = server.port();
    c.ReportLevel = 8;
    c.Connect();
    EXPECT_EQ(t.seen,
              (std::vector<std::string>{"status:Connecting", "status:Resolve Host",
                                        "status:Timer On", "status:Timer Off", "OnHostResolved",
                                        "status:Timer On", "OnConnect", "status:Timer Off"}));
    EXPECT_EQ(c.RemoteAddress.sin_addr.s_addr, platform::winsock::inet_addr("127.0.0.1"));
    EXPECT_EQ(What([&] { c.Connect(); }), "Already connected");
    EXPECT_FALSE(c.Canceled);
}

TEST(SocketConnect, RefusedFailsOnceAndTheComponentStaysUsable) {
    ScriptedServer server(Echo);
    TSocketClient c;
    Trace t(c);
    Watchdog w(c);
    c.Host = "127.0.0.1";
    c.Port = testing_support::ClosedPort();
    EXPECT_EQ(What([&] { c.Connect(); }), "Connection Failed");
    EXPECT_EQ(t.Count("OnConnectionFailed"), 1);
    EXPECT_FALSE(c.Connected);
    c.Port = server.port();  // the same socket connects now
    c.Connect();
    EXPECT_TRUE(c.Connected);
}

TEST(SocketConnect, TimeOutAndCancelEndTheConnectWait) {
    ScriptedServer silent(nullptr, /*accept=*/false);
    {
        TSocketClient c;
        Trace t(c);
        Watchdog w(c);
        c.Host = "127.0.0.1";
        c.Port = silent.port();
        c.TimeOut = 200;
        c.ReportLevel = 8;
        EXPECT_EQ(What([&] { c.Connect(); }), "Connection Timed out");
        EXPECT_EQ(t.Count("status:Timer Triggered"), 1);
        EXPECT_EQ(t.Count("OnConnectionFailed"), 1);
    }
    {
        TSocketClient c;
        Watchdog w(c);
        c.Host = "127.0.0.1";
        c.Port = silent.port();
        CancelLater(c, 100);
        EXPECT_EQ(What([&] { c.Connect(); }), "Connection Canceled");
    }
}

TEST(SocketLookup, TimeOutAndCancelEndTheLookupWait) {
    platform::winsock::SetLookupDelayForTesting(3000);
    {
        TSocketClient c;
        Watchdog w(c);
        c.Host = "localhost";
        c.TimeOut = 100;
        EXPECT_EQ(What([&] { c.Connect(); }), "Host Lookup Timed Out");
    }
    {
        TSocketClient c;
        Watchdog w(c);
        c.Host = "localhost";
        CancelLater(c, 50);
        EXPECT_EQ(What([&] { c.Connect(); }), "Host Lookup Canceled");
    }
    platform::winsock::SetLookupDelayForTesting(0);
}

TEST(SocketLookup, TheLateAnswerOfAnAbandonedLookupIsIgnored) {
    ScriptedServer server(Echo);
    platform::winsock::SetLookupDelayForTesting(300);
    TSocketClient c;
    Watchdog w(c);
    c.Host = "localhost";
    c.TimeOut = 50;
    EXPECT_EQ(What([&] { c.Connect(); }), "Host Lookup Timed Out");
    platform::winsock::SetLookupDelayForTesting(0);
    c.TimeOut = 0;
    c.Port = server.port();
    c.Connect();  // the first answer arrives during this wait and must not end it
    EXPECT_TRUE(c.Connected);
}

TEST(SocketLookup, InvalidHostIsOfferedOnceAndLongNamesFailCleanly) {
    ScriptedServer server(Echo);
    const std::string longName(300, 'a');
    {
        TSocketClient c;
        Watchdog w(c);
        c.Host = longName;
        c.Port = server.port();
        int offered = 0;
        c.OnInvalidHost = [&](bool& handled) {
            ++offered;
            c.Host = "127.0.0.1";
            handled = true;
        };
        c.Connect();
        EXPECT_EQ(offered, 1);
        EXPECT_TRUE(c.Connected);
    }
    {
        TSocketClient c;
        Watchdog w(c);
        c.Host = "0.0.0.0";  // the address 0 counts as unresolved
        int offered = 0;
        c.OnInvalidHost = [&](bool& handled) {
            ++offered;
            c.Host = longName;  // still wrong: no second offer
            handled = true;
        };
        EXPECT_EQ(What([&] { c.Connect(); }), "Null Remote Address");
        EXPECT_EQ(offered, 1);
        c.OnInvalidHost = nullptr;
        EXPECT_EQ(What([&] { c.Connect(); }), "Null Remote Address");
        c.OnInvalidHost = [&](bool&) { ++offered; };  // declined
        EXPECT_EQ(What([&] { c.Connect(); }), "Null Remote Address");
        EXPECT_EQ(offered, 2);
    }
}

TEST(SocketConnect, ThroughAProxyConnectsToTheProxyOnly) {
    ScriptedServer proxy([](ScriptedServer::Peer& p) {
        p.Send("proxied\r\n");
        p.WaitUntilStopped();
    });
    TSocketClient c;
    Watchdog w(c);
    c.Host = std::string(200, 'h');  // would fail if it were used
    c.Port = 1;
    c.Proxy = "127.0.0.1";
    c.ProxyPort = proxy.port();
    c.Connect();
    EXPECT_EQ(c.ReadLn(), "proxied\r\n");
    EXPECT_EQ(proxy.Connections(), 1);
}

TEST(SocketLibrary, StartsWithTheFirstComponentAndStopsWithTheLast) {
    const int before = TSocketClient::WinsockUsers();
    const int sockets = platform::winsock::OpenSocketCount();
    auto first = std::make_unique<TSocketClient>();
    auto second = std::make_unique<TSocketClient>();
    EXPECT_EQ(TSocketClient::WinsockUsers(), before + 2);
    if (before == 0) {
        EXPECT_EQ(first->WinsockInfo.Count(), 6);
        EXPECT_EQ(first->WinsockInfo.Strings[0], "Version= 1.1");
        EXPECT_EQ(second->WinsockInfo.Count(), 0);
    }
    first.reset();
    EXPECT_EQ(TSocketClient::WinsockUsers(), before + 1);
    EXPECT_NE(second->SocketHandle, platform::winsock::INVALID_SOCKET);
    second.reset();
    EXPECT_EQ(TSocketClient::WinsockUsers(), before);
    EXPECT_EQ(platform::winsock::OpenSocketCount(), sockets);  // nothing leaked
}

TEST(SocketErrors, MessagesOfTheErrorTable) {
    TSocketClient c;
    EXPECT_EQ(c.LookupErrorMessage(10061), "10061:Connection refused");
    EXPECT_EQ(c.LookupErrorMessage(11004), "11004:Valid name, no data record of requested type");
    EXPECT_EQ(c.LookupErrorMessage(10047), "10047:Address family not supported by protocol family");
    EXPECT_EQ(c.LookupErrorMessage(12345), "Unknown Error No. 12345");
    EXPECT_EQ(c.LookupErrorMessage(0), "");
    c.TimeOut = -1;
    EXPECT_THROW(c.Connect(), std::exception);  // a negative time-out is a range error
}

TEST(SocketAddress, DottedFormsAndEverythingElse) {
    using platform::winsock::inet_addr;
    auto a = [](unsigned b0, unsigned b1, unsigned b2, unsigned b3) {
        return htonl((b0 << 24) | (b1 << 16) | (b2 << 8) | b3);
    };
    EXPECT_EQ(inet_addr("10.0.0.1"), a(10, 0, 0, 1));
    EXPECT_EQ(inet_addr("10.1"), a(10, 0, 0, 1));
    EXPECT_EQ(inet_addr("10.1.257"), a(10, 1, 1, 1));
    EXPECT_EQ(inet_addr("0x7f.1"), a(127, 0, 0, 1));
    EXPECT_EQ(inet_addr("0177.0.0.01"), a(127, 0, 0, 1));
    EXPECT_EQ(inet_addr("167772161"), a(10, 0, 0, 1));
    for (const char* bad : {"", "localhost", "1.2.3.4.5", "256.1.1.1", "1..2", "08.1.1.1", "1.2.3.",
                            " 1.2.3.4", "0x"})
        EXPECT_EQ(inet_addr(bad), INADDR_NONE) << bad;
    EXPECT_EQ(inet_addr("255.255.255.255"), INADDR_NONE);  // goes to the lookup
}

TEST(TextFunctions, DelimitedFieldAndDelimiterPos) {
    EXPECT_EQ(net::DelimitedField("HTTP/1.0 200 OK", ' ', 2), "200");
    EXPECT_EQ(net::DelimitedField("a,,b", ',', 2), "");
    EXPECT_EQ(net::DelimitedField("a,,b", ',', 3), "b");
    EXPECT_EQ(net::DelimitedField("a,b", ',', 5), "");
    EXPECT_EQ(net::DelimitedField("a,b", ',', 0), "");
    EXPECT_EQ(net::DelimitedField("", ',', 1), "");
    EXPECT_EQ(net::DelimitedField("http://host:80/x", '/', 3), "host:80");
    EXPECT_EQ(net::DelimiterPos("ab/cd/ef/gh", '/', 3), 9);
    EXPECT_EQ(net::DelimiterPos("ab/cd", '/', 3), 6);
    EXPECT_EQ(net::DelimiterPos("ab/cd/ef/", '/', 3), 9);
}

// ---- transfers ----

TEST(SocketTransfer, ReadLnOverLinesSplitAcrossPackets) {
    ScriptedServer server([](ScriptedServer::Peer& p) {
        p.Send("ab");
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        p.Send("c\r\nde");
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        p.Send(std::string("f\0g\n", 4));
        p.Drip("dripped\r\n");
        p.WaitUntilStopped();
    });
    TSocketClient c;
    Watchdog w(c);
    c.Host = "127.0.0.1";
    c.Port = server.port();
    c.Connect();
    EXPECT_EQ(c.ReadLn(), "abc\r\n");
    EXPECT_EQ(c.ReadLn(), std::string("def\0g\n", 6));
    EXPECT_EQ(c.ReadLn(), "dripped\r\n");
    EXPECT_EQ(c.IncomingBuffer().Size(), 0);
}

TEST(SocketTransfer, ReadLnEndsWhenThePeerClosesBeforeTheLine) {
    ScriptedServer server([](ScriptedServer::Peer& p) { p.Send("no line end"); });
    TSocketClient c;
    Trace t(c);
    Watchdog w(c);
    c.Host = "127.0.0.1";
    c.Port = server.port();
    c.Connect();
    EXPECT_EQ(What([&] { c.ReadLn(); }), "Connection closed by peer");
    std::string rest;
    c.CaptureString(rest, -1);
    EXPECT_EQ(rest, "no line end");  // what came before the close is kept
    EXPECT_EQ(t.Count("OnDisconnect"), 1);
}

TEST(SocketTransfer, CancelDuringReadLnLeavesCanceledSetSoWritesSendNothing) {
    ScriptedServer server([](ScriptedServer::Peer& p) { p.ReadUntil("never"); });
    TSocketClient c;
    Watchdog w(c);
    c.Host = "127.0.0.1";
    c.Port = server.port();
    c.Connect();
    CancelLater(c, 50);
    EXPECT_EQ(What([&] { c.ReadLn(); }), "Socket readln aborted");
    EXPECT_TRUE(c.Canceled);
    c.Write("dropped");
    c.Disconnect();
    server.Stop();
    EXPECT_EQ(server.Received(), "");
}

TEST(SocketTransfer, TransactionParsesTheReplyNumber) {
    ScriptedServer server([](ScriptedServer::Peer& p) {
        p.ReadUntil("\r\n");
        p.Send("250 OK\r\n");
        p.ReadUntil("\r\n");
        p.Send("OK\r\n");
        p.ReadUntil("\r\n");
        p.Send("99999 too big\r\n");
        p.WaitUntilStopped();
    });
    TSocketClient c;
    Trace t(c);
    Watchdog w(c);
    c.Host = "127.0.0.1";
    c.Port = server.port();
    c.ReportLevel = 1;
    c.Connect();
    EXPECT_EQ(c.Transaction("HELO"), "250 OK\r\n");
    EXPECT_EQ(c.ReplyNumber, 250);
    EXPECT_EQ(t.Count("status:250 OK\r\n"), 1);
    EXPECT_EQ(c.Transaction("NOOP"), "OK\r\n");
    EXPECT_EQ(c.ReplyNumber, 0);
    EXPECT_THROW(c.Transaction("BIG"), rtl::ERangeError);
}

TEST(SocketTransfer, CaptureStringToTheCloseAndBySize) {
    const std::string big(1 << 20, 'x');
    ScriptedServer server([&](ScriptedServer::Peer& p) {
        const std::string ask = p.ReadUntil("\n");
        if (ask == "size\n") {
            p.Send("0123456789abcdef");
            p.WaitUntilStopped();
        } else {
            p.Send(big);
        }
    });
    {
        TSocketClient c;
        Watchdog w(c);
        c.Host = "127.0.0.1";
        c.Port = server.port();
        c.Connect();
        c.Write("all\n");
        std::string text = "old";
        c.CaptureString(text, -1);
        EXPECT_EQ(text.size(), big.size());
        EXPECT_FALSE(c.Connected);
        c.CaptureString(text, -1);  // closed and nothing held: at once
        EXPECT_EQ(text, "");
        c.CaptureString(text, -5);
        EXPECT_EQ(text, "");
    }
    {
        TSocketClient c;
        Watchdog w(c);
        c.Host = "127.0.0.1";
        c.Port = server.port();
        c.Connect();
        c.Write("size\n");
        std::string text;
        c.CaptureString(text, 10);
        EXPECT_GE(text.size(), 10u);  // whole chunks: may be longer than asked
        EXPECT_EQ(text.substr(0, 10), "0123456789");
        CancelLater(c, 50);
        EXPECT_EQ(What([&] { c.CaptureString(text, 1000); }), "Socket capture aborted");
        EXPECT_FALSE(c.Canceled);
    }
}

TEST(SocketTransfer, CaptureFileAndSendFileOfEverySize) {
    testing_support::TempEnv env;
    for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{16383}, std::size_t{16384},
                             std::size_t{3 << 20}}) {
        std::string data(size, '\0');
        for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<char>(i * 7 + 3);
        const std::string out = env.root + "/sent.bin";
        env.WriteFile(out, data);
        std::string echoed;
        ScriptedServer server([&](ScriptedServer::Peer& p) { p.Send(p.ReadExactly(size)); });
        TSocketClient c;
        Watchdog w(c);
        c.Host = "127.0.0.1";
        c.Port = server.port();
        c.Connect();
        int packets = 0;
        c.OnPacketSent = [&](rtl::TComponent*) { ++packets; };
        c.SendFile(out);
        EXPECT_EQ(c.BytesTotal, static_cast<std::int32_t>(size));
        EXPECT_EQ(c.BytesSent, static_cast<std::int32_t>(size));
        EXPECT_EQ(packets, static_cast<int>((size + 16382) / 16383));
        const std::string in = env.root + "/received.bin";
        c.CaptureFile(in);  // everything until the server closes
        EXPECT_EQ(c.BytesReceived, static_cast<std::int32_t>(size));
        EXPECT_EQ(env.ReadFile(in), data) << size;
        EXPECT_FALSE(c.FileMode);
        EXPECT_FALSE(c.Capturing);
        server.Stop();
    }
    TSocketClient c;
    EXPECT_THROW(c.SendFile(env.root + "/missing"), rtl::EInOutError);
    EXPECT_FALSE(c.FileMode);
    EXPECT_THROW(c.CaptureFile(env.root + "/no/such/dir/file"), rtl::EInOutError);
}

TEST(SocketTransfer, LongTextsAreSentWholeUnderBackPressure) {
    const std::string text(8 << 20, 'w');
    std::atomic<std::size_t> got{0};
    ScriptedServer server([&](ScriptedServer::Peer& p) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));  // let the socket fill up
        char buf[1 << 16];
        for (ssize_t n; (n = ::recv(p.fd(), buf, sizeof buf, 0)) > 0;)
            got += static_cast<std::size_t>(n);
    });
    TSocketClient c;
    Watchdog w(c);
    c.Host = "127.0.0.1";
    c.Port = server.port();
    c.Connect();
    c.Write("");                          // nothing to send: returns at once
    c.Write(std::string("\0hidden", 7));  // up to the first NUL: nothing either
    c.Writeln(text);
    c.Write(std::string(20000, 'z'));
    // Sent means handed to the system; the close resets at once, so wait for the peer first.
    const std::size_t want = text.size() + 2 + 20000;
    for (int i = 0; i < 2000 && got < want; ++i) {
        platform::ProcessMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    c.Disconnect();
    server.Stop();
    EXPECT_EQ(got.load(), want);
}

TEST(SocketTransfer, CancelDuringASendThatCannotProceed) {
    ScriptedServer server([](ScriptedServer::Peer& p) { p.WaitUntilStopped(); });  // never reads
    TSocketClient c;
    Watchdog w(c);
    c.Host = "127.0.0.1";
    c.Port = server.port();
    c.Connect();
    CancelLater(c, 200);
    EXPECT_EQ(What([&] { c.Write(std::string(64 << 20, 's')); }), "Socket send aborted");
    EXPECT_FALSE(c.Canceled);
}

// With TimeOut set, a send to a peer that takes nothing ends by the time-out; a slow peer that
// keeps taking data does not, since the time-out counts silence.
TEST(SocketTransfer, SendsHonourTheTimeOut) {
    testing_support::TempEnv env;
    ScriptedServer silent([](ScriptedServer::Peer& p) { p.WaitUntilStopped(); });  // never reads
    TSocketClient c;
    Watchdog w(c);
    c.Host = "127.0.0.1";
    c.Port = silent.port();
    c.TimeOut = 400;
    c.Connect();
    EXPECT_EQ(What([&] { c.Write(std::string(64 << 20, 's')); }), "Send Timed out");
    EXPECT_FALSE(c.Canceled);
    const std::string big = env.root + "/big";
    std::ofstream(big, std::ios::binary) << std::string(64 << 20, 'f');
    EXPECT_EQ(What([&] { c.SendFile(big); }), "Send Timed out");
    c.Disconnect();
    silent.Stop();

    std::atomic<std::size_t> got{0};
    ScriptedServer slow([&](ScriptedServer::Peer& p) {
        char buf[1 << 16];
        for (ssize_t n; (n = ::recv(p.fd(), buf, sizeof buf, 0)) > 0;) {
            got += static_cast<std::size_t>(n);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    c.Port = slow.port();
    c.Connect();
    const std::string text(8 << 20, 't');
    EXPECT_EQ(What([&] { c.Write(text); }), "(nothing raised)");
    for (int i = 0; i < 2000 && got < text.size(); ++i) {
        platform::ProcessMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    c.Disconnect();
    slow.Stop();
    EXPECT_EQ(got.load(), text.size());
}

TEST(SocketTransfer, APeerThatResetsEndsCaptureAndReadsCountExactly) {
    ScriptedServer server([](ScriptedServer::Peer& p) {
        p.Send("partial");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        p.Reset();
    });
    TSocketClient c;
    Trace t(c);
    Watchdog w(c);
    int data = 0;
    c.OnDataAvailable = [&](rtl::TComponent*) { ++data; };
    c.Host = "127.0.0.1";
    c.Port = server.port();
    c.Connect();
    std::string text;
    c.CaptureString(text, -1);
    EXPECT_EQ(text, "partial");
    EXPECT_EQ(t.Count("OnDisconnect"), 1);
    EXPECT_GE(data, 1);
}

TEST(SocketAccept, CanceledAndFailedWaits) {
    TSocketClient c;
    Watchdog w(c);
    CancelLater(c, 30);
    EXPECT_EQ(What([&] { c.Accept(); }), "Accepting Canceled");
    c.Host = std::string(200, 'x');  // a lookup that fails at once
    c.Canceled = false;
    EXPECT_EQ(What([&] { c.Connect(); }), "Null Remote Address");
    EXPECT_EQ(What([&] { c.Accept(); }), "Error creating Data Connection");
}

TEST(SocketLibrary, ASocketThatCannotBeCreatedFailsTheConstruction) {
    const int users = TSocketClient::WinsockUsers();
    const int sockets = platform::winsock::OpenSocketCount();
    platform::winsock::FailSocketsForTesting(1);  // as when no descriptor is left
    std::string what;
    try {
        TSocketClient c;
    } catch (const ESockError& e) {
        what = e.what();
    }
    EXPECT_EQ(what, "Initializaton of windows sockets failed");
    EXPECT_EQ(TSocketClient::WinsockUsers(), users);
    EXPECT_EQ(platform::winsock::OpenSocketCount(), sockets);
    TSocketClient works;  // the next one is fine
    EXPECT_NE(works.SocketHandle, platform::winsock::INVALID_SOCKET);
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);  // an event loop is all the network client needs
    return RUN_ALL_TESTS();
}
