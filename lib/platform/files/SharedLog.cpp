#include "lib/platform/files/SharedLog.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>

#include "lib/platform/files/UniqueFd.h"

namespace platform {
namespace {

using Fd = UniqueFd;

// Mode of a new log: readable by all, and writable by the directory's group when the directory
// is (the members of an installation's group share one log), whatever the umask says.
mode_t NewLogMode(const std::string& dir) {
    struct stat st {};
    const bool groupWrites = ::stat(dir.c_str(), &st) == 0 && (st.st_mode & S_IWGRP);
    return groupWrites ? 0664 : 0644;
}

}  // namespace

int OpenLogFile(const std::string& path, int flags) {
    flags |= O_CLOEXEC | O_NOFOLLOW;
    for (int attempt = 0; attempt < 10; ++attempt) {
        const mode_t mode = NewLogMode(DirectoryOfPath(path));
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

namespace {

// "Block.log.XXXXXX" as mkstemp() makes it from "Block.log.XXXXXX".
bool IsTemporaryOf(const std::string& name, const std::string& base) {
    if (name.size() != base.size() + 7 || name.compare(0, base.size() + 1, base + ".") != 0)
        return false;
    for (std::size_t i = base.size() + 1; i < name.size(); ++i)
        if (!std::isalnum(static_cast<unsigned char>(name[i]))) return false;
    return true;
}

}  // namespace

std::string DirectoryOfPath(const std::string& path) {
    auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

std::string ResolveSharedLog(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::string target(PATH_MAX, '\0');
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= target.size()) return path;
    target.resize(static_cast<std::size_t>(n));
    return target[0] == '/' ? target : DirectoryOfPath(path) + target;
}

int OpenSharedLog(const std::string& path, int flags, int lock) {
    // A rewrite may rename a new file over the path while we wait for the lock of the old one.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        Fd fd(OpenLogFile(path, flags));
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

namespace {

// The length of the valid UTF-8 sequence at `at` (2 to 4 bytes), or 0 when none starts there.
std::size_t Utf8Length(const std::string& s, std::size_t at, char32_t* cp) {
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = b(at);
    std::size_t n = 0;
    char32_t value = 0;
    if (lead >= 0xc2 && lead <= 0xdf) {
        n = 2;
        value = lead & 0x1f;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        n = 3;
        value = lead & 0x0f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        n = 4;
        value = lead & 0x07;
    } else {
        return 0;
    }
    if (at + n > s.size()) return 0;
    for (std::size_t i = 1; i < n; ++i) {
        if ((b(at + i) & 0xc0) != 0x80) return 0;
        value = (value << 6) | (b(at + i) & 0x3f);
    }
    // No overlong forms, no surrogates, nothing past U+10FFFF.
    if ((n == 3 && value < 0x800) || (n == 4 && (value < 0x10000 || value > 0x10ffff)) ||
        (value >= 0xd800 && value <= 0xdfff))
        return 0;
    *cp = value;
    return n;
}

// Characters a viewer may take for a line break, a control sequence or a change of direction.
bool Unsafe(char32_t c) {
    return (c >= 0x80 && c <= 0x9f) || c == 0x2028 || c == 0x2029 || c == 0x061c || c == 0x200e ||
           c == 0x200f || (c >= 0x202a && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069);
}

void AppendEscaped(std::string& out, unsigned char u) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += "\\x";
    out += kHex[u >> 4];
    out += kHex[u & 15];
}

}  // namespace

std::string EncodeLogLine(const std::string& line) {
    // One event, one line, plain to every viewer: a line break, another control byte, a C1
    // control, a Unicode line or paragraph separator, a direction override or a byte that is no
    // UTF-8 (a program's path is any bytes its owner chose) is written as \xNN for each of its
    // bytes, so no line can pass for another or hide what it says. Past kMaxLogLine bytes the
    // line is cut, with an ellipsis.
    std::string bytes;
    bytes.reserve(std::min(line.size(), kMaxLogLine) + 8);
    for (std::size_t at = 0; at < line.size();) {
        if (bytes.size() >= kMaxLogLine) {
            bytes += "\xe2\x80\xa6";  // "…"
            break;
        }
        const auto u = static_cast<unsigned char>(line[at]);
        if (u < 0x80) {
            if ((u < 0x20 && u != '\t') || u == 0x7f)
                AppendEscaped(bytes, u);
            else
                bytes += line[at];
            ++at;
            continue;
        }
        char32_t cp = 0;
        const std::size_t n = Utf8Length(line, at, &cp);
        if (n == 0) {
            AppendEscaped(bytes, u);
            ++at;
            continue;
        }
        if (Unsafe(cp)) {
            for (std::size_t i = 0; i < n; ++i)
                AppendEscaped(bytes, static_cast<unsigned char>(line[at + i]));
        } else {
            bytes.append(line, at, n);
        }
        at += n;
    }
    bytes += "\r\n";
    return bytes;
}

bool AppendSharedLogLine(const std::string& path, const std::string& line) {
    const std::string bytes = EncodeLogLine(line);
    Fd fd(OpenSharedLog(ResolveSharedLog(path), O_WRONLY | O_APPEND, LOCK_EX));
    if (fd.get() < 0) return false;
    ssize_t n = ::write(fd.get(), bytes.data(), bytes.size());
    return n == static_cast<ssize_t>(bytes.size());
}

LockedLog LockedLog::ForSoleWriter(const std::string& path) {
    std::string resolved = ResolveSharedLog(path);
    UniqueFd fd(OpenLogFile(resolved, O_RDWR));
    if (fd.valid()) {
        (void)::flock(fd.get(), LOCK_EX | LOCK_NB);
        RemoveStaleLogTemporaries(resolved);
    }
    return {std::move(resolved), std::move(fd)};
}

LockedLog::LockedLog(std::string path, UniqueFd fd) : path_(std::move(path)), fd_(std::move(fd)) {
    struct stat st {};
    if (fd_.valid() && ::fstat(fd_.get(), &st) == 0) {
        id_ = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
        mode_ = st.st_mode & 07777;
    }
}

LockedLog LockedLog::ForReading(const std::string& path) {
    std::string resolved = ResolveSharedLog(path);
    UniqueFd fd(::open(resolved.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (fd.valid() && ::flock(fd.get(), LOCK_SH) != 0) fd.reset();
    return {std::move(resolved), std::move(fd)};
}

LockedLog LockedLog::ForRewriting(const std::string& path) {
    std::string resolved = ResolveSharedLog(path);
    UniqueFd fd(OpenSharedLog(resolved, O_RDWR, LOCK_EX));
    if (fd.valid()) RemoveStaleLogTemporaries(resolved);
    return {std::move(resolved), std::move(fd)};
}

bool LockedLog::Read(std::string& out) const {
    out.clear();
    struct stat st {};
    if (::fstat(fd_.get(), &st) == 0) out.reserve(static_cast<std::size_t>(st.st_size));
    char buf[1 << 16];
    off_t at = 0;
    for (;;) {
        const ssize_t n = ::pread(fd_.get(), buf, sizeof buf, at);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        out.append(buf, static_cast<std::size_t>(n));
        at += n;
    }
}

std::optional<FileId> LockedLog::Replace(std::string_view bytes) const {
    std::string tmp = path_ + ".XXXXXX";
    UniqueFd fresh(::mkstemp(tmp.data()));
    if (!fresh.valid()) return std::nullopt;
    ::fchmod(fresh.get(), mode_);
    bool ok = true;
    for (std::string_view left = bytes; ok && !left.empty();) {
        const ssize_t n = ::write(fresh.get(), left.data(), left.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            ok = false;
        } else {
            left.remove_prefix(static_cast<std::size_t>(n));
        }
    }
    ok = ok && ::fsync(fresh.get()) == 0 && ::rename(tmp.c_str(), path_.c_str()) == 0;
    if (!ok) {
        const int saved = errno;
        ::unlink(tmp.c_str());
        errno = saved;
        return std::nullopt;
    }
    const UniqueFd dir(::open(DirectoryOfPath(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.valid()) ::fsync(dir.get());
    struct stat written {};
    ::fstat(fresh.get(), &written);
    return FileId{static_cast<std::uint64_t>(written.st_dev),
                  static_cast<std::uint64_t>(written.st_ino)};
}

bool AppendToFile(const std::string& path, std::string_view bytes) {
    const UniqueFd fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
    return fd.valid() &&
           ::write(fd.get(), bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

void RemoveStaleLogTemporaries(const std::string& path) {
    const std::string dir = DirectoryOfPath(path);
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

}  // namespace platform
