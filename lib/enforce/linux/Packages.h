// What the package system knows of an executable: whether an installed package holds it (one of
// dpkg's, or the Flatpak or snap app the process runs in) and whether that package's desktop
// entry declares a web browser. dpkg is asked through its interface, never by reading its private
// database, so no change of its layout can make installed programs look unpackaged: one
// dpkg-query --show of every package's files (some 10 MB, a few hundred milliseconds) makes an
// index (a hash of each path, with its package, and each package's desktop entries), read again
// only when dpkg's log says the database changed. It is asked only for root's executables that
// run a browser engine; answers are kept per file (its device, inode and change time).
//
// Only files root owns are read: desktop entries below /usr/share/applications,
// /var/lib/flatpak/exports and /var/lib/snapd/desktop (never an account's own, which its user may
// change).
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "lib/enforce/Engines.h"

namespace enforce {

class Packages {
  public:
    // `root`: where the system's files are ("" for this system; tests lay out one of their own).
    explicit Packages(std::string root = {});

    // `exe`: the executable's (or script's) full path, symbolic links resolved; `app`: the
    // process's "flatpak:<id>" or "snap:<name>" scope, or "".
    PackageFacts Of(const std::string& exe, const std::string& app) const;
    // Whether the file `real` (as fstat found it) is one of the Flatpak or snap app's own
    // installed files, `seen` being its path as the process sees it: the scope's name is the
    // account's choice, what the app's installation holds is not.
    bool AppHolds(const std::string& app, const std::string& seen, const struct stat& real) const;

    const std::string& Root() const { return root_; }

  private:
    PackageFacts OfDpkg(const std::string& exe) const;
    bool EntrySaysBrowser(const std::string& path) const;

    std::string root_;
    // The answers for files, by (path, device, inode, change time), while the database is as it
    // was when they were given (dpkg's log unchanged: dpkg notes every change of it there).
    using FileKey = std::tuple<std::string, dev_t, ino_t, long long>;
    struct Cache {
        std::mutex lock;
        long long database = -1;
        bool indexed = false;
        std::vector<std::pair<std::uint64_t, std::uint32_t>> files;  // (path hash, package)
        std::vector<std::vector<std::string>> entries;  // each package's desktop entries
        std::map<FileKey, PackageFacts> answers;
    };
    void Index(Cache& cache) const;
    std::shared_ptr<Cache> cache_ = std::make_shared<Cache>();
};

}  // namespace enforce
