#include "guard/BlockLog.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

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
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}

}  // namespace

bool AppendBlockLogLine(const std::string& path, const std::string& line) {
    const std::string bytes = line + "\r\n";
    for (int attempt = 0; attempt < 100; ++attempt) {
        Fd fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
        if (fd.get() < 0) return false;
        if (::flock(fd.get(), LOCK_EX) != 0) return false;
        struct stat opened {
        }, named{};
        if (::fstat(fd.get(), &opened) != 0) return false;
        if (::stat(path.c_str(), &named) != 0 || named.st_ino != opened.st_ino ||
            named.st_dev != opened.st_dev)
            continue;  // the panel replaced the file meanwhile: append to the new one
        ssize_t n = ::write(fd.get(), bytes.data(), bytes.size());
        return n == static_cast<ssize_t>(bytes.size());
    }
    return false;
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
    Fd fd(::open(path_.c_str(), O_RDONLY | O_CLOEXEC));
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
    Fd current(::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    if (current.get() < 0) throw rtl::EInOutError::FromErrno(errno);
    if (::flock(current.get(), LOCK_EX) != 0) throw rtl::EInOutError::FromErrno(errno);
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

    std::string tmp = path_ + ".XXXXXX";
    Fd fresh(::mkstemp(tmp.data()));
    if (fresh.get() < 0) throw rtl::EInOutError::FromErrno(errno);
    try {
        ::fchmod(fresh.get(), st.st_mode & 07777);
        WriteAll(fresh.get(), out);
        if (::fsync(fresh.get()) != 0) throw rtl::EInOutError::FromErrno(errno);
        if (::rename(tmp.c_str(), path_.c_str()) != 0) throw rtl::EInOutError::FromErrno(errno);
    } catch (...) {
        ::unlink(tmp.c_str());
        throw;
    }
    Fd dir(::open(DirectoryOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
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
