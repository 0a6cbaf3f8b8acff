// DelimitedField and DelimiterPos on any text, delimiter and index.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "lib/net/SockClient.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 5) return 0;
    const char delimiter = static_cast<char>(data[0]);
    std::int32_t index;
    std::memcpy(&index, data + 1, 4);
    index %= 64;
    const std::string text(reinterpret_cast<const char*>(data + 5), size - 5);
    const std::string field = net::DelimitedField(text, delimiter, index);
    if (field.size() > text.size() || field.find(delimiter) != std::string::npos) std::abort();
    if (index < 1 && !field.empty()) std::abort();
    const std::int32_t pos = net::DelimiterPos(text, delimiter, index);
    if (pos < 1 || pos > static_cast<std::int32_t>(text.size()) + 1) std::abort();
    if (pos <= static_cast<std::int32_t>(text.size()) &&
        text[static_cast<std::size_t>(pos - 1)] != delimiter)
        std::abort();
    return 0;
}
