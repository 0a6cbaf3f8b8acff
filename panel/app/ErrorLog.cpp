#include "panel/app/ErrorLog.h"

#include <fcntl.h>
#include <unistd.h>

#include "lib/platform/core/Locale.h"

namespace app {

void AppendErrorLog(const std::string& message) {
    const std::string line = platform::LongTimeNow() + "\t" + message + "\r\n";
    int fd = ::open("Error.log", O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    // One write: with O_APPEND the line lands whole even when another process appends too.
    [[maybe_unused]] ssize_t written = ::write(fd, line.data(), line.size());
    ::close(fd);
}

}  // namespace app
