#include "guard/BlockLog.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>

#include "rtl/Exception.h"

namespace guard {
namespace {

class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

std::string ReadFrom(int fd, std::uint64_t offset) {
    std::string out;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && static_cast<std::uint64_t>(st.st_size) > offset)
        out.reserve(static_cast<std::size_t>(static_cast<std::uint64_t>(st.st_size) - offset));
    char buf[1 << 16];
    auto at = static_cast<off_t>(offset);
    for (;;) {
        ssize_t n = ::pread(fd, buf, sizeof buf, at);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw rtl::EInOutError::FromErrno(errno);
        if (n == 0) break;
        out.append(buf, static_cast<std::size_t>(n));
        at += n;
    }
    return out;
}

void WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw rtl::EInOutError::FromErrno(n < 0 ? errno : ENOSPC);
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

std::uint64_t Fingerprint(std::string_view bytes) {
    std::uint64_t h = 1469598103934665603ull;  // FNV-1a
    for (unsigned char c : bytes) h = (h ^ c) * 1099511628211ull;
    return h;
}

std::string DirectoryOf(const std::string& path) {
    auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

// Mode of a new log: readable by all, and writable by the directory's group when the directory
// is (the members of an installation's group share one log), whatever the umask says.
mode_t NewLogMode(const std::string& dir) {
    struct stat st {};
    const bool groupWrites = ::stat(dir.c_str(), &st) == 0 && (st.st_mode & S_IWGRP);
    return groupWrites ? 0664 : 0644;
}

// Opens the log with `flags`, creating it with NewLogMode() when absent. The last component is
// never followed if it is a symbolic link. -1 with errno set on failure.
int OpenLog(const std::string& path, int flags) {
    flags |= O_CLOEXEC | O_NOFOLLOW;
    for (int attempt = 0; attempt < 10; ++attempt) {
        const mode_t mode = NewLogMode(DirectoryOf(path));
        int fd = ::open(path.c_str(), flags | O_CREAT | O_EXCL, mode);
        if (fd >= 0) {
            ::fchmod(fd, mode);
            return fd;
        }
        if (errno != EEXIST) return -1;
        fd = ::open(path.c_str(), flags);
        if (fd >= 0 || errno != ENOENT) return fd;  // removed in between: create it after all
    }
    return -1;
}

// Opens the log as OpenLog() does and takes `lock` on it, making sure the path still names the
// file that was locked: a rewrite may have renamed a new file over it meanwhile.
int OpenLocked(const std::string& path, int flags, int lock) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        Fd fd(OpenLog(path, flags));
        if (fd.get() < 0) return -1;
        if (::flock(fd.get(), lock) != 0) return -1;
        struct stat opened {
        }, named{};
        if (::fstat(fd.get(), &opened) != 0) return -1;
        if (::lstat(path.c_str(), &named) != 0 || named.st_ino != opened.st_ino ||
            named.st_dev != opened.st_dev)
            continue;
        return ::dup(fd.get());
    }
    errno = EAGAIN;
    return -1;
}

// "Block.log.XXXXXX" as mkstemp() makes it from "Block.log.XXXXXX".
bool IsTemporaryOf(const std::string& name, const std::string& base) {
    if (name.size() != base.size() + 7 || name.compare(0, base.size() + 1, base + ".") != 0)
        return false;
    for (std::size_t i = base.size() + 1; i < name.size(); ++i)
        if (!std::isalnum(static_cast<unsigned char>(name[i]))) return false;
    return true;
}

// Removes the temporary files that rewrites killed before their rename left behind. Called with
// the log's lock held, when no other rewrite can be running.
void RemoveStaleTemporaries(const std::string& path) {
    const std::string dir = DirectoryOf(path);
    const std::string base = path.substr(dir.size());
    DIR* d = ::opendir(dir.c_str());
    if (!d) return;
    while (dirent* e = ::readdir(d)) {
        if (!IsTemporaryOf(e->d_name, base)) continue;
        struct stat st {};
        if (::fstatat(::dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
            ::unlinkat(::dirfd(d), e->d_name, 0);
    }
    ::closedir(d);
}

}  // namespace

std::string ResolveBlockLogPath(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::string target(PATH_MAX, '\0');
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= target.size()) return path;
    target.resize(static_cast<std::size_t>(n));
    return target[0] == '/' ? target : DirectoryOf(path) + target;
}

