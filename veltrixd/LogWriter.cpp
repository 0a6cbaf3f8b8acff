#include "veltrixd/LogWriter.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTimer>

#include <cerrno>
#include <cstring>

#include "lib/platform/files/SharedLog.h"

namespace veltrixd {
namespace {

// Where the first `bytes` of `text` end on a line boundary: a line cut in two stays whole.
std::size_t WholeLinesIn(std::string_view text, std::uint64_t bytes) {
    std::size_t cut = static_cast<std::size_t>(std::min<std::uint64_t>(bytes, text.size()));
    if (cut < text.size() && cut > 0 && text[cut - 1] != '\n') {
        const std::size_t lineEnd = text.rfind('\n', cut);
        cut = lineEnd == std::string_view::npos ? 0 : lineEnd + 1;
    }
    return cut;
}

// Removes the first `bytes` (whole lines) of the open log; false with `why` set.
bool CutFront(const platform::LockedLog& log, std::uint64_t bytes, std::string* why) {
    std::string text;
    if (!log.Read(text) || !log.Replace(std::string_view(text).substr(WholeLinesIn(text, bytes)))) {
        *why = std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace

LogWriter::LogWriter(std::string path, Outside& outside)
    : path_(std::move(path)), outside_(outside), retry_(std::make_unique<QTimer>()) {
    retry_->setSingleShot(true);
    connect(retry_.get(), &QTimer::timeout, this, [this] { Flush(); });
}

LogWriter::~LogWriter() {
    // A last try for what is queued (the stop line among it), and no wait for any lock.
    lockBusySince_ = -1 - kLockPatienceMs;
    Flush();
}

std::string LogWriter::PreviousPath() const {
    return platform::ResolveSharedLog(path_) + ".1";
}

void LogWriter::Append(const std::string& line) {
    queue_.push_back(platform::EncodeLogLine(line));
    queuedBytes_ += queue_.back().size();
    while (queuedBytes_ > kMaxQueuedBytes && queue_.size() > 1) {
        queuedBytes_ -= queue_.front().size();
        queue_.pop_front();
        ++dropped_;
    }
    Flush();  // a lock attempt or a failed open costs a system call, never a wait
}

void LogWriter::Retry(int ms) {
    if (!retry_->isActive()) retry_->start(ms);
}

bool LogWriter::Flush() {
    while (!queue_.empty()) {
        if (!WriteSome()) return false;
    }
    retry_->stop();
    return true;
}

// One open of the log: what the queue holds, in writes of whole lines, until the log is due a
// rotation. False when nothing could be written now.
bool LogWriter::WriteSome() {
    const std::string path = platform::ResolveSharedLog(path_);
    const platform::UniqueFd fd(platform::OpenLogFile(path, O_WRONLY | O_APPEND));
    auto failed = [this, &path] {
        if (!toldError_)
            outside_.Say("cannot write " + path + " (" + std::strerror(errno) +
                         "): " + std::to_string(queue_.size()) + " lines wait to be written");
        toldError_ = true;
        Retry(kWriteRetryMs);
        return false;
    };
    if (!fd.valid()) return failed();
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) {
        lockBusySince_ = -1;
    } else {
        // A reader holds the lock. Wait a little (it reads in moments), never longer.
        const std::int64_t now = outside_.NowMs();
        if (lockBusySince_ < 0) lockBusySince_ = now;
        if (now - lockBusySince_ < kLockPatienceMs) {
            Retry(kLockRetryMs);
            return false;
        }
        if (!toldLock_)
            outside_.Say("another process held the log's lock for over " +
                         std::to_string(kLockPatienceMs) + " ms: the service writes without it");
        toldLock_ = true;
    }
    while (!queue_.empty()) {
        std::string bytes;
        if (dropped_ > 0) {
            bytes = platform::EncodeLogLine(
                std::to_string(dropped_) +
                " lines of the log were lost: it could not be written for a long time");
        }
        std::size_t lines = 0;
        for (const std::string& line : queue_) {
            bytes += line;
            ++lines;
            if (bytes.size() >= (1u << 16)) break;  // one write of at most about 64 KiB
        }
        const ssize_t n = ::write(fd.get(), bytes.data(), bytes.size());
        if (n != static_cast<ssize_t>(bytes.size())) {
            if (n >= 0) errno = ENOSPC;
            return failed();
        }
        if (toldError_) outside_.Say("the log can be written again");
        toldError_ = false;
        dropped_ = 0;
        for (; lines > 0; --lines) {
            queuedBytes_ -= queue_.front().size();
            queue_.pop_front();
        }
        struct stat st {};
        if (::fstat(fd.get(), &st) == 0 && static_cast<std::uint64_t>(st.st_size) >= kRotateBytes) {
            Rotate(static_cast<std::uint64_t>(st.st_size));
            break;  // the rest goes into the new log
        }
    }
    return true;
}

void LogWriter::Rotate(std::uint64_t size) {
    const std::string path = platform::ResolveSharedLog(path_);
    if (::rename(path.c_str(), PreviousPath().c_str()) != 0) {
        outside_.Say("cannot rotate " + path + " at " + std::to_string(size) +
                     " bytes: " + std::strerror(errno));
        return;
    }
    outside_.PrepareLog();  // the new, empty log, given to the group
}

bool LogWriter::Clear(const SeenLog& seen, std::string* why) {
    lockBusySince_ = -1 - kLockPatienceMs;  // what was queued goes before the cut, at once
    Flush();
    const platform::LockedLog log = platform::LockedLog::ForSoleWriter(path_);
    if (!log.valid()) {
        *why = std::strerror(errno);
        return false;
    }
    const std::string previous = PreviousPath();
    struct stat st {};
    const bool havePrevious = ::lstat(previous.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    if (seen.inode == 0 || log.Id().ino == seen.inode) {
        if (!CutFront(log, seen.bytes, why)) return false;
        outside_.PrepareLog();  // the new file is root's own group's until given to the group
        if (havePrevious && seen.previousBytes > 0) {
            if (seen.previousBytes >= static_cast<std::uint64_t>(st.st_size))
                return ::unlink(previous.c_str()) == 0 || (*why = std::strerror(errno), false);
            const platform::LockedLog before = platform::LockedLog::ForSoleWriter(previous);
            if (!before.valid() || !CutFront(before, seen.previousBytes, why)) return false;
        }
        return true;
    }
    // The log was rotated since the window read it: what it saw is the part kept before now,
    // and what it saw before that is gone already.
    if (havePrevious && st.st_ino == seen.inode) {
        const platform::LockedLog before = platform::LockedLog::ForSoleWriter(previous);
        if (!before.valid() || !CutFront(before, seen.bytes, why)) return false;
    }
    return true;
}

}  // namespace veltrixd
