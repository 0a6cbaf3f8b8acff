// THttpClient against scripted loopback servers: the exact request, the URL split, proxies,
// authentication, cookies and redirects, error statuses, odd replies, and servers that drip,
// stall or close early.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

#include "lib/net/HttpClient.h"
#include "tests/lib/net/ScriptedServer.h"
#include "tests/support/TempEnv.h"

using net::THttpClient;
using testing_support::ScriptedServer;
using testing_support::What;

namespace {

// A server that answers each connection with the next reply of `replies` (the last one
// repeats), recording every request.
struct Site {
    std::vector<std::string> replies;
    std::atomic<int> served{0};
    ScriptedServer server;
    explicit Site(std::vector<std::string> r)
        : replies(std::move(r)), server([this](ScriptedServer::Peer& p) {
              const std::string request = p.ReadUntil("\r\n\r\n");
              // A declared body is read (and recorded) before the reply.
              const auto length = request.find("Content-Length: ");
              const auto end = request.find("\r\n\r\n");
              if (length != std::string::npos && end != std::string::npos) {
                  const std::size_t want = std::stoul(request.substr(length + 16));
                  const std::size_t have = request.size() - end - 4;
                  if (want > have) p.server()->Record(p.ReadExactly(want - have));
              }
              const int n = served++;
              p.Send(
                  replies[std::min<std::size_t>(static_cast<std::size_t>(n), replies.size() - 1)]);
          }) {}
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(server.port()) + path;
    }
    std::vector<std::string> Requests() {
        server.Stop();
        std::vector<std::string> out;
        const std::string all = server.Received();
        for (std::size_t at = 0; at < all.size();) {
            const std::size_t end = all.find("\r\n\r\n", at);
            if (end == std::string::npos) {
                out.push_back(all.substr(at));
                break;
            }
            out.push_back(all.substr(at, end + 4 - at));
            at = end + 4;
        }
        return out;
    }
};

std::string Ok(const std::string& body, const std::string& extra = "") {
    return "HTTP/1.0 200 OK\r\n" + extra + "Content-Length: " + std::to_string(body.size()) +
           "\r\n\r\n" + body;
}

struct Client : THttpClient {
    std::vector<std::string> events;
    Client() {
        OnSuccess = [this](net::CmdType c) { events.push_back("OnSuccess " + std::to_string(c)); };
        OnFailure = [this](net::CmdType c) { events.push_back("OnFailure " + std::to_string(c)); };
        OnAboutToSend = [this](rtl::TComponent*) { events.push_back("OnAboutToSend"); };
        OnAuthenticationNeeded = [this](rtl::TComponent*) {
            events.push_back("OnAuthenticationNeeded");
        };
        QTimer::singleShot(30000, [this] { Cancel(); });  // watchdog
    }
};

}  // namespace

TEST(HttpRequest, TheUpdateCheckersRequestByteForByte) {
    Site site({Ok("Yes you connected.")});
    Client c;
    c.HeaderInfo.LocalMailAddress = "Veltrix v1.0";
    c.HeaderInfo.LocalProgram = "Veltrix v1.0";
    c.HeaderInfo.Referer = "Veltrix v1.0";
    c.Get(site.Url("/english/veltrix/conect.html"));
    EXPECT_EQ(c.Body, "Yes you connected.");
    EXPECT_EQ(c.ReplyNumber, 200);
    EXPECT_EQ(c.BytesTotal, 18);
    EXPECT_EQ(c.Header, "HTTP/1.0 200 OK\r\nContent-Length: 18\r\n\r\n");
    EXPECT_EQ(c.events, (std::vector<std::string>{"OnAboutToSend", "OnSuccess 0"}));
    const auto requests = site.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0],
              "GET /english/veltrix/conect.html HTTP/1.0\r\n"
              "Host: 127.0.0.1\r\n"
              "Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff\r\n"
              "Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript\r\n"
              "User-Agent: Veltrix v1.0\r\n"
              "From: Veltrix v1.0\r\n"
              "Referer: Veltrix v1.0\r\n"
              "Content-type: application/x-www-form-urlencoded\r\n"
              "\r\n");
    EXPECT_EQ(c.PendingCommand, net::cmdGet);
}