bool AppendBlockLogLine(const std::string& path, const std::string& line) {
    const std::string bytes = line + "\r\n";
    Fd fd(OpenLocked(ResolveBlockLogPath(path), O_WRONLY | O_APPEND, LOCK_EX));
    if (fd.get() < 0) return false;
    ssize_t n = ::write(fd.get(), bytes.data(), bytes.size());
    return n == static_cast<ssize_t>(bytes.size());
}

void BlockLog::Hold(std::string text, bool emptyMeansNoLines) {
    text_ = std::move(text);
    lines_.clear();
    if (!(emptyMeansNoLines && text_.empty())) rtl::SplitLines(text_, 0, lines_);
}

void BlockLog::Load() {
    text_.clear();
    lines_.clear();
    known_ = false;
    Fd fd(::open(ResolveBlockLogPath(path_).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (fd.get() < 0) throw rtl::EInOutError::FromErrno(errno);
    ::flock(fd.get(), LOCK_SH);  // no half-written line of the guard
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) throw rtl::EInOutError::FromErrno(errno);
    std::string text = ReadFrom(fd.get(), 0);
    known_ = true;
    dev_ = st.st_dev;
    ino_ = st.st_ino;
    size_ = text.size();
    fingerprint_ = Fingerprint(text);
    Hold(std::move(text), false);  // an existing empty file is one empty line
}

void BlockLog::Clear() {
    text_.clear();
    lines_.clear();
}

void BlockLog::WriteBack() {
    const std::string path = ResolveBlockLogPath(path_);
    Fd current(OpenLocked(path, O_RDWR, LOCK_EX));
    if (current.get() < 0) throw rtl::EInOutError::FromErrno(errno);
    RemoveStaleTemporaries(path);
    struct stat st {};
    if (::fstat(current.get(), &st) != 0) throw rtl::EInOutError::FromErrno(errno);
    // What the file holds beyond what was loaded or last written is the guard's. A file that
    // was replaced or rewritten by someone else (its start no longer matches) is all new.
    const std::string now = ReadFrom(current.get(), 0);
    const bool same = known_ && st.st_dev == dev_ && st.st_ino == ino_ && now.size() >= size_ &&
                      Fingerprint(std::string_view(now).substr(0, size_)) == fingerprint_;
    const std::string_view tail = std::string_view(now).substr(same ? size_ : 0);

    std::string out;
    out.reserve(text_.size() + 2 * lines_.size() + tail.size());
    for (const auto& line : lines_) {
        out.append(text_, line.start, line.length);
        out += "\r\n";
    }
    out += tail;

    std::string tmp = path + ".XXXXXX";
    Fd fresh(::mkstemp(tmp.data()));
    if (fresh.get() < 0) throw rtl::EInOutError::FromErrno(errno);
    try {
        ::fchmod(fresh.get(), st.st_mode & 07777);
        WriteAll(fresh.get(), out);
        if (::fsync(fresh.get()) != 0) throw rtl::EInOutError::FromErrno(errno);
        if (::rename(tmp.c_str(), path.c_str()) != 0) throw rtl::EInOutError::FromErrno(errno);
    } catch (...) {
        ::unlink(tmp.c_str());
        throw;
    }
    Fd dir(::open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) ::fsync(dir.get());
    struct stat written {};
    ::fstat(fresh.get(), &written);
    known_ = true;
    dev_ = written.st_dev;
    ino_ = written.st_ino;
    size_ = out.size();
    fingerprint_ = Fingerprint(out);
    Hold(std::move(out), true);
    // Closing `current` releases the lock; a guard waiting on it sees the path moved on.
}

}  // namespace guard
