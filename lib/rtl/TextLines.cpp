#include "lib/rtl/TextLines.h"

#include <cstring>

namespace rtl {

std::size_t TextLength(std::string_view text) {
    const void* eof = std::memchr(text.data(), 26, text.size());
    return eof ? static_cast<std::size_t>(static_cast<const char*>(eof) - text.data())
               : text.size();
}

void SplitLines(std::string_view text, std::uint64_t base, std::vector<LineSpan>& out) {
    text = text.substr(0, TextLength(text));
    const char* p = text.data();
    const char* end = p + text.size();
    do {
        const char* line = p;
        while (p != end && *p != '\r' && *p != '\n') ++p;
        out.push_back({base + static_cast<std::uint64_t>(line - text.data()),
                       static_cast<std::uint32_t>(p - line)});
        if (p != end) {
            if (*p == '\r' && p + 1 != end && p[1] == '\n') ++p;
            ++p;
        }
    } while (p != end);
}

}  // namespace rtl
