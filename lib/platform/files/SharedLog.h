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

#include <string>

namespace platform {

// Where the log at `path` really lives (the one link followed).
std::string ResolveSharedLog(const std::string& path);
// Opens the resolved log with `flags` (O_RDWR, O_WRONLY | O_APPEND, ...), creating it when absent,
// and holds `lock` (LOCK_EX, LOCK_SH) on the file the path names. -1 with errno on failure.
int OpenSharedLog(const std::string& path, int flags, int lock);
// Appends `line` and CR LF. False when the log cannot be opened or written.
bool AppendSharedLogLine(const std::string& path, const std::string& line);
// Removes "<name>.XXXXXX" regular files beside the resolved log; call with its lock held.
void RemoveStaleLogTemporaries(const std::string& path);
// The directory part of `path`, with its trailing '/'.
std::string DirectoryOfPath(const std::string& path);

}  // namespace platform
