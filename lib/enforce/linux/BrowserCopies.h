// Exact copies of the installed browsers' executables (graphical or text: firefox-esr, w3m, lynx,
// links, ...), known by the file's content whatever its name: its size first, then a SHA-256 of
// it, each file's hash made once per file identity. The installed executables are found by
// their names in the system's program directories (/usr/bin, /usr/local/bin, /usr/games,
// /usr/lib/NAME/NAME), root's files only, looked for again at most once a minute.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace enforce {

class BrowserCopies {
  public:
    // `root`: where the system's files are ("" for this system).
    explicit BrowserCopies(std::string root = {});

    // The browser the open file `fd` (stat `st`) is an exact copy of, or "".
    std::string CopyOf(int fd, const struct stat& st);

  private:
    struct Installed {
        std::string browser, path;
        dev_t dev;
        ino_t ino;
        off_t size;
    };
    using Identity = std::tuple<dev_t, ino_t, std::int64_t, std::int64_t>;
    void Refresh();
    // The file's hash, made once per identity; "" when it cannot be read.
    std::string Hash(int fd, const struct stat& st);

    std::string root_;
    std::vector<Installed> installed_;
    std::time_t refreshed_ = 0;
    std::map<Identity, std::string> hashes_;
};

}  // namespace enforce
