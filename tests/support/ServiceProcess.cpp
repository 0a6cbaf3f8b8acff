#include "tests/support/ServiceProcess.h"

#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "lib/password/PasswordHash.h"
#include "lib/store/ValueNames.h"
#include "veltrixd/SealedStore.h"

namespace testing_support {

ServiceProcess::ServiceProcess(const std::string& group, std::vector<std::string> extra) {
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
    std::vector<std::string> args{std::string(VELTRIX_TOOLS_DIR) + "/veltrixd",
                                  "--state",
                                  dir_ + "/state/sealed",
                                  "--socket",
                                  socket,
                                  "--log",
                                  dir_ + "/log/Block.log",
                                  "--group",
                                  group};
    args.insert(args.end(), extra.begin(), extra.end());
    const std::string out = dir_ + "/service.out";
    pid_ = ::fork();
    if (pid_ == 0) {
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (std::freopen(out.c_str(), "w", stderr) == nullptr) ::_exit(126);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    for (int i = 0; i < 400 && ::access(socket.c_str(), F_OK) != 0; ++i) ::usleep(25000);
    started_ = pid_ > 0 && ::access(socket.c_str(), F_OK) == 0;
}

ServiceProcess::~ServiceProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
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

bool ServiceProcess::Seal(uid_t uid, const std::string& hourFlag) const {
    veltrixd::Sealed sealed{password::Hash("parent").value_or(""), {{store::kNeedJob, "Yes"}}};
    for (int box = 1; box <= store::kHourFlags; ++box)
        sealed.values[store::HourFlagName(box)] = hourFlag;
    return veltrixd::SealedStore(dir_ + "/state/sealed").Save(uid, sealed, nullptr);
}

bool ServiceProcess::Reread(const std::string& account) const {
    const std::string read = "[" + account + "] Settings read: blocking on";
    for (int i = 0; i < 50; ++i) {
        if (LogText().find(read) != std::string::npos) return true;
        ::kill(pid_, SIGHUP);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return LogText().find(read) != std::string::npos;
}

std::string ServiceProcess::OwnGroup() {
    const group* g = ::getgrgid(::getegid());
    return g ? g->gr_name : std::string();
}

}  // namespace testing_support
