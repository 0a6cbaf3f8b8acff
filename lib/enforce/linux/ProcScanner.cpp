#include "lib/enforce/linux/ProcScanner.h"
#include "lib/platform/files/BoundedRead.h"
#include "lib/platform/files/ReadFile.h"
#include "lib/platform/files/UniqueFd.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace enforce {
namespace {

// Reads a small file below /proc/<pid> (relative to the open /proc).
std::string ReadAt(int dirFd, const std::string& path, std::size_t limit = 4096) {
    return platform::ReadFileAt(dirFd, path, limit);
}

std::string ReadLinkAt(int dirFd, const std::string& path) {
    char buf[4096];
    const ssize_t n = ::readlinkat(dirFd, path.c_str(), buf, sizeof buf);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buf) return {};
    std::string link(buf, static_cast<std::size_t>(n));
    // An executable replaced on disk (an upgrade) still runs: its name counts.
    static constexpr std::string_view kDeleted = " (deleted)";
    if (link.size() > kDeleted.size() &&
        link.compare(link.size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0)
        link.resize(link.size() - kDeleted.size());
    return link;
}

// Fields after the command name of /proc/<pid>/stat: field 3 is index 0.
std::vector<std::string_view> StatFields(std::string_view stat) {
    std::vector<std::string_view> fields;
    const auto close = stat.rfind(')');
    if (close == std::string_view::npos) return fields;
    std::string_view rest = stat.substr(close + 1);
    while (!rest.empty()) {
        const auto start = rest.find_first_not_of(' ');
        if (start == std::string_view::npos) break;
        rest.remove_prefix(start);
        const auto end = rest.find(' ');
        fields.push_back(rest.substr(0, end));
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end);
    }
    return fields;
}

std::uint64_t Number(std::string_view s) {
    std::uint64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return 0;
        v = v * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return v;
}

// The real user of a process as the Uid line of its status gives it (the owner of /proc/<pid>
// is root for a process that is not dumpable).
std::optional<uid_t> RealUidAt(int procFd, const std::string& pid) {
    const std::string status = ReadAt(procFd, pid + "/status", 8192);
    const auto at = status.find("\nUid:");
    if (at == std::string::npos) return std::nullopt;
    const char* text = status.c_str() + at + 5;
    char* end = nullptr;
    const unsigned long real = std::strtoul(text, &end, 10);
    if (end == text || real > 0xffffffffUL) return std::nullopt;
    return static_cast<uid_t>(real);
}

// "flatpak:<app id>" or "snap:<name>" from the process's cgroup, or "".
std::string AppScope(const std::string& cgroup) {
    const auto flatpak = cgroup.find("app-flatpak-");
    if (flatpak != std::string::npos) {
        const auto start = flatpak + 12;
        const auto end = cgroup.find(".scope", start);
        std::string id =
            cgroup.substr(start, end == std::string::npos ? std::string::npos : end - start);
        const auto dash = id.rfind('-');  // "-<instance number>"
        if (dash != std::string::npos) id.resize(dash);
        return "flatpak:" + id;
    }
    const auto snap = cgroup.find("/snap.");
    if (snap != std::string::npos) {
        const auto start = snap + 6;
        const auto end = cgroup.find('.', start);
        if (end != std::string::npos) return "snap:" + cgroup.substr(start, end - start);
    }
    return {};
}

