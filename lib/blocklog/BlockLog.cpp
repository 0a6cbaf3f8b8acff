#include "lib/blocklog/BlockLog.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <unordered_map>

#include "lib/platform/files/SharedLog.h"
#include "lib/platform/files/UniqueFd.h"
#include "lib/rtl/Exception.h"

namespace guard {
namespace {

using Fd = platform::UniqueFd;

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

// The lines of `text` (each with CR LF) that `known` does not account for, counting repeats.
std::string LinesNotIn(std::string_view text, const std::vector<std::uint64_t>& known) {
    std::unordered_map<std::uint64_t, std::size_t> count;
    for (std::uint64_t h : known) ++count[h];
    std::vector<rtl::LineSpan> lines;
    if (!text.empty()) rtl::SplitLines(text, 0, lines);
    std::string out;
    for (const auto& l : lines) {
        const std::string_view line = text.substr(l.start, l.length);
        auto it = count.find(Fingerprint(line));
        if (it != count.end() && it->second > 0) {
            --it->second;
            continue;
        }
        out.append(line).append("\r\n");
    }
    return out;
}

}  // namespace

bool AppendBlockLogLine(const std::string& path, const std::string& line) {
    return platform::AppendSharedLogLine(path, line);
}

void BlockLog::Load() {
    text_.clear();
    lines_.clear();
    known_ = false;
    Fd fd(::open(platform::ResolveSharedLog(path_).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
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

std::vector<std::uint64_t> BlockLog::HeldFingerprints() const {
    std::vector<std::uint64_t> out;
    out.reserve(lines_.size());
    for (std::size_t i = 0; i < lines_.size(); ++i) out.push_back(Fingerprint(Line(i)));
    return out;
}

void BlockLog::Hold(std::string text, bool emptyMeansNoLines) {
    text_ = std::move(text);
    lines_.clear();
    if (!(emptyMeansNoLines && text_.empty())) rtl::SplitLines(text_, 0, lines_);
    cleared_ = false;
    clearedLines_.clear();
}

void BlockLog::Clear() {
    // Until now the held lines were the file's; keep what is needed to know them again.
    if (!cleared_) clearedLines_ = HeldFingerprints();
    cleared_ = true;
    text_.clear();
    lines_.clear();
}

void BlockLog::WriteBack() {
    const std::string path = platform::ResolveSharedLog(path_);
    Fd current(platform::OpenSharedLog(path, O_RDWR, LOCK_EX));
    if (current.get() < 0) throw rtl::EInOutError::FromErrno(errno);
    platform::RemoveStaleLogTemporaries(path);
    struct stat st {};
    if (::fstat(current.get(), &st) != 0) throw rtl::EInOutError::FromErrno(errno);
    // What the file holds beyond what was loaded or last written is the guard's. A file that
    // was replaced or rewritten by someone else (another panel's statistics window) is new only
    // in the lines this window has not seen: the other window wrote back what both had loaded.
    const std::string now = ReadFrom(current.get(), 0);
    const bool same = known_ && st.st_dev == dev_ && st.st_ino == ino_ && now.size() >= size_ &&
                      Fingerprint(std::string_view(now).substr(0, size_)) == fingerprint_;
    std::string unseen;
    std::string_view tail = std::string_view(now).substr(same ? size_ : 0);
    if (!same && known_) {
        unseen = LinesNotIn(now, cleared_ ? clearedLines_ : HeldFingerprints());
        tail = unseen;
    }

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
    Fd dir(::open(platform::DirectoryOfPath(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
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