TEST(HttpRequest, TheUrlSplitOfEveryExample) {
    THttpClient c;
    struct Case {
        std::string url, host;
        int port;
        std::string path, urlAfter;
    };
    for (const Case& k : std::vector<Case>{
             {"http://host:8080/a/b.html", "host", 8080, "/a/b.html", "http://host:8080/a/b.html"},
             {"http://host", "host", 80, "/", "http://host/"},
             {"http://host/", "host", 80, "/", "http://host/"},
             {"host/x", "host", 80, "/x", "host/x"},
             {"/x", "host", 80, "/x", "/x"},
             {"gopher://g.example/1", "g.example", 70, "/1", "gopher://g.example/1"},
             {"FTP://f.example", "f.example", 21, "/", "FTP://f.example/"},
             {"other", "other", 21, "/", "other/"}}) {
        c.RequestURL = k.url;
        c.SplitURL();
        EXPECT_EQ(c.Host, k.host) << k.url;
        EXPECT_EQ(c.Port, k.port) << k.url;
        EXPECT_EQ(c.RequestPath, k.path) << k.url;
        EXPECT_EQ(c.RequestURL, k.urlAfter) << k.url;
    }
    c.RequestURL = "http://host:ab/x";
    EXPECT_EQ(What([&] { c.SplitURL(); }), "'ab' is not a valid integer value");
    c.RequestURL = "http://host:/x";
    EXPECT_EQ(What([&] { c.SplitURL(); }), "'' is not a valid integer value");
    c.RequestURL = "http://h/" + std::string(400, 'p');
    c.SplitURL();
    EXPECT_EQ(c.RequestPath.size(), 256u);
    Client e;
    EXPECT_EQ(What([&] { e.Get(""); }), "Empty URL");
    EXPECT_TRUE(e.events.empty());
}

TEST(HttpRequest, ThroughAProxyTheWholeUrlIsTheTarget) {
    Site proxy({Ok("via proxy")});
    Client c;
    c.Proxy = "127.0.0.1";
    c.ProxyPort = proxy.server.port();
    c.Get("http://" + std::string("example.invalid") + "/x");
    EXPECT_EQ(c.Body, "via proxy");
    const auto requests = proxy.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].substr(0, requests[0].find("Accept")),
              "GET http://example.invalid/x HTTP/1.0\r\nProxy-Connection: Keep-Alive\r\n"
              "Host: example.invalid\r\n");
}

TEST(HttpRequest, BasicAuthenticationOnOneLineOnlyWithBothValues) {
    Site site({Ok("a"), Ok("b"), Ok("c")});
    Client c;
    c.HeaderInfo.UserId = "user";
    c.Get(site.Url("/1"));
    c.HeaderInfo.UserId.clear();
    c.HeaderInfo.Password = "pass";
    c.Get(site.Url("/2"));
    c.HeaderInfo.UserId = std::string(100, 'u');
    c.Get(site.Url("/3"));
    const auto r = site.Requests();
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0].find("Authorization"), std::string::npos);
    EXPECT_EQ(r[1].find("Authorization"), std::string::npos);
    const auto at = r[2].find("Authorization: Basic ");
    ASSERT_NE(at, std::string::npos);
    const std::string line = r[2].substr(at, r[2].find("\r\n", at) - at);
    EXPECT_EQ(line.size(), std::string("Authorization: Basic ").size() + 140);  // 105 bytes
    EXPECT_EQ(line.substr(21, 8), "dXV1dXV1");
}

