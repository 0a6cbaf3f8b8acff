// The text-file line rule: a line ends at CR (a following LF is skipped) or at a lone LF, and a
// byte 26 (Ctrl-Z) ends the text. Reading always yields at least one line, so an empty text gives
// one empty line; a last line without an end counts like any other.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace rtl {

struct LineSpan {
    std::uint64_t start;
    std::uint32_t length;
};

// Splits `text` into lines; offsets are relative to `text` plus `base`.
void SplitLines(std::string_view text, std::uint64_t base, std::vector<LineSpan>& out);

// The length of `text` up to its first byte 26, or all of it.
std::size_t TextLength(std::string_view text);

}  // namespace rtl
