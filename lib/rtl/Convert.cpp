#include "lib/rtl/Convert.h"

#include <charconv>

#include "lib/rtl/Exception.h"

namespace rtl {

std::string IntToStr(std::int64_t value) {
    return std::to_string(value);
}

std::optional<std::int32_t> TryStrToInt(const std::string& text) {
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+') {
        ++first;  // a leading plus is accepted, but no second sign after it
        if (first != last && (*first == '-' || *first == '+')) return std::nullopt;
    }
    if (first == last) return std::nullopt;
    std::int32_t value = 0;
    auto [ptr, ec] = std::from_chars(first, last, value, 10);
    if (ec != std::errc() || ptr != last) return std::nullopt;
    return value;
}

std::int32_t StrToInt(const std::string& text) {
    if (auto value = TryStrToInt(text)) return *value;
    throw EConvertError(Format("'%s' is not a valid integer value", text));
}

}  // namespace rtl
