#include "lib/enforce/linux/EngineProbe.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <set>
#include <string_view>

#include "lib/enforce/linux/ElfEngine.h"
#include "lib/enforce/linux/LoaderVariables.h"
#include "lib/enforce/linux/UserLookup.h"
#include "lib/platform/files/BoundedRead.h"
#include "lib/platform/files/ReadFile.h"
#include "lib/platform/files/UniqueFd.h"

namespace enforce {

// The fields of a maps line: range, permissions, offset, device, inode, path.
struct MapsLine {
    std::string_view range, perms, device, path;
    ino_t inode = 0;
};

namespace {

constexpr std::size_t kMaxMaps = 16 << 20;
constexpr std::size_t kMaxKnown = 4096;   // executables remembered; a scan re-learns the rest
constexpr std::size_t kMaxFiles = 16384;  // mapped files remembered

// A regular file below the open /proc, as the process of `rel` sees it.
bool StatFile(int procFd, const std::string& rel, struct stat* st) {
    return ::fstatat(procFd, rel.c_str(), st, 0) == 0 && S_ISREG(st->st_mode);
}

// Opens a regular file for reading, never blocking on a FIFO or becoming a terminal's.
platform::UniqueFd OpenFile(int procFd, const std::string& rel) {
    platform::UniqueFd fd(
        ::openat(procFd, rel.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    struct stat st {};
    if (fd.valid() && (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))) fd.reset();
    return fd;
}

// The device of a maps line ("fe:01", hexadecimal major and minor).
std::optional<dev_t> DeviceOf(std::string_view text) {
    const auto colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon + 1 == text.size()) return {};
    unsigned long parts[2] = {0, 0};
    for (int i = 0; i < 2; ++i) {
        const std::string_view hex = i == 0 ? text.substr(0, colon) : text.substr(colon + 1);
        if (hex.size() > 8) return {};
        for (char c : hex) {
            const int digit = c >= '0' && c <= '9'   ? c - '0'
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                     : -1;
            if (digit < 0) return {};
            parts[i] = parts[i] * 16 + static_cast<unsigned long>(digit);
        }
    }
    return makedev(parts[0], parts[1]);
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::optional<MapsLine> ParseMapsLine(std::string_view line) {
    MapsLine m;
    std::string_view fields[5];
    for (std::string_view& f : fields) {
        const auto start = line.find_first_not_of(' ');
        if (start == std::string_view::npos) return std::nullopt;
        line.remove_prefix(start);
        const auto end = line.find(' ');
        f = line.substr(0, end);
        line.remove_prefix(end == std::string_view::npos ? line.size() : end);
    }
    m.range = fields[0];
    m.perms = fields[1];
    m.device = fields[3];
    for (char c : fields[4]) {
        if (c < '0' || c > '9') return std::nullopt;
        m.inode = m.inode * 10 + static_cast<ino_t>(c - '0');
    }
    const auto path = line.find('/');
    if (path != std::string_view::npos) m.path = line.substr(path);
    if (m.path.ends_with(" (deleted)")) m.path.remove_suffix(10);
    return m;
}

// Whether the process sleeps in a call that only a program's own code makes: it is past loading.
bool WaitsInItsOwnCode(int procFd, const EngineProbe::Sighting& s) {
    if (s.state != 'S') return false;
    const std::string text = platform::ReadFileAt(procFd, s.Dir() + "/syscall", 64);
    if (text.empty() || text[0] < '0' || text[0] > '9') return false;  // running, or no call
    const long call = std::strtol(text.c_str(), nullptr, 10);
    static constexpr long kWaits[] = {
#ifdef SYS_pause
        SYS_pause,
#endif
#ifdef SYS_poll
        SYS_poll,
#endif
#ifdef SYS_select
        SYS_select,
#endif
#ifdef SYS_epoll_wait
        SYS_epoll_wait,
#endif
        SYS_nanosleep,  SYS_clock_nanosleep, SYS_ppoll,
        SYS_pselect6,   SYS_epoll_pwait,     SYS_wait4,
        SYS_waitid,     SYS_rt_sigsuspend,   SYS_rt_sigtimedwait,
        SYS_futex,      SYS_accept4,         SYS_recvmsg,
        SYS_recvfrom,
    };
    for (long wait : kWaits)
        if (call == wait) return true;
    return false;
}

}  // namespace

EngineProbe::EngineProbe(Packages packages)
    : packages_(std::move(packages)), copies_(packages_.Root()) {}

std::string EngineProbe::CopyOfExecutable(int procFd, const Sighting& s, const struct stat& st) {
    const Key key{st.st_dev, st.st_ino, st.st_ctim.tv_sec, st.st_ctim.tv_nsec, s.exe};
    if (auto it = copyOf_.find(key); it != copyOf_.end()) return it->second;
    std::string copy;
    if (!Evidenced(s.exe, st, s.app) && !Evidenced(s.exe, st, {})) {
        // The file itself, not its path: a namespace cannot change what it holds.
        const platform::UniqueFd fd = OpenFile(procFd, s.Dir() + "/exe");
        struct stat real {};
        if (fd.valid() && ::fstat(fd.get(), &real) == 0 && SameFile(real, st))
            copy = copies_.CopyOf(fd.get(), real);
    }
    if (copyOf_.size() >= kMaxKnown) copyOf_.clear();
    return copyOf_[key] = copy;
}

std::optional<Engine> EngineProbe::ReadMaps(int procFd, const std::string& dir) {
    ++mapsReads_;
    ownCode_ = false;
    // Bounded: the maps wait for the process's memory, which it may make hang.
    const auto maps = platform::ReadFileBounded(procFd, dir + "/maps", kMaxMaps);
    if (!maps) return std::nullopt;
    Engine engine = EngineInMaps(*maps);
    // By what the files are (a library copied under another name is still its engine), and
    // whether code of a file the account owns runs in the process (a library of its own, one
    // preloaded, a memfd): a file it maps executable that is not root's.
    std::map<std::pair<std::string_view, ino_t>, std::optional<FileKnown>> looked;
    std::string_view rest = *maps;
    while (!rest.empty()) {
        const auto end = rest.find('\n');
        const std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        const auto m = ParseMapsLine(line);
        if (!m || m->inode == 0) continue;
        const bool exec = m->perms.find('x') != std::string_view::npos;
        if (!exec && engine != Engine::None) continue;
        auto [at, fresh] = looked.try_emplace({m->device, m->inode});
        if (fresh) {
            // A copy: the cache may be cleared by a later file of this read.
            if (const FileKnown* file = FileOf(procFd, dir, *m)) at->second = *file;
        }
        const std::optional<FileKnown>& file = at->second;
        if (exec && (!file || file->owner != 0)) ownCode_ = true;
        if (file && engine == Engine::None) engine = file->engine;
    }
    return engine;
}

const EngineProbe::FileKnown* EngineProbe::FileOf(int procFd, const std::string& dir,
                                                  const MapsLine& m) {
    const std::pair<std::string, ino_t> key{std::string(m.device), m.inode};
    auto it = files_.find(key);
    // The system's own files change only by root's hand, with a new inode.
    if (it != files_.end() && it->second.owner == 0) return &it->second;
    // The file itself, whatever namespace the process sees it through (root may open it so);
    // else by its path in the process's view; else by its path in the system's own view when
    // that names the very file (device and inode): a process in an empty root of its own (a
    // browser's sandboxed content) has no view to look through, and an unprivileged caller
    // cannot open map_files.
    std::string rel = dir + "/map_files/" + std::string(m.range);
    struct stat st {};
    if (!StatFile(procFd, rel, &st)) {
        if (m.path.empty()) return nullptr;
        rel = dir + "/root" + std::string(m.path);
        if (!StatFile(procFd, rel, &st) || st.st_ino != m.inode) {
            rel = std::string(m.path);
            const auto device = DeviceOf(m.device);
            if (!device || !StatFile(procFd, rel, &st) || st.st_ino != m.inode ||
                st.st_dev != *device)
                return nullptr;
        }
    }
    if (it != files_.end() && it->second.owner == st.st_uid &&
        it->second.ctimeSec == st.st_ctim.tv_sec && it->second.ctimeNsec == st.st_ctim.tv_nsec)
        return &it->second;
    const platform::UniqueFd fd = OpenFile(procFd, rel);
    if (!fd.valid()) return nullptr;
    if (files_.size() >= kMaxFiles) files_.clear();
    FileKnown& known = files_[key];
    known = {st.st_uid, st.st_ctim.tv_sec, st.st_ctim.tv_nsec, EngineOfElf(fd.get())};
    return &known;
}

bool EngineProbe::RunsOwnCode(int procFd, const Sighting& s) const {
    if (ownCode_) return true;
    const auto env = platform::ReadFileBounded(procFd, s.Dir() + "/environ", 256 << 10);
    if (!env) {
        // A process that is ending (its root already gone, as a browser's first process that
        // starts itself anew) runs nothing more; otherwise nothing vouches for it.
        struct stat root {};
        return !(::fstatat(procFd, (s.Dir() + "/root/").c_str(), &root, 0) != 0 &&
                 (errno == ESRCH || errno == ENOENT));
    }
    // Variables that make the loader or an interpreter run files of the account's choosing, and
    // what an interpreter loads by its own per-user rules (a .pth file in the user site).
    return LoaderVariablesNameOwnCode(procFd, s.Dir(), *env) ||
           (s.interpreted && LoadsUserCode(procFd, s.Dir(), s.exe, *env));
}

// The engine whose files lie beside the executable (Firefox and Chromium keep theirs there), in
// the process's own view.
Engine EngineProbe::EngineBeside(int procFd, const Sighting& s) {
    const auto slash = s.exe.rfind('/');
    if (slash == std::string::npos || slash == 0) return Engine::None;
    const std::string dir = s.Dir() + "/root" + s.exe.substr(0, slash + 1);
    const platform::UniqueFd xul = OpenFile(procFd, dir + "libxul.so");
    if (xul.valid() && EngineOfElf(xul.get()) == Engine::Gecko) return Engine::Gecko;
    struct stat st {};
    const Engine beside = EngineOfOwnFiles(
        [&](std::string_view name) { return StatFile(procFd, dir + std::string(name), &st); });
    return beside == Engine::Chromium ? beside : Engine::None;
}

bool EngineProbe::Evidenced(const std::string& seen, const struct stat& real,
                            const std::string& app) const {
    // Packages are installed as root (dpkg, snapd, a system-wide Flatpak). A file an account
    // owns is its own software, whatever scope it runs in: a copy, a download, a Flatpak it
    // installed for itself (whose desktop entry it could write as it likes).
    if (real.st_uid != 0) return false;
    if (!app.empty()) return packages_.AppHolds(app, seen, real);
    struct stat host {};
    return !seen.empty() && seen[0] == '/' && ::stat(seen.c_str(), &host) == 0 &&
           SameFile(host, real);
}

PackageFacts EngineProbe::ProcessFacts(int procFd, const Sighting& s, const struct stat* exe) {
    if (!exe || s.program.empty() || !Evidenced(s.exe, *exe, s.app)) return {};
    struct stat script {};
    const std::string rel = s.Dir() + "/root" + s.program;
    if (!StatFile(procFd, rel, &script) || !Evidenced(s.program, script, s.app)) return {};
    const PackageFacts facts = packages_.Of(s.program, s.app);
    // Called after a read of the process's maps: the account's own code in it is no package's.
    if (facts.packaged && RunsOwnCode(procFd, s)) return {};
    return facts;
}

EngineProbe::Verdict EngineProbe::Look(int procFd, const Sighting& s) {
    Verdict v;
    v.reads = s.reads;
    const bool due = EngineReadDueInMs(s) == 0;
    const int readsAfter = s.ageMs >= kEngineLastReadMs ? 2 : s.reads + 1;  // 1 s: the last one
    struct stat st {};
    const bool identified = ::fstatat(procFd, (s.Dir() + "/exe").c_str(), &st, 0) == 0;
    if (!identified && (errno == ENOENT || errno == ESRCH)) {
        v.final = true;  // gone
        return v;
    }
    // A copy of an installed browser's executable, whatever its name (not one whose engine
    // files lie beside it: the engine says it at once).
    auto copied = [&] {
        v.copyOf = CopyOfExecutable(procFd, s, st);
        v.final = v.final || !v.copyOf.empty();
        return !v.copyOf.empty();
    };
    // A script or program run through an interpreter or the loader, and an executable the caller
    // may not look at: this process alone says what it runs.
    if (identified && s.interpreted && copied()) return v;
    if (!identified || s.interpreted) {
        if (due) {
            if (const auto engine = ReadMaps(procFd, s.Dir())) {  // else due again
                v.engine = *engine;
                v.reads = readsAfter;
            }
        }
        v.final = v.engine != Engine::None || v.reads >= 2;
        v.watch = true;
        if (v.engine != Engine::None)
            v.package = ProcessFacts(procFd, s, identified ? &st : nullptr);
        return v;
    }
    const Key key{st.st_dev, st.st_ino, st.st_ctim.tv_sec, st.st_ctim.tv_nsec, s.exe};
    auto it = known_.find(key);
    if (it == known_.end()) {
        if (known_.size() >= kMaxKnown) known_.clear();
        Known fresh;
        fresh.evidenced = Evidenced(s.exe, st, s.app) || Evidenced(s.exe, st, {});
        fresh.engine = EngineBeside(procFd, s);
        fresh.settled = fresh.engine != Engine::None;
        it = known_.emplace(key, fresh).first;
    }
    Known& known = it->second;
    if (known.engine == Engine::None && copied()) return v;
    bool read = false;  // the maps of this process, read now
    if (!known.settled && due) {
        if (const auto engine = ReadMaps(procFd, s.Dir())) {  // else due again
            known.engine = *engine;
            v.reads = readsAfter;
            read = true;
            known.settled = known.engine != Engine::None || s.cpuMs >= kEngineSettledCpuMs ||
                            WaitsInItsOwnCode(procFd, s);
        }
    }
    v.engine = known.engine;
    v.final = known.settled || v.reads >= 2;
    v.watch = !known.evidenced;
    if (v.engine != Engine::None && known.evidenced) {
        if (!known.factsKnown) {
            // The app's scope counts only when its installation holds the executable.
            const bool inApp = !s.app.empty() && Evidenced(s.exe, st, s.app);
            known.facts = packages_.Of(s.exe, inApp ? s.app : std::string());
            known.factsKnown = true;
        }
        v.package = known.facts;
        if (!EngineMakesBrowser(v.engine, v.package)) {
            // Installed software that runs on: only while no code of the account's runs in it,
            // which its own process says once it has loaded (at the first read, 50 ms).
            if (!read && s.reads == 0 && due) {
                if (ReadMaps(procFd, s.Dir())) {
                    v.reads = readsAfter;
                    read = true;
                }
            }
            if (read && RunsOwnCode(procFd, s)) v.package = {};
            v.final = read || s.reads > 0;
        }
    }
    return v;
}

EngineProbe::Verdict EngineProbe::Recheck(int procFd, const Sighting& s) {
    Verdict v;
    v.final = true;
    v.watch = true;
    v.reads = s.reads;
    struct stat st {};
    const bool identified = ::fstatat(procFd, (s.Dir() + "/exe").c_str(), &st, 0) == 0;
    const auto engine = ReadMaps(procFd, s.Dir());
    if (!engine || *engine == Engine::None) return v;
    v.engine = *engine;
    v.watch = false;
    // An executable of no installed file has no package; a script has its own, with evidence.
    if (s.interpreted) v.package = ProcessFacts(procFd, s, identified ? &st : nullptr);
    return v;
}

std::int64_t EngineReadDueInMs(const EngineProbe::Sighting& s) {
    const auto age = static_cast<std::int64_t>(s.ageMs);
    if (s.reads == 0) return std::max<std::int64_t>(0, kEngineFirstReadMs - age);
    if (s.reads == 1) return std::max<std::int64_t>(0, kEngineLastReadMs - age);
    return -1;
}

}  // namespace enforce
