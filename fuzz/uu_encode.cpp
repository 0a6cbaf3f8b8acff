// Both encodings of any bytes: Base64 decodes back to the input; line lengths hold.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "lib/net/UUCodec.h"

namespace {
std::string Encode(const std::string& bytes, net::UUMethods method) {
    rtl::TMemoryStream source, target;
    source.Write(bytes.data(), bytes.size());
    net::TUUProcessor p;
    p.Method = method;
    p.SourceStream = &source;
    p.TargetStream = &target;
    p.Encode();
    return target.Bytes();
}
int Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string in(reinterpret_cast<const char*>(data), size);
    const std::string mime = Encode(in, net::uuMime);
    std::string decoded;
    unsigned bits = 0, have = 0;
    std::size_t lineLength = 0;
    for (char c : mime) {
        if (c == '\r') continue;
        if (c == '\n') {
            if (lineLength > 60) std::abort();
            lineLength = 0;
            continue;
        }
        ++lineLength;
        if (c == '=') continue;
        const int v = Value(c);
        if (v < 0) std::abort();
        bits = (bits << 6) | static_cast<unsigned>(v);
        have += 6;
        if (have >= 8) {
            have -= 8;
            decoded += static_cast<char>((bits >> have) & 0xFF);
        }
    }
    if (decoded != in) std::abort();
    const std::string uu = Encode(in, net::uuCode);
    if (uu.size() < 3 || uu.compare(uu.size() - 3, 3, "`\r\n") != 0) std::abort();
    return 0;
}
