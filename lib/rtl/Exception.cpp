#include "lib/rtl/Exception.h"

#include <cerrno>
#include <cstring>

namespace rtl {

EInOutError EInOutError::FromErrno(int error) {
    if (error == ENOENT) return EInOutError("File not found");
    if (error == EACCES || error == EPERM) return EInOutError("Access denied");
    return EInOutError(std::string("I/O error: ") + std::strerror(error));
}

std::string Format(const std::string& pattern, const std::string& arg) {
    std::string out = pattern;
    if (auto at = out.find("%s"); at != std::string::npos) out.replace(at, 2, arg);
    return out;
}

}  // namespace rtl