TEST(HttpRedirect, CookiesFromARedirectAndPathsAndBareNames) {
    Site site({"HTTP/1.0 302 Found\r\nSet-Cookie: id=42; path=/\r\nLocation: /new\r\n\r\nmoved",
               "HTTP/1.0 302 Found\r\nLocation: next.html\r\n\r\n",
               Ok("final", "Set-Cookie: other=1\r\n")});
    Client c;
    c.Get(site.Url("/old"));
    EXPECT_EQ(c.Body, "final");
    EXPECT_EQ(c.HeaderInfo.Cookie, "id=42; path=/");  // only a redirect's cookie is taken
    EXPECT_EQ(c.ReplyCookie, "other=1");
    const auto r = site.Requests();
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0].substr(0, 21), "GET /old HTTP/1.0\r\nHo");
    EXPECT_EQ(r[0].find("Cookie"), std::string::npos);
    EXPECT_EQ(r[1].substr(0, 19), "GET /new HTTP/1.0\r\n");
    EXPECT_NE(r[1].find("\r\nCookie: id=42; path=/\r\n"), std::string::npos);
    EXPECT_EQ(r[2].substr(0, 25), "GET /next.html HTTP/1.0\r\n");
    EXPECT_EQ(c.events, (std::vector<std::string>{"OnAboutToSend", "OnAboutToSend", "OnAboutToSend",
                                                  "OnSuccess 0"}));
}

TEST(HttpRedirect, AHandlerStopsTheChainAndTheChainIsBounded) {
    {
        Site site({"HTTP/1.0 301 Moved\r\nLocation: /elsewhere\r\n\r\nthe 301 body"});
        Client c;
        int asked = 0;
        c.OnRedirect = [&](bool& handled) {
            ++asked;
            handled = true;
        };
        c.Get(site.Url("/"));
        EXPECT_EQ(asked, 1);
        EXPECT_EQ(c.Body, "the 301 body");
        EXPECT_EQ(c.ReplyNumber, 301);
        EXPECT_EQ(site.Requests().size(), 1u);
    }
    {
        Site site({"HTTP/1.0 302 Found\r\nLocation: /again\r\n\r\n"});
        Client c;
        c.Get(site.Url("/"));
        EXPECT_EQ(site.Requests().size(), static_cast<std::size_t>(THttpClient::kMaxPasses));
    }
    {
        Site site({"HTTP/1.0 303 See Other\r\n\r\nno location"});
        Client c;
        c.Get(site.Url("/"));
        EXPECT_EQ(site.Requests().size(), 1u);
        EXPECT_EQ(c.Body, "no location");
    }
}

TEST(HttpStatus, ErrorStatusesAreEventsNotExceptions) {
    Site site({"HTTP/1.0 404 Not Found\r\n\r\n<h1>missing</h1>",
               "HTTP/1.0 401 Unauthorized\r\n\r\n", "HTTP/1.0 OK\r\n\r\nno number"});
    Client c;
    c.Get(site.Url("/missing"));
    EXPECT_EQ(c.ReplyNumber, 404);
    EXPECT_EQ(c.Body, "<h1>missing</h1>");
    c.Get(site.Url("/secret"));
    EXPECT_EQ(c.ReplyNumber, 401);
    c.Get(site.Url("/odd"));
    EXPECT_EQ(c.ReplyNumber, 0);  // no number: counts as success
    EXPECT_EQ(c.events, (std::vector<std::string>{"OnAboutToSend", "OnFailure 0", "OnAboutToSend",
                                                  "OnFailure 0", "OnAuthenticationNeeded",
                                                  "OnAboutToSend", "OnSuccess 0"}));
}

