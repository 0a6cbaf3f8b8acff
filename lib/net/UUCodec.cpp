#include "lib/net/UUCodec.h"
#include "lib/rtl/ScopeExit.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace net {
namespace {
constexpr char kMime[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::size_t kLineBytes = 45;
}  // namespace

void TUUProcessor::Encode() {
    const rtl::ScopeExit finish([this] {
        if (TargetStream) TargetStream->SetPosition(0);
        if (OnEndEncode) OnEndEncode(this);
    });
    SourceStream->SetPosition(0);
    if (OnBeginEncode) OnBeginEncode(this);
    if (Method == uuMime) {
        std::memcpy(alphabet_, kMime, 64);
    } else {
        alphabet_[0] = '`';
        for (int v = 1; v < 64; ++v) alphabet_[v] = static_cast<char>(32 + v);
    }
    for (unsigned v = 0; v < 4096; ++v) {
        pairs_[2 * v] = alphabet_[v >> 6];
        pairs_[2 * v + 1] = alphabet_[v & 0x3F];
    }
    const char* a = alphabet_;
    const bool mime = Method == uuMime;
    // Whole lines are built in a block and written together: one stream write per block.
    constexpr std::size_t kBlockLines = 1024;
    static_assert(kLineBytes % 3 == 0);
    std::string in(kLineBytes * kBlockLines, '\0');
    std::string out(kBlockLines * 64, '\0');
    for (;;) {
        const std::size_t got = SourceStream->Read(in.data(), in.size());
        if (got == 0) break;
        char* o = out.data();
        for (std::size_t at = 0; at < got; at += kLineBytes) {
            const std::size_t n = std::min(kLineBytes, got - at);
            const auto* b = reinterpret_cast<const unsigned char*>(in.data()) + at;
            if (!mime) *o++ = a[n];
            std::size_t i = 0;
            for (; i + 3 <= n; i += 3) {
                // Three bytes are two 12-bit halves, each two characters of the pair table.
                const unsigned v = (unsigned{b[i]} << 16) | (unsigned{b[i + 1]} << 8) | b[i + 2];
                std::memcpy(o, pairs_ + 2 * (v >> 12), 2);
                std::memcpy(o + 2, pairs_ + 2 * (v & 0xFFF), 2);
                o += 4;
            }
            if (n - i == 1) {
                *o++ = a[b[i] >> 2];
                *o++ = a[(b[i] << 4) & 0x30];
                if (mime) {
                    *o++ = '=';
                    *o++ = '=';
                }
            } else if (n - i == 2) {
                *o++ = a[b[i] >> 2];
                *o++ = a[((b[i] << 4) & 0x30) | (b[i + 1] >> 4)];
                *o++ = a[(b[i + 1] << 2) & 0x3C];
                if (mime) *o++ = '=';
            }
            *o++ = '\r';
            *o++ = '\n';
        }
        TargetStream->Write(out.data(), static_cast<std::size_t>(o - out.data()));
        if (got < in.size()) break;
    }
    if (Method == uuCode) TargetStream->Write("`\r\n", 3);
}

}  // namespace net