// The directory of a thread of process `pid` that still runs its program, when its first thread
// ended (a zombie whose others run on): /proc/PID then shows no executable and no mappings,
// and a program could hide so from a look that goes by them. "" when there is none.
std::string LiveThread(int procFd, const std::string& pid) {
    platform::UniqueFd fd(
        ::openat(procFd, (pid + "/task").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    DIR* dir = fd.valid() ? ::fdopendir(fd.get()) : nullptr;
    if (!dir) return {};
    fd.release();  // the directory stream owns it now
    std::string found;
    while (const dirent* d = ::readdir(dir)) {
        if (d->d_name[0] < '1' || d->d_name[0] > '9' || pid == d->d_name) continue;
        const std::string task = pid + "/task/" + d->d_name;
        if (!ReadLinkAt(procFd, task + "/exe").empty()) {
            found = task;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

constexpr unsigned kRecheckScans = 16;
constexpr unsigned kFullScanEvery = 4;  // an exec of an older process is seen within 4 scans
constexpr long kYoungSeconds = 5;

}  // namespace

ProcScanner::ProcScanner(uid_t uid, std::shared_ptr<EngineProbe> probe)
    : uid_(uid),
      probe_(std::move(probe)),
      procFd_(::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}

ProcScanner::~ProcScanner() = default;

std::uint64_t ProcScanner::StartTime(int pid) {
    const std::string stat = ReadAt(AT_FDCWD, "/proc/" + std::to_string(pid) + "/stat");
    const auto fields = StatFields(stat);
    return fields.size() > 19 ? Number(fields[19]) : 0;  // field 22
}

bool ProcScanner::StillRuns(int pid) {
    if (pid <= 0) return false;
    const std::string dir = "/proc/" + std::to_string(pid);
    const std::string stat = ReadAt(AT_FDCWD, dir + "/stat");
    const auto fields = StatFields(stat);  // field 3, the state, first
    if (fields.empty() || fields[0] == "X") return false;
    if (fields[0] != "Z") return true;
    const std::string status = ReadAt(AT_FDCWD, dir + "/status");
    const auto at = status.find("\nThreads:");
    return at != std::string::npos && std::atoi(status.c_str() + at + 9) > 1;
}

int ProcScanner::SessionOf(int pid) {
    const std::string stat = ReadAt(AT_FDCWD, "/proc/" + std::to_string(pid) + "/stat");
    const auto fields = StatFields(stat);
    return fields.size() > 3 ? static_cast<int>(Number(fields[3])) : 0;  // field 6
}

std::string ProcScanner::Executable(int pid) {
    return ReadLinkAt(AT_FDCWD, "/proc/" + std::to_string(pid) + "/exe");
}

std::string ProcScanner::Describe(int pid, Entry& e) {
    const std::string dir = std::to_string(pid);
    ProcessInfo& info = e.info;
    info = ProcessInfo{};
    info.pid = pid;
    info.exe = e.exe;
    std::string stat = ReadAt(procFd_.get(), dir + "/stat");
    const auto fields = StatFields(stat);  // views into `stat`
    info.startTime = fields.size() > 19 ? Number(fields[19]) : 0;
    // Unread (the process was being set up, or descriptors ran out): described again at the
    // next scan, never known by a start time of 0 that no stop would match.
    if (info.startTime == 0) e.exe.clear();
    // The arguments are read from the process's memory, which the process may make hang: the
    // read is bounded, and one that did not answer is made again at the next scan.
    const std::optional<std::string> read =
        platform::ReadFileBounded(procFd_.get(), e.dir + "/cmdline", 8192);
    if (!read) e.exe.clear();
    const std::string cmdline = read.value_or(std::string());
    for (std::size_t at = 0; at < cmdline.size() && info.args.size() < 8;) {
        const auto end = cmdline.find('\0', at);
        info.args.push_back(cmdline.substr(at, end == std::string::npos ? end : end - at));
        if (end == std::string::npos) break;
        at = end + 1;
    }
    info.app = AppScope(ReadAt(procFd_.get(), dir + "/cgroup"));
    // The path as the process sees it names another file for the system: a mount namespace of
    // the account's own (or the file was replaced since). Such a path spares nothing.
    struct stat real {
    }, named{};
    info.exeFaked = ::fstatat(procFd_.get(), (e.dir + "/exe").c_str(), &real, 0) != 0 ||
                    ::stat(info.exe.c_str(), &named) != 0 || real.st_dev != named.st_dev ||
                    real.st_ino != named.st_ino;
    e.engineReads = 0;
    e.engineFinal = !probe_;
    e.watch = false;
    return stat;
}

EngineProbe::Sighting ProcScanner::SightingOf(int pid, const Entry& e) {
    EngineProbe::Sighting s;
    s.pid = pid;
    s.dir = e.dir;
    s.exe = e.info.exe;
    s.app = e.info.app;
    s.interpreted = IsInterpreted(e.info);
    s.program = ProgramOf(e.info);
    if (!s.program.empty() && s.program[0] != '/') {
        // Named relative to the process's working directory.
        const std::string cwd = ReadLinkAt(procFd_.get(), e.dir + "/cwd");
        if (!cwd.empty()) s.program = cwd + "/" + s.program;
    }
    s.reads = e.engineReads;
    return s;
}

void ProcScanner::Probe(int pid, Entry& e, std::uint64_t nowMs, std::string_view stat) {
    static const auto ticksPerSecond = static_cast<std::uint64_t>(::sysconf(_SC_CLK_TCK));
    const auto fields = StatFields(stat);
    const std::uint64_t startMs = e.info.startTime * 1000 / ticksPerSecond;
    EngineProbe::Sighting s = SightingOf(pid, e);
    s.ageMs = nowMs > startMs ? nowMs - startMs : 0;
    // utime and stime (fields 14 and 15), all threads'.
    if (fields.size() > 12)
        s.cpuMs = (Number(fields[11]) + Number(fields[12])) * 1000 / ticksPerSecond;
    s.state = fields.empty() || fields[0].empty() ? '\0' : fields[0][0];
    const EngineProbe::Verdict v = probe_->Look(procFd_.get(), s);
    e.info.engine = v.engine;
    e.info.package = v.package;
    e.info.copyOf = v.copyOf;
    e.engineReads = v.reads;
    e.engineFinal = v.final;
    e.watch = v.watch && v.engine == Engine::None;
    if (e.watch) e.vsize = fields.size() > 20 ? Number(fields[20]) : 0;  // field 23
    if (v.final) return;
    s.reads = v.reads;
    const std::int64_t due = EngineReadDueInMs(s);
    if (due >= 0 && (probeDueMs_ < 0 || due < probeDueMs_)) probeDueMs_ = due;
}

bool ProcScanner::Recheck() {
    if (!probe_ || watched_.empty()) return false;
    bool found = false;
    const std::size_t n = std::min(watched_.size(), kMaxRechecks);
    for (std::size_t i = 0; i < n; ++i) {
        const int pid = watched_[(nextRecheck_ + i) % watched_.size()];
        auto it = known_.find(pid);
        if (it == known_.end() || !it->second.watch || !it->second.engineFinal) continue;
        Entry& e = it->second;
        const std::string stat = ReadAt(procFd_.get(), e.dir + "/stat");
        const auto fields = StatFields(stat);  // views into `stat`
        if (fields.size() <= 20) continue;     // gone
        const std::uint64_t vsize = Number(fields[20]);
        if (vsize == e.vsize) continue;
        e.vsize = vsize;
        const EngineProbe::Verdict v = probe_->Recheck(procFd_.get(), SightingOf(pid, e));
        if (v.engine == Engine::None) continue;
        e.info.engine = v.engine;
        e.info.package = v.package;
        e.watch = false;
        found = true;
    }
    nextRecheck_ = (nextRecheck_ + n) % watched_.size();
    return found;
}

const std::vector<ProcessInfo>& ProcScanner::Scan() {
    current_.clear();
    if (!procFd_.valid()) return current_;
    for (auto& [pid, e] : known_) e.seen = false;
    const bool fullScan = ++scans_ % kFullScanEvery == 0;
    static const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
    timespec boot{};
    ::clock_gettime(CLOCK_BOOTTIME, &boot);
    const auto nowTicks =
        static_cast<std::uint64_t>(boot.tv_sec) * static_cast<std::uint64_t>(ticksPerSecond);
    const auto nowMs = static_cast<std::uint64_t>(boot.tv_sec) * 1000 +
                       static_cast<std::uint64_t>(boot.tv_nsec) / 1000000;
    probeDueMs_ = -1;
    const auto youngTicks = static_cast<std::uint64_t>(kYoungSeconds * ticksPerSecond);
    platform::UniqueFd fd(::openat(procFd_.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    DIR* dir = fd.valid() ? ::fdopendir(fd.get()) : nullptr;
    if (!dir) return current_;
    fd.release();  // the directory stream owns it now
    while (const dirent* d = ::readdir(dir)) {
        if (d->d_name[0] < '1' || d->d_name[0] > '9') continue;
        const int pid = std::atoi(d->d_name);
        auto [it, fresh] = known_.try_emplace(pid);
        Entry& e = it->second;
        e.seen = true;
        // A process can change its user without a new pid (setpriv, a login that drops root):
        // other users' processes are looked at again now and then.
        if (fresh || (!e.own && ++e.skipped % kRecheckScans == 0))
            e.own = [&] {
                // The owner of /proc/<pid>; a process that is not dumpable shows root there,
                // and then its status says.
                struct stat st {};
                if (::fstatat(procFd_.get(), d->d_name, &st, 0) != 0) return false;
                if (Owns(st.st_uid)) return true;
                if (st.st_uid != 0) return false;
                const auto real = RealUidAt(procFd_.get(), d->d_name);
                return real && *real != 0 && Owns(*real);
            }();
        if (!e.own) continue;
        // A process that has run for a while is looked at again every few scans only (an exec
        // keeps the pid): new processes are what starts all the time.
        if (!fresh && !e.exe.empty() && !fullScan && e.engineFinal &&
            e.info.startTime + youngTicks < nowTicks) {
            current_.push_back(e.info);
            continue;
        }
        std::string where = d->d_name;
        std::string exe = ReadLinkAt(procFd_.get(), where + "/exe");
        if (exe.empty()) {
            where = LiveThread(procFd_.get(), where);
            if (!where.empty()) exe = ReadLinkAt(procFd_.get(), where + "/exe");
        }
        if (exe.empty()) continue;  // a kernel thread, or gone
        e.dir = std::move(where);
        std::string stat;  // read by Describe for a new program, else by Probe when it asks
        const bool described = fresh || exe != e.exe;
        if (described) {
            e.exe = std::move(exe);
            stat = Describe(pid, e);
        }
        const bool probed = !e.engineFinal;
        if (probed) {
            // (a thread's own, when the first one ended: its state and its memory's size)
            if (stat.empty() || e.dir != d->d_name) stat = ReadAt(procFd_.get(), e.dir + "/stat");
            Probe(pid, e, nowMs, stat);
        }
        // A process that ran another program while it was read (a child between its fork and
        // its exec) is judged at the next scan, by what it runs then, never by a mix of both.
        if ((described || probed) && ReadLinkAt(procFd_.get(), e.dir + "/exe") != e.exe) {
            known_.erase(it);
            continue;
        }
        current_.push_back(e.info);
    }
    ::closedir(dir);
    watched_.clear();
    for (auto it = known_.begin(); it != known_.end();) {
        if (!it->second.seen) {
            it = known_.erase(it);
            continue;
        }
        if (it->second.own && it->second.watch) watched_.push_back(it->first);
        ++it;
    }
    return current_;
}

void ProcScanner::SetSubordinates(std::vector<std::pair<uid_t, uid_t>> ranges) {
    if (ranges == subordinates_) return;
    subordinates_ = std::move(ranges);
    known_.clear();  // every owner judged again
}

bool ProcScanner::Owns(uid_t uid) const {
    if (uid == uid_) return true;
    for (const auto& [first, last] : subordinates_)
        if (uid >= first && uid <= last) return true;
    return false;
}

std::optional<uid_t> ProcScanner::RealUid(int pid) {
    platform::UniqueFd proc(::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!proc.valid()) return std::nullopt;
    return RealUidAt(proc.get(), std::to_string(pid));
}

std::string OwnExecutable() {
    return ProcScanner::Executable(static_cast<int>(::getpid()));
}

}  // namespace enforce
