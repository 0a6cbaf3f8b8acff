// THttpClient against a real HTTP server that no one here wrote: Python's http.server on
// 127.0.0.1, serving a temporary directory.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>

#include <filesystem>

#include "lib/net/HttpClient.h"
#include "tests/lib/net/ScriptedServer.h"
#include "tests/support/Signal.h"
#include "tests/support/TempEnv.h"

namespace {

class PythonHttpServer : public ::testing::Test {
  protected:
    testing_support::TempEnv env;
    std::string site = env.root + "/site";
    int port = 0;
    pid_t pid = -1;

    void SetUp() override {
        std::filesystem::create_directories(site + "/dir");
        env.WriteFile(site + "/small.txt", "small page\n");
        std::string big(5 << 20, '\0');
        for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i % 251);
        env.WriteFile(site + "/big.bin", big);
        env.WriteFile(site + "/dir/index.html", "<p>inside</p>");
        // Python's own server and handler, accepting on the socket this test already listens on.
        const char* serve =
            "import functools, http.server, socket, sys\n"
            "handler = functools.partial(http.server.SimpleHTTPRequestHandler, "
            "directory=sys.argv[1])\n"
            "server = http.server.HTTPServer(('127.0.0.1', 0), handler, bind_and_activate=False)\n"
            "server.socket.close()\n"
            "server.socket = socket.socket(fileno=3)\n"
            "server.serve_forever()\n";
        pid = testing_support::StartServerOn(testing_support::ListenOnLoopback(16, &port),
                                             {"python3", "-c", serve, site});
    }
    void TearDown() override {
        if (pid > 0) {
            testing_support::Signal(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port) + path;
    }
};

}  // namespace

TEST_F(PythonHttpServer, GetInStringAndFileModeOfSmallAndLargeFiles) {
    net::THttpClient c;
    c.TimeOut = 20000;
    c.Get(Url("/small.txt"));
    EXPECT_EQ(c.ReplyNumber, 200);
    EXPECT_EQ(c.Body, "small page\n");
    EXPECT_EQ(c.BytesTotal, 11);
    c.Get(Url("/big.bin"));
    EXPECT_EQ(c.Body, env.ReadFile(site + "/big.bin"));
    c.InputFileMode = true;
    c.Body = env.root + "/big.copy";
    c.Get(Url("/big.bin"));
    EXPECT_EQ(env.ReadFile(env.root + "/big.copy"), env.ReadFile(site + "/big.bin"));
    EXPECT_EQ(c.BytesTotal, 5 << 20);
}

TEST_F(PythonHttpServer, NotFoundAndARedirectToTheDirectory) {
    net::THttpClient c;
    c.TimeOut = 20000;
    int failures = 0;
    c.OnFailure = [&](net::CmdType) { ++failures; };
    c.Get(Url("/nothing-here"));
    EXPECT_EQ(c.ReplyNumber, 404);
    EXPECT_EQ(failures, 1);
    EXPECT_NE(c.Body.find("404"), std::string::npos);
    c.Get(Url("/dir"));  // answered with 301 to /dir/
    EXPECT_EQ(c.ReplyNumber, 200);
    EXPECT_EQ(c.Body, "<p>inside</p>");
    EXPECT_EQ(c.RequestURL, "/dir/");
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
