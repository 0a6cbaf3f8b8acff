// A log file that several processes append lines to while one of them may rewrite it whole:
// the file mechanics of the Block.log contract (see lib/blocklog/BlockLog.h), shared by the panel
// and the guard program.
//
//  - Appending: open for appending (creating the file), take an exclusive flock(), make sure the
//    path still names the locked file (a rewrite may have renamed a new one over it; then start
//    again), write the whole line in one write(), close.
//  - Rewriting: the same lock, then a temporary file "<name>.XXXXXX" in the same directory,
//    flushed and renamed over the log. Temporaries of rewrites killed before their rename are
//    removed under the lock.
//  - An installation may make the log's path a symbolic link into a directory its users can
//    write (the program directory itself stays read-only to them): that one link is followed and
//    nothing else; the log and its temporaries are opened without following links.
//  - A new log takes mode 0664 in a directory its group can write (so every member can append),
//    else 0644, whatever the umask.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "lib/platform/files/UniqueFd.h"

namespace platform {

// Which file a path named when it was opened.
struct FileId {
    std::uint64_t dev = 0, ino = 0;
    bool operator==(const FileId&) const = default;
};

// The log at a path (its one link followed), open and locked for as long as this object lives.
class LockedLog {
  public:
    // For reading: the existing log under a shared lock (no half-written line of an appender).
    static LockedLog ForReading(const std::string& path);
    // For rewriting: the log (created when absent) under the exclusive lock, made sure to be the
    // file the path names, with stale temporaries of killed rewrites removed.
    static LockedLog ForRewriting(const std::string& path);
    // For the log's only writer, which never waits: the log (created when absent) with the
    // exclusive lock when it is free, else without it (a reader holds it; a rename does not
    // disturb what that reader reads). Stale temporaries removed.
    static LockedLog ForSoleWriter(const std::string& path);

    // False with errno set when the log could not be opened and locked.
    bool valid() const { return fd_.valid(); }
    FileId Id() const { return id_; }
    // The whole file; false with errno set on a read error.
    bool Read(std::string& out) const;
    // Replaces the log whole with `bytes`: a temporary file in the same directory with this
    // file's mode, flushed and renamed over it. The new file's identity, or nothing with errno
    // set (the old file is then whole and the temporary gone).
    std::optional<FileId> Replace(std::string_view bytes) const;

  private:
    LockedLog(std::string path, UniqueFd fd);
    std::string path_;
    UniqueFd fd_;
    FileId id_;
    unsigned mode_ = 0644;
};

// Appends `bytes` to the file at `path` (created 0644 when absent) in one write, as O_APPEND
// keeps whole beside other appenders. False when it cannot be opened or written.
bool AppendToFile(const std::string& path, std::string_view bytes);

// Where the log at `path` really lives (the one link followed).
std::string ResolveSharedLog(const std::string& path);
// Opens the resolved log with `flags` (O_RDWR, O_WRONLY | O_APPEND, ...), creating it when absent,
// and holds `lock` (LOCK_EX, LOCK_SH) on the file the path names. -1 with errno on failure.
int OpenSharedLog(const std::string& path, int flags, int lock);
// The longest line the log holds, in bytes (escapes included); a longer one is cut with "…".
inline constexpr std::size_t kMaxLogLine = 2048;
// Appends `line` and CR LF, its control bytes but TAB (C0, DEL, C1, Unicode line separators,
// direction overrides, bytes of no UTF-8) written as \xNN, cut past kMaxLogLine: one line,
// whatever it quotes. False when the log cannot be opened or written.
bool AppendSharedLogLine(const std::string& path, const std::string& line);
// `line` as AppendSharedLogLine writes it, CR LF included.
std::string EncodeLogLine(const std::string& line);
// Opens the log at the resolved `path` with `flags`, never following a link there, creating it
// (mode as above) when absent. -1 with errno on failure.
int OpenLogFile(const std::string& path, int flags);
// Removes "<name>.XXXXXX" regular files beside the resolved log; call with its lock held.
void RemoveStaleLogTemporaries(const std::string& path);
// The directory part of `path`, with its trailing '/'.
std::string DirectoryOfPath(const std::string& path);

}  // namespace platform
