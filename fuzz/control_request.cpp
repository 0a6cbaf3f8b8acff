// The service's request parser on any bytes: never reads past the buffer, and whatever it
// accepts encodes back to a line it parses to the same fields.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "lib/control/Protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const control::Parsed p = control::Parse(input);
    if (p.status == control::Parsed::Incomplete && input.find('\n') != std::string_view::npos)
        std::abort();
    if (p.status != control::Parsed::Ok) return 0;
    if (p.consumed > input.size() || p.consumed > control::kMaxLine || p.fields.empty() ||
        p.fields.size() > control::kMaxFields)
        std::abort();
    const std::string again = control::Encode(p.fields);
    const control::Parsed q = control::Parse(again);
    if (q.status != control::Parsed::Ok && again.size() <= control::kMaxLine) std::abort();
    if (q.status == control::Parsed::Ok && (q.fields != p.fields || q.consumed != again.size()))
        std::abort();
    return 0;
}
