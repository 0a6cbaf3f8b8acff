// Reading a small file whole: /proc entries, lists and desktop entries.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// The first `limit` bytes of `path` (relative to the directory `dirFd`, or AT_FDCWD); "" when it
// cannot be opened or read.
std::string ReadFileAt(int dirFd, const std::string& path, std::size_t limit);

}  // namespace platform
