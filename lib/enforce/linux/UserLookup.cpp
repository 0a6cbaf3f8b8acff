#include "lib/enforce/linux/UserLookup.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "lib/enforce/linux/LoaderVariables.h"
#include "lib/platform/files/ReadFile.h"
#include "lib/platform/files/UniqueFd.h"

namespace enforce {

namespace {

std::string_view BaseName(std::string_view path) {
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view Variable(std::string_view environ, std::string_view name) {
    std::string_view found;
    AnyVariable(environ, [&](std::string_view n, std::string_view value) {
        if (n != name) return false;
        found = value;
        return true;
    });
    return found;
}

// The account's home by the password database, for the real uid of the process.
std::string HomeOfOwner(int procFd, const std::string& dir) {
    const std::string status = platform::ReadFileAt(procFd, dir + "/status", 4096);
    const auto at = status.find("\nUid:");
    if (at == std::string::npos) return {};
    const uid_t uid = static_cast<uid_t>(std::strtoul(status.c_str() + at + 5, nullptr, 10));
    struct passwd pw {};
    struct passwd* found = nullptr;
    std::string buffer(16384, '\0');
    if (::getpwuid_r(uid, &pw, buffer.data(), buffer.size(), &found) != 0 || !found) return {};
    return found->pw_dir;
}

// Calls `each` with the names in the directory (in the process's view); false when it is none.
template <typename Each>
bool ForEachEntry(int procFd, const std::string& rel, Each each) {
    platform::UniqueFd fd(
        ::openat(procFd, rel.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid()) return false;
    DIR* dir = ::fdopendir(fd.get());
    if (!dir) return false;
    fd.release();
    while (const dirent* e = ::readdir(dir)) {
        const std::string_view name = e->d_name;
        if (name == "." || name == "..") continue;
        if (!each(name)) break;
    }
    ::closedir(dir);
    return true;
}

bool HoldsAnything(int procFd, const std::string& rel) {
    bool any = false;
    ForEachEntry(procFd, rel, [&](std::string_view) { return !(any = true); });
    return any;
}

}  // namespace

bool LoadsUserCode(int procFd, const std::string& dir, std::string_view exe,
                   std::string_view environ) {
    const std::string_view base = BaseName(exe);
    const bool python = base.starts_with("python");
    const bool node = base == "node" || base == "nodejs";
    const bool ruby = base.starts_with("ruby");
    if (!python && !node && !ruby) return false;
    std::string home(Variable(environ, "HOME"));
    if (home.empty() || home[0] != '/') home = HomeOfOwner(procFd, dir);
    if (home.empty() || home[0] != '/') return false;
    const std::string root = dir + "/root" + home;
    if (python) {
        // ~/.local/lib/pythonX.Y/site-packages, of any version the interpreter may be
        bool any = false;
        ForEachEntry(procFd, root + "/.local/lib", [&](std::string_view name) {
            if (name.starts_with("python"))
                any = HoldsAnything(procFd,
                                    root + "/.local/lib/" + std::string(name) + "/site-packages");
            return !any;
        });
        return any;
    }
    if (node)
        return HoldsAnything(procFd, root + "/.node_modules") ||
               HoldsAnything(procFd, root + "/.node_libraries");
    return HoldsAnything(procFd, root + "/.local/share/gem") ||
           HoldsAnything(procFd, root + "/.gem");
}

}  // namespace enforce
