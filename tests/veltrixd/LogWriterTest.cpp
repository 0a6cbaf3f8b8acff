// Block.log as the service writes it: a reader's lock never holds the writer for long and loses
// no line, the log is rotated at its size, a clear removes what the parent's window saw across a
// rotation, and a log that cannot be written keeps a bounded queue and says what it lost.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "lib/blocklog/BlockLog.h"
#include "lib/platform/files/UniqueFd.h"
#include "veltrixd/LogWriter.h"

namespace fs = std::filesystem;

namespace {

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::size_t CountOf(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

struct Writer : ::testing::Test, veltrixd::LogWriter::Outside {
    void SetUp() override {
        App();
        char tmpl[] = "/tmp/veltrix-logwriter-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir = tmpl;
        path = dir + "/Block.log";
    }
    void TearDown() override {
        writer.reset();
        fs::remove_all(dir);
    }
    veltrixd::LogWriter& Make() {
        writer = std::make_unique<veltrixd::LogWriter>(path, *this);
        return *writer;
    }
    void PrepareLog() override { ++prepared; }
    void Say(const std::string& s) override { said += s + "\n"; }
    std::int64_t NowMs() override { return now; }
    std::string dir, path, said;
    int prepared = 0;
    std::int64_t now = 1000;
    std::unique_ptr<veltrixd::LogWriter> writer;
};

}  // namespace

TEST_F(Writer, AReadersLockHoldsLinesAMomentNeverLongerAndLosesNone) {
    auto& w = Make();
    w.Append("first");
    const platform::UniqueFd reader(::open(path.c_str(), O_RDONLY));
    ASSERT_EQ(::flock(reader.get(), LOCK_SH), 0);
    w.Append("second");
    w.Append("third");
    EXPECT_EQ(Read(path), "first\r\n");
    EXPECT_EQ(w.QueuedLines(), 2u);
    now += veltrixd::kLockPatienceMs / 2;
    EXPECT_FALSE(w.Flush());
    ASSERT_EQ(::flock(reader.get(), LOCK_UN), 0);  // the reader is done
    EXPECT_TRUE(w.Flush());
    EXPECT_EQ(Read(path), "first\r\nsecond\r\nthird\r\n");

    // A lock that is kept: the writer goes on without it after its patience, in order.
    ASSERT_EQ(::flock(reader.get(), LOCK_SH), 0);
    w.Append("fourth");
    w.Append("fifth\nwith a break");
    now += veltrixd::kLockPatienceMs + 1;
    EXPECT_TRUE(w.Flush());
    w.Append("sixth");  // no wait at all while the lock stays taken
    EXPECT_EQ(Read(path),
              "first\r\nsecond\r\nthird\r\nfourth\r\nfifth\\x0awith a break\r\nsixth\r\n");
    EXPECT_EQ(CountOf(said, "held the log's lock"), 1u) << said;
}

TEST_F(Writer, RotatesAtItsSizeKeepingOnePartBefore) {
    auto& w = Make();
    const std::string filler(990, 'x');
    const int perPart = static_cast<int>(veltrixd::kRotateBytes / 1000) + 1;
    for (int i = 0; i < perPart + 10; ++i) w.Append(std::to_string(100000 + i) + filler);
    const std::string before = Read(w.PreviousPath());
    const std::string current = Read(path);
    EXPECT_GE(before.size(), veltrixd::kRotateBytes);
    EXPECT_LT(current.size(), 20000u);
    EXPECT_EQ(prepared, 1);  // the new log given to the group
    EXPECT_EQ(before.substr(0, 6), "100000");
    EXPECT_EQ(CountOf(before, "\r\n") + CountOf(current, "\r\n"),
              static_cast<std::size_t>(perPart + 10));
    EXPECT_EQ(current.substr(current.size() - 990 - 8, 6), std::to_string(100000 + perPart + 9));

    // The second rotation drops the first part: the two files stay within two parts.
    for (int i = 0; i < perPart; ++i) w.Append("second " + filler);
    EXPECT_EQ(CountOf(Read(w.PreviousPath()), "100000"), 0u);
    EXPECT_LE(fs::file_size(w.PreviousPath()) + fs::file_size(path),
              2 * veltrixd::kRotateBytes + 2000);
}

// The statistics window shows the part before and the log; its Clear removes both as it saw
// them, and keeps what came after it read them, also when the log was rotated in between.
TEST_F(Writer, ClearRemovesWhatTheWindowSawAcrossARotation) {
    auto& w = Make();
    const std::string filler(990, 'y');
    const int perPart = static_cast<int>(veltrixd::kRotateBytes / 990) + 1;  // lines of 990+
    for (int i = 0; i < perPart + 3; ++i) w.Append("old " + filler);
    ASSERT_TRUE(fs::exists(w.PreviousPath()));
    blocklog::BlockLog window(path);
    window.Load();
    EXPECT_EQ(window.Count(), static_cast<std::size_t>(perPart + 3));
    w.Append("after the window read it");
    std::string why;
    ASSERT_TRUE(w.Clear({window.KnownSize(), window.KnownInode(), window.PreviousSize()}, &why))
        << why;
    EXPECT_FALSE(fs::exists(w.PreviousPath()));
    EXPECT_EQ(Read(path), "after the window read it\r\n");

    // Read, then a rotation before the Clear: what the window saw is the part before now.
    for (int i = 0; i < 5; ++i) w.Append("looked at " + filler);
    window.Load();
    for (int i = 0; i < perPart; ++i) w.Append("later " + filler);
    ASSERT_TRUE(fs::exists(w.PreviousPath()));
    w.Append("newest");
    ASSERT_TRUE(w.Clear({window.KnownSize(), window.KnownInode(), window.PreviousSize()}, &why))
        << why;
    const std::string before = Read(w.PreviousPath());
    EXPECT_EQ(CountOf(before, "looked at "), 0u);
    EXPECT_EQ(CountOf(before, "after the window"), 0u);
    EXPECT_GT(CountOf(before, "later "), 0u);
    EXPECT_NE(Read(path).find("newest\r\n"), std::string::npos);
}

TEST_F(Writer, AnUnwritableLogKeepsABoundedQueueAndSaysWhatItLost) {
    path = dir + "/not yet/Block.log";
    auto& w = Make();
    const std::string filler(1000, 'z');
    const int lines = 2 * static_cast<int>(veltrixd::kMaxQueuedBytes / 1000);
    for (int i = 0; i < lines; ++i) w.Append(std::to_string(i) + " " + filler);
    w.Append("the last");
    EXPECT_LE(w.QueuedLines(), veltrixd::kMaxQueuedBytes / 1000 + 1);
    EXPECT_EQ(CountOf(said, "cannot write"), 1u) << said;
    fs::create_directory(dir + "/not yet");
    EXPECT_TRUE(w.Flush());
    const std::string text = Read(path);
    const std::size_t lost = std::stoul(text.substr(0, text.find(' ')));
    EXPECT_GT(lost, 0u);
    EXPECT_EQ(text.substr(text.find(' '), 47), " lines of the log were lost: it could not be wr");
    EXPECT_EQ(CountOf(text, "\r\n"), lines + 2 - lost);
    EXPECT_EQ(text.substr(text.size() - 10), "the last\r\n");
    EXPECT_NE(said.find("can be written again"), std::string::npos);
}
