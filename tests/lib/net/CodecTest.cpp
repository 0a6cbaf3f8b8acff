// The URL decoder and the uu/Base64 encoder, at their edges.
#include <gtest/gtest.h>

#include "lib/net/UUCodec.h"
#include "lib/net/UrlCodec.h"
#include "lib/rtl/Exception.h"

namespace {

struct Decoded {
    std::string text;
    std::vector<std::string> errors;  // "operation|message"
};

Decoded Decode(const std::string& in) {
    net::TUrlDecoder d;
    Decoded out;
    d.OnError = [&](rtl::TComponent* sender, const std::string& op, const std::string& msg) {
        EXPECT_EQ(sender, &d);
        out.errors.push_back(op + "|" + msg);
    };
    d.InputString = in;
    out.text = d.Decoded();
    return out;
}

std::string Encode(const std::string& bytes, net::UUMethods method, int* events = nullptr) {
    rtl::TMemoryStream source, target;
    source.Write(bytes.data(), bytes.size());
    net::TUUProcessor p;
    p.Method = method;
    p.SourceStream = &source;
    p.TargetStream = &target;
    int begins = 0, ends = 0;
    p.OnBeginEncode = [&](rtl::TComponent*) { ++begins; };
    p.OnEndEncode = [&](rtl::TComponent*) {
        ++ends;
        EXPECT_EQ(target.Position(), 0);
    };
    p.Encode();
    if (events) *events = begins * 10 + ends;
    return target.Bytes();
}

}  // namespace

TEST(UrlDecoder, DecodesPlusAndPercentSequences) {
    EXPECT_EQ(Decode("a+b%41").text, "a bA");
    EXPECT_EQ(Decode("%2b").text, "+");
    EXPECT_EQ(Decode("%00").text, std::string(1, '\0'));
    EXPECT_EQ(Decode("%4").text, "\x04");
    EXPECT_EQ(Decode("%ff%FE").text, "\xff\xfe");
    const Decoded empty = Decode("");
    EXPECT_EQ(empty.text, "");
    EXPECT_TRUE(empty.errors.empty());
}

TEST(UrlDecoder, AFailedConversionReportsAndReturnsTheTextWhole) {
    const Decoded end = Decode("100%");
    EXPECT_EQ(end.text, "100%");
    EXPECT_EQ(end.errors,
              std::vector<std::string>{"Error during decode|'$' is not a valid integer value"});
    const Decoded bad = Decode("a+x%zz");
    EXPECT_EQ(bad.text, "a+x%zz");
    EXPECT_EQ(bad.errors,
              std::vector<std::string>{"Error during decode|'$zz' is not a valid integer value"});
    EXPECT_EQ(Decode("%4g").errors.size(), 1u);
    // A NUL byte in the digits stays in the message, which goes on after it.
    const Decoded nul = Decode(std::string("%Z\0", 3));
    EXPECT_EQ(nul.errors,
              std::vector<std::string>{"Error during decode|'$Z" + std::string(1, '\0') +
                                       "' is not a valid integer value"});
    net::TUrlDecoder silent;  // no handler: still no exception
    EXPECT_EQ(silent.Decode("%%"), "%%");
}

TEST(UUProcessor, UuCodeLinesHaveALengthCharacterAndNoPadding) {
    int events = 0;
    EXPECT_EQ(Encode("abc", net::uuCode, &events), "#86)C\r\n`\r\n");
    EXPECT_EQ(events, 11);
    EXPECT_EQ(Encode("ab", net::uuCode), "\"86(\r\n`\r\n");
    EXPECT_EQ(Encode("a", net::uuCode), "!80\r\n`\r\n");
    EXPECT_EQ(Encode("", net::uuCode, &events), "`\r\n");
    EXPECT_EQ(events, 11);
    const std::string two = Encode(std::string(46, 'x'), net::uuCode);
    ASSERT_EQ(two.size(), 1 + 60 + 2 + 1 + 2 + 2 + 3);
    EXPECT_EQ(two[0], 'M');
    EXPECT_EQ(two.substr(63, 1), "!");
}

TEST(UUProcessor, MimeIsStandardBase64InLinesOfSixty) {
    int events = 0;
    EXPECT_EQ(Encode("", net::uuMime, &events), "");
    EXPECT_EQ(events, 11);
    EXPECT_EQ(Encode("a", net::uuMime), "YQ==\r\n");
    EXPECT_EQ(Encode("ab", net::uuMime), "YWI=\r\n");
    EXPECT_EQ(Encode("user:pass", net::uuMime), "dXNlcjpwYXNz\r\n");
    const std::string lines = Encode(std::string(46, '\xff'), net::uuMime);
    EXPECT_EQ(lines, std::string(60, '/') + "\r\n/w==\r\n");
}

TEST(UUProcessor, TheEndEventFiresAndThePositionIsResetWhenAStreamFails) {
    struct Broken final : rtl::TStream {
        std::size_t Read(void*, std::size_t) override {
            throw rtl::EInOutError("I/O error: broken");
        }
        void Write(const void*, std::size_t) override {}
        std::int64_t Size() const override { return 10; }
        std::int64_t Position() const override { return 0; }
        void SetPosition(std::int64_t) override {}
    } source;
    rtl::TMemoryStream target;
    target.Write("x", 1);
    net::TUUProcessor p;
    p.SourceStream = &source;
    p.TargetStream = &target;
    int ends = 0;
    p.OnEndEncode = [&](rtl::TComponent*) { ++ends; };
    EXPECT_THROW(p.Encode(), rtl::EInOutError);
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(target.Position(), 0);
}
