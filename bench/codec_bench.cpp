// Base64 of 64 MB through TUUProcessor, against coreutils "base64 -w 60" on the same bytes.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "bench/Timing.h"
#include "lib/net/UUCodec.h"

int main() {
    const std::size_t size = 64u << 20;
    std::string data(size, '\0');
    std::mt19937_64 rng(1);
    for (std::size_t i = 0; i + 8 <= size; i += 8) {
        const auto v = rng();
        std::memcpy(data.data() + i, &v, 8);
    }
    const std::string file =
        (std::filesystem::temp_directory_path() / "veltrix-bench-64mb.bin").string();
    std::ofstream(file, std::ios::binary) << data;

    double ours = 1e9;
    for (int r = 0; r < 3; ++r) {
        // File to /dev/null, as the peer does.
        rtl::TFileStream source(file, rtl::TFileStream::OpenRead);
        rtl::TFileStream target("/dev/null", rtl::TFileStream::Create);
        net::TUUProcessor p;
        p.SourceStream = &source;
        p.TargetStream = &target;
        const double t = bench::Now();
        p.Encode();
        ours = std::min(ours, bench::Now() - t);
    }
    double peer = 1e9;
    for (int r = 0; r < 3; ++r) {
        const double t = bench::TimeCommand("base64 -w 60 '" + file + "' > /dev/null");
        if (t > 0) peer = std::min(peer, t);
    }
    bench::Row("Base64 of 64 MB (TUUProcessor)", ours, peer < 1e9 ? peer : -1, "base64 -w 60");
    std::printf("throughput: %.0f MB/s\n", 64 / ours);
    std::filesystem::remove(file);
}
