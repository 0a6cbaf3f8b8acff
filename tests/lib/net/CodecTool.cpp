// Runs the codecs over standard input for the round-trip tests against Python:
//   codec-tool mime|uu|url < input > output
//   codec-tool url-lines < lines > each line decoded, in hexadecimal, a line each (many cases
//   in one run)
#include <iostream>
#include <iterator>
#include <string>

#include "lib/net/UUCodec.h"
#include "lib/net/UrlCodec.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    std::ios::sync_with_stdio(false);
    std::string in((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
    const std::string mode = argv[1];
    if (mode == "url") {
        net::TUrlDecoder d;
        std::cout << d.Decode(in);
        return 0;
    }
    if (mode == "url-lines") {
        static const char* const kHex = "0123456789abcdef";
        std::size_t start = 0;
        for (std::size_t end; (end = in.find('\n', start)) != std::string::npos; start = end + 1) {
            net::TUrlDecoder d;
            for (const unsigned char c : d.Decode(in.substr(start, end - start)))
                std::cout << kHex[c >> 4] << kHex[c & 15];
            std::cout << '\n';
        }
        return 0;
    }
    rtl::TMemoryStream source, target;
    source.Write(in.data(), in.size());
    net::TUUProcessor p;
    p.Method = mode == "uu" ? net::uuCode : net::uuMime;
    p.SourceStream = &source;
    p.TargetStream = &target;
    p.Encode();
    std::cout << target.Bytes();
    return 0;
}
