#include "tests/support/GuardUser.h"
#include "tests/support/ProcessGroup.h"
#include "tests/support/Signal.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "lib/enforce/linux/ProcScanner.h"
#include "lib/store/HourBoxes.h"
#include "lib/store/ValueNames.h"
#include "tests/support/TempEnv.h"

namespace fs = std::filesystem;

namespace testing_support {
namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void Shell(const std::string& command) {
    if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
}

std::string RandomName() {
    std::random_device rd;
    std::string name = "vtxg";
    for (int i = 0; i < 6; ++i) name += "abcdefghijklmnopqrstuvwxyz"[rd() % 26];
    return name;
}

}  // namespace

bool GuardUser::Possible() {
    return ::geteuid() == 0;
}

GuardUser::GuardUser() {
    std::string pattern = (fs::temp_directory_path() / "veltrix-guard-XXXXXX").string();
    root = ::mkdtemp(pattern.data());
    ::chmod(root.c_str(), 0755);
    home = root + "/home";
    runtime = root + "/run";
    store = home + "/store";
    program = root + "/program/";
    bin = root + "/bin/";
    name = RandomName();
    Shell("useradd --system --no-create-home --shell /usr/sbin/nologin --home-dir '" + home + "' " +
          name);
    const passwd* pw = ::getpwnam(name.c_str());
    if (!pw) throw std::runtime_error("no user " + name);
    uid = pw->pw_uid;
    gid = pw->pw_gid;
    for (const std::string& dir : {home, runtime, program, bin}) {
        fs::create_directories(dir);
        ::chown(dir.c_str(), uid, gid);
    }
    ::chmod(runtime.c_str(), 0700);
    for (const char* tool : {"Sentrel.exe", "veltrix-reg"}) {
        fs::copy_file(ToolPath(tool), program + tool);
        ::chmod((program + tool).c_str(), 0755);
    }
}

GuardUser::~GuardUser() {
    // Every process of the throwaway user was started by the test or by what it started.
    for (int round = 0; round < 50; ++round) {
        const auto left = Processes();
        if (left.empty()) break;
        for (const auto& [pid, cmd] : left) testing_support::Signal(pid, SIGKILL);
        while (::waitpid(-1, nullptr, WNOHANG) > 0) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    Shell("userdel " + name + " 2>/dev/null || true");
    if (!group_.empty()) Shell("groupdel " + group_ + " 2>/dev/null || true");
    std::error_code ec;
    fs::remove_all(root, ec);
}

std::vector<std::string> GuardUser::Environment() const {
    // The test's own service when it started one, else none (never the machine's).
    const char* socket = std::getenv("VELTRIX_CONTROL_SOCKET");
    return {"HOME=" + home,
            "XDG_RUNTIME_DIR=" + runtime,
            "VELTRIX_USER_STORE=" + store,
            "VELTRIX_CONTROL_SOCKET=" + (socket ? std::string(socket) : root + "/no-service"),
            "PATH=/usr/bin:/bin",
            "LANG=C.UTF-8"};
}

pid_t GuardUser::Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
    return Start(argv, env, false);
}

pid_t GuardUser::SpawnOffline(const std::vector<std::string>& argv,
                              const std::vector<std::string>& env) {
    return Start(argv, env, true);
}

pid_t GuardUser::Start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                       bool offline) {
    std::vector<std::string> all = Environment();
    all.insert(all.end(), env.begin(), env.end());
    // The account's groups, as a login gives them (a member reads the service's log by its
    // group); looked up before the fork, which must not call into NSS.
    std::vector<gid_t> groups(64);
    int count = static_cast<int>(groups.size());
    if (::getgrouplist(name.c_str(), gid, groups.data(), &count) < 0) count = 0;
    groups.resize(static_cast<std::size_t>(count));
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0);
        if (offline) {
            if (::unshare(CLONE_NEWNET) != 0) ::_exit(126);
            // A real browser's chatter is not the test's output; ProgramsOutput() has it.
            const int out = ::open((root + "/programs.log").c_str(),
                                   O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
            ::dup2(out, 1);
            ::dup2(out, 2);
        }
        if (::setgroups(groups.size(), groups.data()) != 0 || ::setgid(gid) != 0 ||
            ::setuid(uid) != 0)
            ::_exit(126);
        if (::chdir(home.c_str()) != 0) ::_exit(126);
        std::vector<char*> args, envp;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        for (const auto& e : all) envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);
        ::execve(args[0], args.data(), envp.data());
        ::_exit(127);
    }
    return pid;
}

