// The reply header line and status line parsers on any line.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "lib/net/HttpClient.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string line(reinterpret_cast<const char*>(data), size);
    const net::ReplyHeaderLine r = net::ParseReplyHeaderLine(line);
    if (r.value.size() > 256) std::abort();
    if (r.length < 0) std::abort();
    if (r.kind != net::ReplyHeaderLine::Other && r.endsHeader) std::abort();
    net::ParseStatusLine(line);
    return 0;
}
