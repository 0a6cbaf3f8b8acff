// The text-file line rule on any bytes: spans stay inside the text and hold no line end.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "lib/rtl/TextLines.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<rtl::LineSpan> lines;
    rtl::SplitLines(text, 0, lines);
    if (lines.empty()) std::abort();
    for (const auto& l : lines) {
        if (l.start + l.length > size) std::abort();
        const std::string_view line = text.substr(l.start, l.length);
        if (line.find_first_of("\r\n\x1a") != std::string_view::npos) std::abort();
    }
    return 0;
}
