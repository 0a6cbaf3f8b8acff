#include "lib/platform/files/ReadFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "lib/platform/files/UniqueFd.h"

namespace platform {

std::string ReadFileAt(int dirFd, const std::string& path, std::size_t limit) {
    const UniqueFd fd(::openat(dirFd, path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (!fd.valid()) return {};
    // /proc files report no size: read in steps, growing the buffer.
    std::string out;
    std::size_t used = 0;
    while (used < limit) {
        if (out.size() == used) out.resize(std::min(limit, std::max<std::size_t>(4096, used * 2)));
        const ssize_t n = ::read(fd.get(), out.data() + used, out.size() - used);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        used += static_cast<std::size_t>(n);
    }
    out.resize(used);
    return out;
}

std::string ReadFromStart(int fd, std::size_t limit) {
    std::string out;
    char buf[512];
    while (out.size() < limit) {
        const ssize_t n = ::pread(fd, buf, std::min(sizeof buf, limit - out.size()),
                                  static_cast<off_t>(out.size()));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    return out;
}

}  // namespace platform
