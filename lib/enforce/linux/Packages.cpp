#include "lib/enforce/linux/Packages.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <string_view>
#include <vector>

#include "lib/platform/files/ReadFile.h"

namespace enforce {
namespace {

constexpr std::size_t kMaxList = 64 << 20;
constexpr std::size_t kMaxEntry = 256 << 10;

bool EndsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// Whether `text` (lines) has `line` as one of its lines.
bool HasLine(std::string_view text, std::string_view line) {
    for (auto at = text.find(line); at != std::string_view::npos; at = text.find(line, at + 1)) {
        const auto end = at + line.size();
        if ((at == 0 || text[at - 1] == '\n') && (end == text.size() || text[end] == '\n'))
            return true;
    }
    return false;
}

// An app id or snap name as a file name: nothing that leaves the directory.
bool PlainName(std::string_view name) {
    return !name.empty() && name.find('/') == std::string_view::npos && name != "." && name != "..";
}

// The names a dpkg list may give `exe` by: itself, and on a system whose /bin, /sbin and /lib*
// are links into /usr (merged /usr, as Debian 12 is), its name without "/usr", which is what
// packages built before the merge list.
std::vector<std::string> ListedNames(const std::string& root, const std::string& exe) {
    std::vector<std::string> names{exe};
    if (exe.rfind("/usr/", 0) != 0) return names;
    const std::string rest = exe.substr(4);  // "/bin/..."
    const std::string top = rest.substr(0, rest.find('/', 1));
    for (std::string_view merged : {"/bin", "/sbin", "/lib", "/lib32", "/lib64", "/libx32"}) {
        if (top != merged) continue;
        struct stat st {};
        if (::lstat((root + top).c_str(), &st) == 0 && S_ISLNK(st.st_mode)) names.push_back(rest);
    }
    return names;
}

}  // namespace

Packages::Packages(std::string root) : root_(std::move(root)) {}

PackageFacts Packages::Of(const std::string& exe, const std::string& app) const {
    // A Flatpak or snap app is installed software; its exported desktop entry says what it is.
    if (app.rfind("flatpak:", 0) == 0) {
        const std::string id = app.substr(8);
        return {true, PlainName(id) && EntrySaysBrowser("/var/lib/flatpak/exports/share/"
                                                        "applications/" +
                                                        id + ".desktop")};
    }
    if (app.rfind("snap:", 0) == 0) {
        const std::string name = app.substr(5);
        PackageFacts facts{true, false};
        const std::string dir = "/var/lib/snapd/desktop/applications";
        if (!PlainName(name)) return facts;
        if (DIR* d = ::opendir((root_ + dir).c_str())) {
            while (const dirent* e = ::readdir(d)) {
                const std::string_view file = e->d_name;
                if (file.rfind(name + "_", 0) == 0 && EndsWith(file, ".desktop"))
                    facts.browserEntry =
                        facts.browserEntry || EntrySaysBrowser(dir + "/" + std::string(file));
            }
            ::closedir(d);
        }
        return facts;
    }
    return OfDpkg(exe);
}

bool Packages::AppHolds(const std::string& app, const std::string& seen,
                        const struct stat& real) const {
    std::string host;
    if (app.rfind("flatpak:", 0) == 0) {
        const std::string id = app.substr(8);
        if (!PlainName(id)) return false;
        // Inside the app's sandbox its files are /app; outside, the installation's.
        const std::string installed = root_ + "/var/lib/flatpak/app/" + id + "/";
        if (seen.rfind("/app/", 0) == 0)
            host = installed + "current/active/files" + seen.substr(4);
        else if (seen.rfind(installed, 0) == 0)
            host = seen;
    } else if (app.rfind("snap:", 0) == 0) {
        const std::string name = app.substr(5);
        if (PlainName(name) && seen.rfind("/snap/" + name + "/", 0) == 0) host = root_ + seen;
    }
    if (host.empty() || host.find("/../") != std::string::npos) return false;
    struct stat st {};
    return ::stat(host.c_str(), &st) == 0 && st.st_dev == real.st_dev && st.st_ino == real.st_ino;
}

PackageFacts Packages::OfDpkg(const std::string& exe) const {
    PackageFacts facts;
    const std::vector<std::string> names = ListedNames(root_, exe);
    const std::string info = root_ + "/var/lib/dpkg/info";
    DIR* d = ::opendir(info.c_str());
    if (!d) return facts;
    const int dirFd = ::dirfd(d);
    while (const dirent* e = ::readdir(d)) {
        const std::string_view file = e->d_name;
        if (!EndsWith(file, ".list")) continue;
        const std::string list = platform::ReadFileAt(dirFd, e->d_name, kMaxList);
        bool holds = false;
        for (const std::string& name : names) holds = holds || HasLine(list, name);
        if (!holds) continue;
        facts.packaged = true;
        // The package's desktop entries, as it installed them.
        std::string_view rest = list;
        while (!rest.empty() && !facts.browserEntry) {
            const auto end = rest.find('\n');
            const std::string_view line = rest.substr(0, end);
            rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
            if (line.rfind("/usr/share/applications/", 0) == 0 && EndsWith(line, ".desktop"))
                facts.browserEntry = EntrySaysBrowser(std::string(line));
        }
        if (facts.browserEntry) break;
    }
    ::closedir(d);
    return facts;
}

bool Packages::EntrySaysBrowser(const std::string& path) const {
    return DesktopEntrySaysBrowser(platform::ReadFileAt(AT_FDCWD, root_ + path, kMaxEntry));
}

}  // namespace enforce
