// Runs the codecs over standard input for the round-trip tests against Python:
//   codec-tool mime|uu|url < input > output
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
