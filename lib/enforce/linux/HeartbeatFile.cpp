#include "lib/enforce/linux/HeartbeatFile.h"

#include <fcntl.h>
#include <unistd.h>

#include "lib/platform/files/ReadFile.h"

namespace enforce {
namespace {

// A record is a line of a few numbers: a file that holds more is not read past this.
constexpr std::size_t kMaxRecord = 4096;

}  // namespace

HeartbeatFile::HeartbeatFile(const std::string& path) {
    fd_.reset(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (fd_.valid()) previous_ = platform::ReadFromStart(fd_.get(), kMaxRecord);
}

HeartbeatFile::~HeartbeatFile() = default;

void HeartbeatFile::Write(const std::string& record) {
    if (!fd_.valid()) return;
    if (::pwrite(fd_.get(), record.data(), record.size(), 0) == static_cast<ssize_t>(record.size()))
        [[maybe_unused]]
        int ignored = ::ftruncate(fd_.get(), static_cast<off_t>(record.size()));
}

}  // namespace enforce
