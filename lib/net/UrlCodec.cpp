#include "lib/net/UrlCodec.h"

#include "lib/rtl/Exception.h"

namespace net {
namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "$" followed by hexadecimal digits, as the integer conversion reads it.
char HexChar(const std::string& digits) {
    int value = 0;
    for (char c : digits) {
        const int d = HexDigit(c);
        if (d < 0)
            throw rtl::EConvertError(
                rtl::Format("'%s' is not a valid integer value", "$" + digits));
        value = value * 16 + d;
    }
    if (digits.empty()) throw rtl::EConvertError("'$' is not a valid integer value");
    return static_cast<char>(value);
}

}  // namespace

std::string TUrlDecoder::Decode(const std::string& text) {
    try {
        std::string out;
        out.reserve(text.size());
        for (std::size_t i = 0; i < text.size();) {
            const char c = text[i];
            if (c == '+') {
                out += ' ';
                ++i;
            } else if (c == '%') {
                out += HexChar(text.substr(i + 1, 2));
                i += 3;
            } else {
                out += c;
                ++i;
            }
        }
        return out;
    } catch (const rtl::Exception& e) {
        if (OnError) OnError(this, "Error during decode", e.Message());
        return text;
    }
}

}  // namespace net