TEST(HttpReply, BodiesAreReadToTheCloseWhateverTheLengthSays) {
    const std::string nul("a\0b\0c", 5);
    Site site({"HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\n01234567890123456789",
               "HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\nshort",
               "HTTP/1.0 200 OK\nX-Lf-Only: yes\ncontent-length:  7\n\n" + nul,
               "HTTP/1.0 200 OK\r\nX-Big: " + std::string(64 << 10, 'h') + "\r\n\r\nafter"});
    Client c;
    c.Get(site.Url("/1"));
    EXPECT_EQ(c.Body, "01234567890123456789");
    EXPECT_EQ(c.BytesTotal, 10);
    c.Get(site.Url("/2"));
    EXPECT_EQ(c.Body, "short");
    EXPECT_EQ(c.BytesTotal, 100);
    c.Get(site.Url("/3"));
    EXPECT_EQ(c.Body, nul);
    EXPECT_EQ(c.BytesTotal, 7);  // any letter case; the first digits after the colon
    EXPECT_EQ(c.Header, "HTTP/1.0 200 OK\nX-Lf-Only: yes\ncontent-length:  7\n\n");
    c.Get(site.Url("/4"));
    EXPECT_EQ(c.Body, "after");
    EXPECT_GT(c.Header.size(), 64u << 10);
}

// A lying length must not reserve memory the body never fills (2 GB used to throw bad_alloc
// under a memory limit).
TEST(HttpReply, AnAnnouncedLengthReservesNoMoreThanTheCap) {
    Site site({"HTTP/1.0 200 OK\r\nContent-Length: 2147483647\r\n\r\nabc"});
    Client c;
    c.Get(site.Url("/"));
    EXPECT_EQ(c.Body, "abc");
    EXPECT_EQ(c.BytesTotal, 2147483647);
    EXPECT_LE(c.Body.capacity(), static_cast<std::size_t>(THttpClient::kMaxReserve));
}

TEST(HttpReply, AReplyThatDripsOneByteAtATime) {
    ScriptedServer server([](ScriptedServer::Peer& p) {
        p.ReadUntil("\r\n\r\n");
        p.Drip(Ok("dripped body"), 100);
    });
    Client c;
    c.Get("http://127.0.0.1:" + std::to_string(server.port()) + "/");
    EXPECT_EQ(c.Body, "dripped body");
    EXPECT_EQ(c.ReplyNumber, 200);
}

TEST(HttpReply, AServerThatStallsOrClosesEarlyEndsTheCall) {
    ScriptedServer silent([](ScriptedServer::Peer& p) {
        const std::string request = p.ReadUntil("\r\n\r\n");
        if (request.find("/body") != std::string::npos)
            p.Send("HTTP/1.0 200 OK\r\n\r\nstart of body");
        if (request.find("/early") != std::string::npos) {
            p.Send("HTTP/1.0 200 OK\r\nX-Half: ");
            return;  // closes before the blank line
        }
        p.WaitUntilStopped();
    });
    const std::string base = "http://127.0.0.1:" + std::to_string(silent.port());
    Client c;
    c.TimeOut = 800;
    EXPECT_EQ(What([&] { c.Get(base + "/header"); }), "Reply Timed out");
    EXPECT_FALSE(c.Connected);
    EXPECT_EQ(What([&] { c.Get(base + "/body"); }), "Reply Timed out");
    EXPECT_EQ(What([&] { c.Get(base + "/early"); }), "Connection closed by peer");
    EXPECT_EQ(c.events,
              (std::vector<std::string>{"OnAboutToSend", "OnAboutToSend", "OnAboutToSend"}));
    silent.Stop();
}

