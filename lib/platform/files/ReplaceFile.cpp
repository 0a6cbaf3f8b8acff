#include "lib/platform/files/ReplaceFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "lib/platform/files/UniqueFd.h"

namespace platform {

namespace {

bool Fail(std::string* why, const std::string& text) {
    if (why) *why = text;
    return false;
}

}  // namespace

bool ReplaceFile(const std::string& path, const std::string& text, mode_t mode, std::string* why) {
    const auto slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "."
                            : slash == 0               ? "/"
                                                       : path.substr(0, slash);
    std::string temp = path + ".XXXXXX";
    UniqueFd fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (!fd.valid()) return Fail(why, "cannot write in " + dir + ": " + std::strerror(errno));
    bool ok = ::fchmod(fd.get(), mode) == 0;
    for (std::size_t done = 0; ok && done < text.size();) {
        const ssize_t n = ::write(fd.get(), text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += static_cast<std::size_t>(n);
    }
    ok = ok && ::fsync(fd.get()) == 0;
    const int error = errno;
    fd.reset();
    if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) {
        const int e = ok ? errno : error;
        ::unlink(temp.c_str());
        return Fail(why, "cannot write " + path + ": " + std::strerror(e));
    }
    if (UniqueFd d(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)); d.valid())
        ::fsync(d.get());
    return true;
}

}  // namespace platform
