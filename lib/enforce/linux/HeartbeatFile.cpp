#include "lib/enforce/linux/HeartbeatFile.h"

#include <fcntl.h>
#include <unistd.h>

namespace enforce {
namespace {

std::string ReadAll(int fd) {
    std::string out;
    char buf[512];
    for (off_t at = 0;;) {
        const ssize_t n = ::pread(fd, buf, sizeof buf, at);
        if (n <= 0) break;
        out.append(buf, static_cast<std::size_t>(n));
        at += n;
    }
    return out;
}

}  // namespace

HeartbeatFile::HeartbeatFile(const std::string& path) {
    fd_.reset(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (fd_.valid()) previous_ = ReadAll(fd_.get());
}

HeartbeatFile::~HeartbeatFile() = default;

void HeartbeatFile::Write(const std::string& record) {
    if (!fd_.valid()) return;
    if (::pwrite(fd_.get(), record.data(), record.size(), 0) == static_cast<ssize_t>(record.size()))
        [[maybe_unused]]
        int ignored = ::ftruncate(fd_.get(), static_cast<off_t>(record.size()));
}

}  // namespace enforce