TEST(HttpRequest, BodiesLengthsAndRequestWordsOfTheOtherOperations) {
    Site site({"HTTP/1.0 302 Found\r\nLocation: /done\r\n\r\n", Ok("posted"), Ok("x")});
    Client c;
    c.Post(site.Url("/form"), "a=1%2B1&b=two+words");
    EXPECT_EQ(c.Body, "posted");
    c.Link(site.Url("/l"), "<http://127.0.0.1/other>");
    c.Search(site.Url("/s"), std::string("q\0r", 3));
    const auto r = site.Requests();
    ASSERT_EQ(r.size(), 5u);
    EXPECT_EQ(r[0].substr(0, 20), "POST /form HTTP/1.0\r");
    EXPECT_NE(r[0].find("Content-Length: 19\r\n"), std::string::npos);
    EXPECT_EQ(r[1].substr(0, 19), "a=1%2B1&b=two+words");  // the data as given, after the header
    EXPECT_EQ(r[1].substr(19, 20), "GET /done HTTP/1.0\r\n");  // the redirect is a plain GET
    EXPECT_EQ(r[1].find("Content-Length"), std::string::npos);
    EXPECT_EQ(r[2].substr(0, 17), "LINK /l HTTP/1.0\r");
    EXPECT_NE(r[2].find("Link: <http://127.0.0.1/other>\r\n"), std::string::npos);
    EXPECT_EQ(r[2].find("Content-Length"), std::string::npos);
    EXPECT_EQ(r[3].substr(0, 19), "SEARCH /s HTTP/1.0\r");
    EXPECT_NE(r[3].find("Content-Length: 3\r\n"), std::string::npos);
    // OnSuccess names the command that was sent.
    EXPECT_EQ(c.events[1], "OnAboutToSend");
    EXPECT_NE(std::find(c.events.begin(), c.events.end(), "OnSuccess 9"), c.events.end());
    EXPECT_NE(std::find(c.events.begin(), c.events.end(), "OnSuccess 12"), c.events.end());
}

TEST(HttpFiles, FileModeWritesBodyAndHeaderAndSendsDataFromAFile) {
    testing_support::TempEnv env;
    const std::string big(3 << 20, 'B');
    Site site({Ok(big), Ok("put done")});
    Client c;
    c.InputFileMode = true;
    c.OutputFileMode = true;
    c.Body = env.root + "/body.bin";
    c.Header = env.root + "/head.txt";
    c.Get(site.Url("/big"));
    EXPECT_EQ(env.ReadFile(c.Body), big);
    EXPECT_EQ(env.ReadFile(c.Header), "HTTP/1.0 200 OK\r\nContent-Length: 3145728\r\n\r\n");
    env.WriteFile(env.root + "/data.bin", std::string("d\0ta", 4));
    c.Put(site.Url("/up"), env.root + "/data.bin");
    EXPECT_EQ(env.ReadFile(c.Body), "put done");
    c.Body = env.root + "/no/such/dir/body";
    EXPECT_THROW(c.Get(site.Url("/x")), rtl::EInOutError);
    EXPECT_FALSE(c.Connected);
    c.OutputFileMode = true;
    EXPECT_THROW(c.Put(site.Url("/up"), env.root + "/missing.bin"), rtl::EInOutError);
    const auto r = site.Requests();
    ASSERT_GE(r.size(), 3u);
    EXPECT_NE(r[1].find("Content-Length: 4\r\n"), std::string::npos);
    EXPECT_EQ(r[2].substr(0, 4), std::string("d\0ta", 4));
}

TEST(HeaderList, IndexOfHeaderAndSetHeaderSortedAndUnsorted) {
    net::TExStringList list;
    list.Add("no colon here");
    list.Add("Host: a");
    list.Add("accept: b");
    EXPECT_EQ(list.IndexOfHeader("HOST"), 1);
    EXPECT_EQ(list.IndexOfHeader("Accept"), 2);
    EXPECT_EQ(list.IndexOfHeader("no colon here"), -1);
    list.SetHeader("host", "c");
    EXPECT_EQ(list.Strings[1], "host: c");
    list.SetHeader("Cookie", "d");
    EXPECT_EQ(list.Strings.back(), "Cookie: d");
    list.SetHeader("Accept", "");
    EXPECT_EQ(list.Count(), 3);
    list.SetHeader("Missing", "");
    EXPECT_EQ(list.Count(), 3);

    net::TExStringList sorted;
    sorted.Sorted = true;
    EXPECT_EQ(sorted.IndexOfHeader("x"), -1);
    for (const char* line : {"A: 1", "B: 2", "C: 3", "D: 4", "E: 5"}) sorted.Add(line);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(sorted.IndexOfHeader(std::string(1, static_cast<char>('a' + i))), i);
    EXPECT_EQ(sorted.IndexOfHeader("F"), -1);
    EXPECT_EQ(sorted.IndexOfHeader("0"), -1);
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
