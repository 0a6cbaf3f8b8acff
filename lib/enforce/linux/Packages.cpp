#include "lib/enforce/linux/Packages.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
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

// A path's 64-bit FNV-1a hash: the index keeps hashes, not 10 MB of paths. A path that shares
// its hash with a packaged one is still judged by who owns the file (root alone installs).
std::uint64_t PathHash(std::string_view path) {
    std::uint64_t h = 14695981039346656037ULL;
    for (const char c : path) {
        h ^= static_cast<unsigned char>(c);
        h *= 1099511628211ULL;
    }
    return h;
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
    // dpkg notes every change of its database in its log: a change of the log drops what was
    // learnt.
    struct stat st {
    }, log{};
    ::stat((root_ + exe).c_str(), &st);  // (a file gone is asked about as a name)
    ::stat((root_ + "/var/log/dpkg.log").c_str(), &log);
    const long long database = log.st_mtim.tv_sec * 1000000000LL + log.st_mtim.tv_nsec;
    const FileKey key{exe, st.st_dev, st.st_ino,
                      st.st_ctim.tv_sec * 1000000000LL + st.st_ctim.tv_nsec};
    std::lock_guard<std::mutex> hold(cache_->lock);
    Cache& cache = *cache_;
    if (cache.database != database) {
        cache.answers.clear();
        cache.indexed = false;
        cache.database = database;
    }
    if (const auto it = cache.answers.find(key); it != cache.answers.end()) return it->second;
    if (!cache.indexed) Index(cache);
    PackageFacts facts;
    for (const std::string& name : ListedNames(root_, exe)) {
        const std::uint64_t h = PathHash(name);
        auto it = std::lower_bound(cache.files.begin(), cache.files.end(),
                                   std::pair<std::uint64_t, std::uint32_t>{h, 0});
        for (; it != cache.files.end() && it->first == h; ++it) {
            facts.packaged = true;
            for (const std::string& entry : cache.entries[it->second])
                facts.browserEntry = facts.browserEntry || EntrySaysBrowser(entry);
        }
    }
    if (cache.answers.size() > 4096) cache.answers.clear();
    cache.answers[key] = facts;
    return facts;
}

void Packages::Index(Cache& cache) const {
    cache.files.clear();
    cache.entries.clear();
    cache.indexed = true;  // (also when dpkg cannot say: asked again when its log changes)
    const std::string root = root_.empty() ? "--root=/" : "--root=" + root_;
    const auto shown = platform::RunProgram(
        {kDpkgQuery, root, "--show", "--showformat=${binary:Package}\n${db-fsys:Files}"}, kDpkgMs,
        256u << 20);
    if (!shown) return;
    // "package" lines, each followed by its files, one " /path" line each.
    std::string_view rest = shown->output;
    while (!rest.empty()) {
        const auto end = rest.find('\n');
        const std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        if (line.empty()) continue;
        if (line[0] != ' ') {
            cache.entries.emplace_back();
            continue;
        }
        if (cache.entries.empty()) continue;
        const std::string_view path = line.substr(1);
        const auto package = static_cast<std::uint32_t>(cache.entries.size() - 1);
        cache.files.emplace_back(PathHash(path), package);
        if (path.rfind("/usr/share/applications/", 0) == 0 && EndsWith(path, ".desktop"))
            cache.entries.back().emplace_back(path);
    }
    std::sort(cache.files.begin(), cache.files.end());
    cache.files.shrink_to_fit();
}

bool Packages::EntrySaysBrowser(const std::string& path) const {
    return DesktopEntrySaysBrowser(platform::ReadFileAt(AT_FDCWD, root_ + path, kMaxEntry));
}

}  // namespace enforce
