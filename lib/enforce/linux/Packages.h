// What the package system knows of an executable: whether an installed package holds it (one of
// dpkg's, or the Flatpak or snap app the process runs in) and whether that package's desktop
// entry declares a web browser. dpkg's file lists (/var/lib/dpkg/info/*.list) say which package
// holds a file and which desktop entries it installs. A lookup reads every list (some 10 MB, a
// few tens of milliseconds), so it is asked only for executables that run a browser engine, and
// its answer is kept by the caller.
//
// Only files root owns are read: the lists, and desktop entries below /usr/share/applications,
// /var/lib/flatpak/exports and /var/lib/snapd/desktop (never an account's own, which its user may
// change).
#pragma once

#include <sys/stat.h>

#include <string>

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
};

}  // namespace enforce
