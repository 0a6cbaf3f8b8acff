// Reads of files that may never answer. The files below /proc/PID that reach into a process's
// memory (cmdline, maps) wait for that memory, and a process can make its memory a mapping of a
// file of its own FUSE mount that never answers: a plain read would hang the reader for good.
// Such a read is made on a worker thread and waited for at most a given time; a worker that does
// not come back in time is left to finish on its own, and while kMaxStuckReads workers hang, no
// such read is tried at all (each answers "not read" at once).
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace platform {

inline constexpr int kBoundedReadMs = 250;
inline constexpr int kMaxStuckReads = 4;

// The first `limit` bytes of `path` (relative to `dirFd`, or AT_FDCWD) as ReadFileAt() reads
// them; nothing when the read did not answer within `timeoutMs`, or too many earlier ones hang.
// For one thread at a time.
std::optional<std::string> ReadFileBounded(int dirFd, const std::string& path, std::size_t limit,
                                           int timeoutMs = kBoundedReadMs);
// Reads that did not answer in time and have not finished since.
int StuckReads();

}  // namespace platform
