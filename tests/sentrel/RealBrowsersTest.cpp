// Real browsers from Debian at a blocked hour, as a child would try them: each installed one, a
// copy of its installation in the child's home with the executable renamed, and that copy through
// a symbolic link, all stopped; programs that embed an engine but are no browsers (Yelp,
// Thunderbird) run on. Once with the session guard, once with the system service. Every program
// runs as a throwaway user, on a virtual display, without a network. A browser that is not
// installed is skipped with a message.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <sstream>
#include <thread>

#include "lib/store/ValueNames.h"
#include "tests/support/GuardUser.h"
#include "tests/support/ServiceProcess.h"
#include "tests/support/Signal.h"
#include "tests/support/TempEnv.h"
#include "tests/support/Wait.h"

namespace fs = std::filesystem;
using testing_support::GuardUser;
using testing_support::Running;
using testing_support::WaitForEnd;

namespace {

constexpr int kStopMs = 15000;  // generous for a loaded machine; the benchmark measures speed

using Args =
    std::function<std::vector<std::string>(const std::string& home, const std::string& tag)>;

struct Browser {
    std::string package;    // the Debian package
    std::string installed;  // its executable
    bool directory;         // a copy takes the executable's whole directory, or the file alone
    std::string name;       // the log's name for the installed one
    std::string copyName;   // ... and for a copy (an exact one), before " (a copy in ...)"
    Args args;
};

std::vector<Browser> Browsers() {
    return {
        {"firefox-esr", "/usr/lib/firefox-esr/firefox-esr", true, "firefox", "firefox",
         [](const std::string& home, const std::string& tag) {
             return std::vector<std::string>{"--headless", "--no-remote", "--profile",
                                             home + "/ff-" + tag, "about:blank"};
         }},
        {"chromium", "/usr/lib/chromium/chromium", true, "chromium", "chromium",
         [](const std::string& home, const std::string& tag) {
             return std::vector<std::string>{"--headless=new", "--no-sandbox",
                                             "--user-data-dir=" + home + "/ch-" + tag,
                                             "about:blank"};
         }},
        {"epiphany-browser", "/usr/bin/epiphany", false, "epiphany", "epiphany",
         [](const std::string&, const std::string&) {
             return std::vector<std::string>{"--private-instance", "about:blank"};
         }},
        {"falkon", "/usr/bin/falkon", false, "falkon", "falkon",
         [](const std::string&, const std::string&) {
             return std::vector<std::string>{"--no-remote", "--private-browsing", "about:blank"};
         }},
    };
}

// A virtual display any local user may draw on (-ac), for the browsers that need one.
class Display {
  public:
    Display() {
        int fds[2];
        if (::pipe(fds) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-ac", "-nolisten", "tcp",
                     "-noreset", "-screen", "0", "1024x768x24", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        // The number, then a newline, maybe in two writes: the pipe stays open until both are
        // read (Xvfb ends when it cannot write them).
        std::string number;
        char c = 0;
        while (::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        ::close(fds[0]);
        if (c == '\n' && !number.empty()) name = ":" + number;
    }
    ~Display() {
        if (pid_ <= 0) return;
        testing_support::Signal(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
    std::string name;  // ":N", or "" when Xvfb did not start

  private:
    pid_t pid_ = -1;
};

// Whether a line of the log says `name` was stopped, within 5 s (the line follows the stop).
bool Stopped(const std::function<std::string()>& log, const std::string& name) {
    for (int i = 0; i < 250; ++i) {
        if (log().find("Stopped " + name + " (pid ") != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

class RealBrowsers : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!GuardUser::Possible()) GTEST_SKIP() << "needs root to create a throwaway user";
        for (Browser& b : Browsers()) {
            if (fs::exists(b.installed))
                present.push_back(std::move(b));
            else
                std::cout << "skipped: " << b.package << " is not installed (" << b.installed
                          << ")\n";
        }
        if (present.empty()) GTEST_SKIP() << "no real browser is installed";
        ASSERT_FALSE(display.name.empty()) << "Xvfb did not start";
        user = std::make_unique<GuardUser>();
        for (const Browser& b : present) Copy(b);
        // The session's bus, for the GTK programs.
        const std::string bus = user->runtime + "/bus";
        user->Spawn(
            {"/usr/bin/dbus-daemon", "--session", "--nofork", "--address=unix:path=" + bus});
        for (int i = 0; i < 500 && !fs::exists(bus); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        env = {"DISPLAY=" + display.name, "DBUS_SESSION_BUS_ADDRESS=unix:path=" + bus,
               "NO_AT_BRIDGE=1", "QTWEBENGINE_DISABLE_SANDBOX=1"};
    }

    // The child's copy of `b`: its directory (or executable) in the home, the executable renamed
    // "notes", and a link to that.
    void Copy(const Browser& b) {
        const fs::path dir = fs::path(user->home) / ("copy-" + b.name);
        const fs::path from = fs::path(b.installed);
        if (b.directory) {
            fs::copy(from.parent_path(), dir, fs::copy_options::recursive);
            fs::rename(dir / from.filename(), dir / "notes");
        } else {
            fs::create_directories(dir);
            fs::copy_file(from, dir / "notes");
        }
        fs::create_symlink(dir / "notes", fs::path(user->home) / ("link-" + b.name));
        const std::string chown =
            "chown -R " + user->name + " " + dir.string() + " " + user->home + "/link-" + b.name;
        ASSERT_EQ(std::system(chown.c_str()), 0);
    }
    std::string CopyOf(const Browser& b) const { return user->home + "/copy-" + b.name + "/notes"; }

    pid_t Start(const std::string& exe, const std::vector<std::string>& args) {
        std::vector<std::string> argv{exe};
        argv.insert(argv.end(), args.begin(), args.end());
        return user->SpawnOffline(argv, env);
    }

    // Starts the programs that must run on, then every browser, the installed one, its copy and
    // the link at once; each must end within kStopMs, and `log` name it. Then the others still
    // run and were never named.
    void StopsEveryBrowserAndNothingElse(const std::function<std::string()>& log) {
        std::vector<std::pair<std::string, pid_t>> others;
        if (fs::exists("/usr/bin/yelp"))
            others.emplace_back("yelp", Start("/usr/bin/yelp", {}));
        else
            std::cout << "skipped: yelp is not installed\n";
        pid_t mail = 0;
        if (fs::exists("/usr/bin/thunderbird")) {
            // As its menu entry starts it (the package's launcher script), on a first start: it
            // makes its profile and shows its account set-up in content processes of its own
            // (sandboxed, each in an empty root of its own).
            mail = Start("/usr/bin/thunderbird", {"--headless"});
            others.emplace_back("thunderbird", mail);
        } else {
            std::cout << "skipped: thunderbird is not installed\n";
        }
        for (const Browser& b : present) {
            const auto started = std::chrono::steady_clock::now();
            const std::string copy = CopyOf(b), link = user->home + "/link-" + b.name;
            const std::vector<std::pair<std::string, pid_t>> runs{
                {"installed", Start(b.installed, b.args(user->home, "installed"))},
                {"copy", Start(copy, b.args(user->home, "copy"))},
                {"link", Start(link, b.args(user->home, "link"))}};
            for (const auto& [what, pid] : runs) {
                EXPECT_TRUE(WaitForEnd(pid, kStopMs)) << b.package << " (" << what << ") runs on\n"
                                                      << log();
                std::cout << b.package << " (" << what << ") ended after "
                          << std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - started)
                                 .count()
                          << " ms\n";
            }
            EXPECT_TRUE(Stopped(log, b.name)) << b.package << "\n" << log();
            EXPECT_TRUE(Stopped(log, b.copyName + " (a copy in " + copy + ")")) << b.package << "\n"
                                                                                << log();
        }
        // Thunderbird's content processes, judged too.
        if (mail != 0) {
            const bool content = testing_support::Eventually(
                [&] {
                    return testing_support::Run("pgrep -u " + user->name + " -f -- -contentproc")
                               .size() > 0;
                },
                30000);
            if (!content) std::cout << "thunderbird made no content process\n";
        }
        // Some scans later (they had started before every browser, so they were judged).
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        const std::string text = log();
        for (const auto& [name, pid] : others) {
            EXPECT_TRUE(Running(pid)) << name << " was stopped or ended\n"
                                      << text << "\nwhat the programs wrote:\n"
                                      << user->ProgramsOutput();
            EXPECT_EQ(text.find(name), std::string::npos) << text;
        }
    }

    std::vector<Browser> present;
    Display display;
    std::unique_ptr<GuardUser> user;
    std::vector<std::string> env;
};

TEST_F(RealBrowsers, TheSessionGuardStopsEachAndItsRenamedCopies) {
    user->Set(store::kNeedJob, "Yes");
    testing_support::SetCurrentHours(*user, "0");
    user->StartGuard();
    ASSERT_TRUE(user->WaitForLog("Settings read:")) << user->Log();
    StopsEveryBrowserAndNothingElse([this] { return user->Log(); });
}

TEST_F(RealBrowsers, TheServiceStopsEachAndItsRenamedCopies) {
    testing_support::ServiceProcess service(user->MemberGroup(), {});
    ASSERT_TRUE(service.started());
    ASSERT_TRUE(service.Seal(user->uid, "0"));
    ASSERT_TRUE(service.Reread(user->name));
    StopsEveryBrowserAndNothingElse([&service] { return service.LogText(); });
}

}  // namespace
