// Writing a small file whole, so that a reader (or a crash) meets the old one or the new one,
// never half of either: a temporary file beside it, synced, renamed over it.
#pragma once

#include <sys/types.h>
#include <string>

namespace platform {

// False, with why, when it could not be written; the old file then stays as it was.
bool ReplaceFile(const std::string& path, const std::string& text, mode_t mode, std::string* why);

}  // namespace platform
