// Integer <-> text conversions with the exact behaviour the stored values rely on.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace rtl {

// Decimal text: optional minus sign, digits, no leading zeros, no grouping.
std::string IntToStr(std::int64_t value);

// Whole decimal number (optional sign, no blanks) in the range of a signed 32-bit integer. Throws
// EConvertError "'<text>' is not a valid integer value".
std::int32_t StrToInt(const std::string& text);

// Same rules, no exception.
std::optional<std::int32_t> TryStrToInt(const std::string& text);

}  // namespace rtl