int GuardUser::Run(const std::vector<std::string>& argv) {
    const pid_t pid = Spawn(argv);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void GuardUser::Set(const std::string& value, const std::string& text) {
    if (Run({program + "veltrix-reg", "set", "HKCU", store::kSettingsKey, value, text}) != 0)
        throw std::runtime_error("cannot set " + value);
}

std::string GuardUser::Program(const std::string& programName) {
    const std::string path = bin + programName;
    if (!fs::exists(path)) {
        fs::copy_file(ToolPath("fake-program"), path);
        ::chown(path.c_str(), uid, gid);
        ::chmod(path.c_str(), 0755);
    }
    return path;
}

pid_t GuardUser::StartGuard() {
    return Spawn({program + "Sentrel.exe"});
}

pid_t GuardUser::Guard() const {
    const std::string text = ReadFile(runtime + "/veltrix/guard.lock");
    const pid_t pid = static_cast<pid_t>(std::atoi(text.c_str()));
    return pid > 0 && Running(pid) ? pid : 0;
}

std::string GuardUser::ProgramsOutput() const {
    return ReadFile(root + "/programs.log");
}

std::string GuardUser::Log() const {
    return ReadFile(program + "Block.log");
}

bool GuardUser::WaitForLog(const std::string& text, int ms) const {
    for (int waited = 0; waited < ms; waited += 20) {
        if (Log().find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

std::string GuardUser::MemberGroup() {
    if (group_.empty()) {
        Shell("groupadd " + name + "g && usermod -aG " + name + "g " + name);
        group_ = name + "g";
    }
    return group_;
}

std::vector<std::pair<pid_t, std::string>> GuardUser::Processes() const {
    std::vector<std::pair<pid_t, std::string>> out;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string pidText = entry.path().filename().string();
        if (pidText.find_first_not_of("0123456789") != std::string::npos) continue;
        struct stat st {};
        if (::stat(entry.path().c_str(), &st) != 0 || st.st_uid != uid) continue;
        std::string cmd = ReadFile(entry.path().string() + "/cmdline");
        for (char& c : cmd)
            if (c == '\0') c = ' ';
        const std::string stat = ReadFile(entry.path().string() + "/stat");
        const auto close = stat.rfind(')');
        if (close != std::string::npos && stat.size() > close + 2 && stat[close + 2] == 'Z')
            continue;
        out.emplace_back(static_cast<pid_t>(std::atoi(pidText.c_str())), cmd);
    }
    return out;
}

bool Running(pid_t pid) {
    if (pid <= 0) return false;
    int status = 0;
    const pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid) return false;  // our child, now reaped
    return testing_support::Signal(pid, 0) && enforce::ProcScanner::StillRuns(pid);
}

bool WaitForEnd(pid_t pid, int ms) {
    for (int waited = 0; waited < ms; waited += 10) {
        if (!Running(pid)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return !Running(pid);
}

void SetCurrentHours(GuardUser& user, const std::string& flag) {
    setenv("TZ", ":/etc/localtime", 1);
    tzset();
    const std::time_t now = std::time(nullptr);
    for (std::time_t t : {now, now + 3600}) {
        std::tm tm{};
        localtime_r(&t, &tm);
        user.Set(store::HourFlagName(store::HourBox(tm.tm_wday, tm.tm_hour)), flag);
    }
}

}  // namespace testing_support
