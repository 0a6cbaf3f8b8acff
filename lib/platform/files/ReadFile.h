// Reading a small file whole: /proc entries, lists and desktop entries.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// The first `limit` bytes of `path` (relative to the directory `dirFd`, or AT_FDCWD); "" when it
// cannot be opened or read.
std::string ReadFileAt(int dirFd, const std::string& path, std::size_t limit);
// The first `limit` bytes of the open file `fd`, read from its start without moving its offset
// (a file held open for writing as well); "" when it cannot be read.
std::string ReadFromStart(int fd, std::size_t limit);

}  // namespace platform
