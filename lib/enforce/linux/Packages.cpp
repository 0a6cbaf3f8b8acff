#include "lib/enforce/linux/Packages.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <string_view>
#include <vector>

#include "lib/platform/files/ReadFile.h"
#include "lib/platform/files/RunProgram.h"

namespace enforce {
namespace {

constexpr std::size_t kMaxEntry = 256 << 10;
constexpr const char* kDpkgQuery = "/usr/bin/dpkg-query";
constexpr int kDpkgMs = 10000;

bool EndsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// `path` as a pattern of dpkg-query --search that matches that path alone: its glob characters
// (and the escape itself) escaped, so the path is looked up literally.
std::string GlobEscaped(const std::string& path) {
    std::string out;
    for (char c : path) {
        if (c == '*' || c == '?' || c == '[' || c == ']' || c == '\\') out += '\\';
        out += c;
    }
    return out;
}

// The packages that --search names as holding exactly `path` ("pkg1, pkg2: /path" lines; the
// diversions' own lines are no package's).
std::vector<std::string> PackagesHolding(std::string_view output, std::string_view path) {
    std::vector<std::string> packages;
    while (!output.empty()) {
        const auto end = output.find('\n');
        const std::string_view line = output.substr(0, end);
        output = end == std::string_view::npos ? std::string_view{} : output.substr(end + 1);
        const auto colon = line.find(": ");
        if (colon == std::string_view::npos || line.rfind("diversion by ", 0) == 0) continue;
        if (line.substr(colon + 2) != path) continue;
        std::string_view names = line.substr(0, colon);
        while (!names.empty()) {
            const auto comma = names.find(", ");
            const std::string_view name = names.substr(0, comma);
            if (!name.empty() && name.find_first_of(" /\t") == std::string_view::npos)
                packages.emplace_back(name);
            names = comma == std::string_view::npos ? std::string_view{} : names.substr(comma + 2);
        }
    }
    return packages;
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
    // dpkg notes every change of its database in its log: a change of the log drops the answers.
    struct stat st {
    }, log{};
    ::stat((root_ + exe).c_str(), &st);  // (a file gone is asked about as a name)
    ::stat((root_ + "/var/log/dpkg.log").c_str(), &log);
    const long long database = log.st_mtim.tv_sec * 1000000000LL + log.st_mtim.tv_nsec;
    const FileKey key{exe, st.st_dev, st.st_ino,
                      st.st_ctim.tv_sec * 1000000000LL + st.st_ctim.tv_nsec};
    {
        std::lock_guard<std::mutex> hold(cache_->lock);
        if (cache_->database != database) {
            cache_->answers.clear();
            cache_->database = database;
        }
        const auto it = cache_->answers.find(key);
        if (it != cache_->answers.end()) return it->second;
    }
    const PackageFacts facts = AskDpkg(exe);
    std::lock_guard<std::mutex> hold(cache_->lock);
    if (cache_->answers.size() > 4096) cache_->answers.clear();
    cache_->answers[key] = facts;
    return facts;
}

PackageFacts Packages::AskDpkg(const std::string& exe) const {
    PackageFacts facts;
    // The system's database, or the one of a system laid out below root_ (tests).
    const std::string admin = root_.empty() ? "--root=/" : "--root=" + root_;
    std::vector<std::string> packages;
    for (const std::string& name : ListedNames(root_, exe)) {
        const auto found =
            platform::RunProgram({kDpkgQuery, admin, "--search", GlobEscaped(name)}, kDpkgMs);
        if (!found) continue;
        for (const std::string& p : PackagesHolding(found->output, name)) packages.push_back(p);
    }
    if (packages.empty()) return facts;
    facts.packaged = true;
    // The packages' desktop entries, as they installed them.
    std::vector<std::string> argv{kDpkgQuery, admin, "--listfiles"};
    argv.insert(argv.end(), packages.begin(), packages.end());
    const auto files = platform::RunProgram(argv, kDpkgMs);
    if (!files) return facts;
    std::string_view rest = files->output;
    while (!rest.empty() && !facts.browserEntry) {
        const auto end = rest.find('\n');
        const std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        if (line.rfind("/usr/share/applications/", 0) == 0 && EndsWith(line, ".desktop"))
            facts.browserEntry = EntrySaysBrowser(std::string(line));
    }
    return facts;
}

bool Packages::EntrySaysBrowser(const std::string& path) const {
    return DesktopEntrySaysBrowser(platform::ReadFileAt(AT_FDCWD, root_ + path, kMaxEntry));
}

}  // namespace enforce
