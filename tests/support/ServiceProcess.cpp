#include "tests/support/ServiceProcess.h"
#include "tests/support/ProcessGroup.h"
#include "tests/support/Signal.h"

#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "lib/password/PasswordHash.h"
#include "lib/store/ValueNames.h"
#include "veltrixd/SealedStore.h"

namespace testing_support {

namespace {

// The command that gives the service no more capabilities than the package's unit grants
// (CapabilityBoundingSet=), so that nothing here works only because a test runs it as full root.
// Empty when not root, or setpriv or the unit is not there.
std::vector<std::string> WithTheUnitsCapabilities() {
    const char* setpriv = "/usr/bin/setpriv";
    if (::geteuid() != 0 || ::access(setpriv, X_OK) != 0) return {};
    std::ifstream unit(VELTRIX_SOURCE_DIR "/debian/veltrix.veltrixd.service");
    std::string line, caps = "-all";
    const std::string key = "CapabilityBoundingSet=";
    while (std::getline(unit, line)) {
        if (line.rfind(key, 0) != 0) continue;
        std::istringstream names(line.substr(key.size()));
        std::string name;
        while (names >> name) {
            if (name.rfind("CAP_", 0) != 0) return {};
            std::transform(name.begin(), name.end(), name.begin(),
                           [](unsigned char c) { return std::tolower(c); });
            caps += ",+" + name.substr(4);
        }
        return {setpriv, "--bounding-set", caps, "--"};
    }
    return {};
}

}  // namespace

ServiceProcess::ServiceProcess(const std::string& group, std::vector<std::string> extra,
                               std::vector<std::string> env, std::vector<std::string> prefix)
    : env_(std::move(env)) {
    char tmpl[] = "/tmp/veltrix-service-XXXXXX";
    if (!::mkdtemp(tmpl)) return;
    dir_ = tmpl;
    ::chmod(tmpl, 0755);  // every account reaches the socket, as under /run
    const std::string socket = dir_ + "/run/control";
    if (const char* old = std::getenv("VELTRIX_CONTROL_SOCKET")) {
        hadSocket_ = true;
        previousSocket_ = old;
    }
    ::setenv("VELTRIX_CONTROL_SOCKET", socket.c_str(), 1);
    ::mkdir((dir_ + "/input").c_str(), 0700);  // the machine's input devices: the test's own
    args_ = std::move(prefix);
    const std::vector<std::string> limited = WithTheUnitsCapabilities();
    args_.insert(args_.end(), limited.begin(), limited.end());
    args_.insert(args_.end(),
                 {std::string(VELTRIX_TOOLS_DIR) + "/veltrixd", "--state", dir_ + "/state/sealed",
                  "--socket", socket, "--log", dir_ + "/log/Block.log", "--group", group,
                  "--input-dir", dir_ + "/input"});
    args_.insert(args_.end(), extra.begin(), extra.end());
    // The machine's firewall is left alone, unless the test gave the service a table (and a
    // network namespace) of its own.
    if (std::find(extra.begin(), extra.end(), "--nft-table") == extra.end())
        args_.emplace_back("--no-network-cut");
    started_ = Launch();
}

bool ServiceProcess::Launch() {
    const std::string socket = dir_ + "/run/control";
    ::unlink(socket.c_str());
    const std::string out = dir_ + "/service.out";
    // Everything the child needs is made before the fork.
    bool watchdog = false;
    std::vector<char*> argv, envp;
    for (auto& a : args_) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (char** e = environ; *e; ++e) envp.push_back(*e);
    for (auto& e : env_) {
        envp.push_back(e.data());
        watchdog = watchdog || e.rfind("WATCHDOG_USEC=", 0) == 0;
    }
    char watchdogPid[40] = "WATCHDOG_PID=";
    if (watchdog) envp.push_back(watchdogPid);
    envp.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
        std::snprintf(watchdogPid + 13, sizeof watchdogPid - 13, "%d",
                      static_cast<int>(::getpid()));
        if (std::freopen(out.c_str(), "a", stderr) == nullptr) ::_exit(126);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    for (int i = 0; i < 400 && ::access(socket.c_str(), F_OK) != 0; ++i) ::usleep(25000);
    return pid_ > 0 && ::access(socket.c_str(), F_OK) == 0;
}

bool ServiceProcess::Restart() {
    if (pid_ > 0 && ::waitpid(pid_, nullptr, WNOHANG) == 0) {  // not reaped by the test
        testing_support::Signal(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    started_ = Launch();
    return started_;
}

int ServiceProcess::Stop() {
    int status = -1;
    if (pid_ <= 0) return status;
    if (::waitpid(pid_, &status, WNOHANG) == 0) {
        testing_support::Signal(pid_, SIGTERM);
        // A service a test made stall hears no SIGTERM.
        for (int i = 0; i < 400 && ::waitpid(pid_, &status, WNOHANG) == 0; ++i) ::usleep(50000);
        if (::waitpid(pid_, &status, WNOHANG) == 0) {
            testing_support::Signal(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
        }
    }
    pid_ = -1;
    return status;
}

ServiceProcess::~ServiceProcess() {
    Stop();
    if (hadSocket_)
        ::setenv("VELTRIX_CONTROL_SOCKET", previousSocket_.c_str(), 1);
    else
        ::unsetenv("VELTRIX_CONTROL_SOCKET");
    if (!dir_.empty()) std::system(("rm -rf '" + dir_ + "'").c_str());
}

std::string ServiceProcess::LogText() const {
    std::ifstream in(dir_ + "/log/Block.log");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool ServiceProcess::Seal(uid_t uid, const std::string& hourFlag,
                          const std::map<std::string, std::string>& values,
                          const std::string& parentPassword) const {
    veltrixd::Sealed sealed{password::Hash(parentPassword).value_or(""),
                            {{store::kNeedJob, "Yes"}}};
    for (int box = 1; box <= store::kHourFlags; ++box)
        sealed.values[store::HourFlagName(box)] = hourFlag;
    for (const auto& [name, value] : values) sealed.values[name] = value;
    return veltrixd::SealedStore(dir_ + "/state/sealed").Save(uid, sealed, nullptr);
}

void ServiceProcess::UsedThisHour(uid_t uid, const std::tm& now, int seconds) const {
    char date[16];
    std::strftime(date, sizeof date, "%Y-%m-%d", &now);
    std::string day = std::string("day ") + date;
    for (int h = 0; h < 24; ++h) day += h == now.tm_hour ? " " + std::to_string(seconds) : " 0";
    std::filesystem::create_directories(dir_ + "/state/use");
    std::ofstream(dir_ + "/state/use/" + std::to_string(uid)) << day << "\n";
}

bool ServiceProcess::Reread(const std::string& account) const {
    const std::string read = "[" + account + "] Settings read: blocking on";
    for (int i = 0; i < 50; ++i) {
        if (LogText().find(read) != std::string::npos) return true;
        testing_support::Signal(pid_, SIGHUP);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return LogText().find(read) != std::string::npos;
}

std::string ServiceProcess::OwnGroup() {
    const group* g = ::getgrgid(::getegid());
    return g ? g->gr_name : std::string();
}

}  // namespace testing_support
