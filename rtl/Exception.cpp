#include "rtl/Exception.h"

namespace rtl {

std::string Format(const std::string& pattern, const std::string& arg) {
    std::string out = pattern;
    if (auto at = out.find("%s"); at != std::string::npos) out.replace(at, 2, arg);
    return out;
}

}  // namespace rtl
