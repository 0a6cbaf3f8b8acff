#include "sentrel/Instance.h"

#include "lib/enforce/linux/ProcScanner.h"
#include "lib/platform/files/ReadFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>

namespace sentrel {
namespace {

std::string Home() {
    const char* home = std::getenv("HOME");
    return home && *home ? home : "/tmp";
}

// Creates `dir` (and its parents) for this user only; the final directory must be ours.
std::string PrivateDirectory(std::string dir) {
    for (std::size_t i = 1; i <= dir.size(); ++i)
        if (i == dir.size() || dir[i] == '/')
            ::mkdir(dir.substr(0, i).c_str(), i == dir.size() ? 0700 : 0755);
    return dir;
}

}  // namespace

std::string StateDirectory() {
    const char* state = std::getenv("XDG_STATE_HOME");
    return PrivateDirectory(
        (state && *state == '/' ? std::string(state) : Home() + "/.local/state") + "/veltrix");
}

std::string RuntimeDirectory() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || *runtime != '/') return StateDirectory();
    return PrivateDirectory(std::string(runtime) + "/veltrix");
}

InstanceLock::~InstanceLock() = default;

bool InstanceLock::Claim() {
    const std::string path = RuntimeDirectory() + "/guard.lock";
    fd_.reset(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd_.valid()) return false;
    if (::flock(fd_.get(), LOCK_EX | LOCK_NB) == 0) {
        const std::string pid = std::to_string(::getpid()) + "\n";
        if (::ftruncate(fd_.get(), 0) != 0 || ::pwrite(fd_.get(), pid.data(), pid.size(), 0) < 0) {
            // The lock is held all the same; only a later start cannot name us.
        }
        holder_ = ::getpid();
        return true;
    }
    holder_ = static_cast<pid_t>(std::atoi(platform::ReadFromStart(fd_.get(), 64).c_str()));
    fd_.reset();
    return false;
}

bool InstanceLock::AskHolderToReread() const {
    if (holder_ <= 0 || holder_ == ::getpid()) return false;
    const std::string proc = "/proc/" + std::to_string(holder_);
    struct stat st {};
    if (::stat(proc.c_str(), &st) != 0 || st.st_uid != ::getuid()) return false;
    if (enforce::ProcScanner::Executable(holder_) != enforce::OwnExecutable()) return false;
    return ::kill(holder_, SIGUSR1) == 0;
}

std::string GuardHeartbeatPath() {
    return StateDirectory() + "/guard.heartbeat";
}

}  // namespace sentrel
