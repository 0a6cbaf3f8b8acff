// Decode never raises, and a text without "%" or "+" comes back unchanged.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "lib/net/UrlCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    net::TUrlDecoder d;
    int errors = 0;
    d.OnError = [&](rtl::TComponent*, const std::string&, const std::string&) { ++errors; };
    const std::string out = d.Decode(text);
    if (errors && out != text) std::abort();
    if (text.find_first_of("%+") == std::string::npos && out != text) std::abort();
    if (out.size() > text.size()) std::abort();
    return 0;
}
