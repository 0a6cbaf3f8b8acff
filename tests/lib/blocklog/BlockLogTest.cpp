// Block.log as the statistics window reads and rewrites it, with the guard appending meanwhile.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "lib/blocklog/BlockLog.h"
#include "lib/platform/files/SharedLog.h"
#include "lib/rtl/Exception.h"
#include "tests/support/TempEnv.h"

using blocklog::BlockLog;
using testing_support::TempEnv;

namespace {

std::vector<std::string> Lines(const BlockLog& log) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < log.Count(); ++i) out.emplace_back(log.Line(i));
    return out;
}

struct LogFile {
    TempEnv env;
    std::string path = env.programDir + "Block.log";
    BlockLog log{path};
};

}  // namespace

TEST(BlockLog, LineEndsOfEveryKindAndByte26) {
    LogFile f;
    struct Case {
        std::string bytes;
        std::vector<std::string> lines;
        std::string rewritten;
    };
    for (const Case& c :
         std::vector<Case>{{"", {""}, "\r\n"},  // an existing empty log is one empty line
                           {"a\r\nb\r\n", {"a", "b"}, "a\r\nb\r\n"},
                           {"a\rb\r", {"a", "b"}, "a\r\nb\r\n"},
                           {"a\nb\n", {"a", "b"}, "a\r\nb\r\n"},
                           {"a\r\n\r\nlast", {"a", "", "last"}, "a\r\n\r\nlast\r\n"},
                           {"a\r\nb\x1a"
                            "hidden\r\n",
                            {"a", "b"},
                            "a\r\nb\r\n"},
                           {std::string("nul\0inside\r\n", 12),
                            {std::string("nul\0inside", 10)},
                            std::string("nul\0inside\r\n", 12)}}) {
        f.env.WriteFile(f.path, c.bytes);
        f.log.Load();
        EXPECT_EQ(Lines(f.log), c.lines);
        f.log.WriteBack();
        EXPECT_EQ(f.env.ReadFile(f.path), c.rewritten);
    }
}

TEST(BlockLog, MissingLogFailsWithFileNotFoundAndTheFirstCloseCreatesAnEmptyOne) {
    LogFile f;
    try {
        f.log.Load();
        FAIL() << "no exception";
    } catch (const rtl::EInOutError& e) {
        EXPECT_STREQ(e.what(), "File not found");
    }
    EXPECT_EQ(f.log.Count(), 0u);
    f.log.WriteBack();
    EXPECT_TRUE(f.env.Exists(f.path));
    EXPECT_EQ(f.env.ReadFile(f.path), "");
    EXPECT_EQ(f.log.Count(), 0u);
}

TEST(BlockLog, ClearEmptiesOnlyWhatWasShownAndTheGuardsNewLinesSurvive) {
    LogFile f;
    f.env.WriteFile(f.path, "old 1\r\nold 2\r\n");
    f.log.Load();
    ASSERT_TRUE(blocklog::AppendBlockLogLine(f.path, "new 1"));
    f.log.WriteBack();  // close without clearing: nothing lost
    EXPECT_EQ(f.env.ReadFile(f.path), "old 1\r\nold 2\r\nnew 1\r\n");
    EXPECT_EQ(Lines(f.log), (std::vector<std::string>{"old 1", "old 2", "new 1"}));
    f.log.WriteBack();  // a second close: nothing doubled
    EXPECT_EQ(f.env.ReadFile(f.path), "old 1\r\nold 2\r\nnew 1\r\n");

    ASSERT_TRUE(blocklog::AppendBlockLogLine(f.path, "new 2"));
    f.log.Clear();
    f.log.WriteBack();
    EXPECT_EQ(f.env.ReadFile(f.path), "new 2\r\n");
    f.log.Clear();
    f.log.WriteBack();
    EXPECT_EQ(f.env.ReadFile(f.path), "");  // Clear then Close: no bytes
}

// Where the service rotated the log, the part kept before is shown first; a close without the
// service writes back the log alone, and leaves that part as it is.
TEST(BlockLog, ThePartKeptBeforeIsShownFirstAndNeverWrittenIntoTheLog) {
    LogFile f;
    f.env.WriteFile(f.path + ".1", "older 1\r\nolder 2");  // no line end at its end
    f.env.WriteFile(f.path, "newer\r\n");
    f.log.Load();
    EXPECT_EQ(Lines(f.log), (std::vector<std::string>{"older 1", "older 2", "newer"}));
    EXPECT_EQ(f.log.PreviousSize(), 16u);
    EXPECT_EQ(f.log.KnownSize(), 7u);
    f.log.WriteBack();
    EXPECT_EQ(f.env.ReadFile(f.path), "newer\r\n");
    EXPECT_EQ(f.env.ReadFile(f.path + ".1"), "older 1\r\nolder 2");
    f.log.Load();
    f.log.Clear();
    EXPECT_EQ(f.log.Count(), 0u);
    f.log.WriteBack();
    EXPECT_EQ(f.env.ReadFile(f.path), "");
}

TEST(BlockLog, ALogReplacedByAnotherFileCountsAsAllNew) {
    LogFile f;
    f.env.WriteFile(f.path, "a\r\nb\r\nc\r\n");
    f.log.Load();
    std::filesystem::remove(f.path);
    f.env.WriteFile(f.path, "rotated\r\n");
    f.log.WriteBack();
    EXPECT_EQ(f.env.ReadFile(f.path), "a\r\nb\r\nc\r\nrotated\r\n");
}

TEST(BlockLog, ALogThatCannotBeWrittenFailsAndChangesNothing) {
    LogFile f;
    f.env.WriteFile(f.path, "keep\r\n");
    f.log.Load();
    f.log.Clear();
    std::filesystem::remove(f.path);
    std::filesystem::create_directory(f.path);  // the name is taken by a directory
    EXPECT_THROW(f.log.WriteBack(), rtl::EInOutError);
    EXPECT_TRUE(std::filesystem::is_directory(f.path));
    // No temporary file is left behind.
    int entries = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(f.env.programDir))
        ++entries;
    EXPECT_EQ(entries, 1);
}

// The guard program appends from another process while the window is closed again and again.
TEST(BlockLog, NoLineOfARunningGuardIsLostAcrossManyRewrites) {
    LogFile f;
    const std::string guardExe = f.env.programDir + "Sentrel.exe";
    std::filesystem::copy_file(testing_support::ToolPath("guard-stand-in"), guardExe);
    f.env.WriteFile(f.path, "");
    f.log.Load();
    f.log.Clear();
    const int starts = 60;
    std::thread guardRuns([&] {
        testing_support::Run("for i in $(seq " + std::to_string(starts) + "); do '" + guardExe +
                             "' & done; wait");
    });
    for (int i = 0; i < 40; ++i) f.log.WriteBack();
    guardRuns.join();
    f.log.WriteBack();
    const std::string text = f.env.ReadFile(f.path);
    int lines = 0;
    for (std::size_t p = text.find("Sentrel started"); p != std::string::npos;
         p = text.find("Sentrel started", p + 1))
        ++lines;
    EXPECT_EQ(lines, starts);
    EXPECT_EQ(f.log.Count(), static_cast<std::size_t>(starts));
}

// A rewrite killed between its temporary file and the rename left a whole copy of the log behind,
// forever. The next rewrite removes such copies, and nothing else.
TEST(BlockLog, TemporariesOfKilledRewritesAreRemovedAndNothingElse) {
    LogFile f;
    f.env.WriteFile(f.path, "a\r\n");
    const std::string dir = f.env.programDir;
    for (const char* name : {"Block.log.Ab3xZ9", "Block.log.000000"})
        f.env.WriteFile(dir + name, "a\r\nstale copy\r\n");
    for (const char* name :
         {"Block.log.keep", "Block.log.Ab3xZ9x", "Error.log.Ab3xZ9", "Block.log.bak-01"})
        f.env.WriteFile(dir + name, "not ours");
    std::filesystem::create_directory(dir + "Block.log.dir123");
    f.log.Load();
    f.log.WriteBack();
    std::vector<std::string> left;
    for (auto& e : std::filesystem::directory_iterator(dir))
        left.push_back(e.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left,
              (std::vector<std::string>{"Block.log", "Block.log.Ab3xZ9x", "Block.log.bak-01",
                                        "Block.log.dir123", "Block.log.keep", "Error.log.Ab3xZ9"}));
    EXPECT_EQ(f.env.ReadFile(f.path), "a\r\n");
}

// A program's path is any bytes its owner chose: a line break in it cannot forge a line.
TEST(BlockLog, AnAppendedLineStaysOneLine) {
    LogFile f;
    ASSERT_TRUE(blocklog::AppendBlockLogLine(
        f.path,
        "Stopped firefox (pid 7, /home/kid/a\r\n2026-12-08 10:00:00 Settings read: "
        "blocking off\x7f/firefox)\tok"));
    EXPECT_EQ(f.env.ReadFile(f.path),
              "Stopped firefox (pid 7, /home/kid/a\\x0d\\x0a2026-12-08 10:00:00 Settings read: "
              "blocking off\\x7f/firefox)\tok\r\n");
}

// What a viewer may take for a line break, a control sequence or a change of direction is
// escaped in UTF-8 too (and a byte of no UTF-8 with it); what is plain text stays; a line is
// bounded, cut with an ellipsis.
TEST(BlockLog, NoViewerSeesAForgedLineOrAHiddenDirection) {
    const std::string forged =
        "/home/kid/a\u2028[sibling] internet off\u2029\u0085x\u009b2J"
        "\u202etxt.exe\u2066\xc2\xff\x85 caf\u00e9 \u65e5\U0001f600";
    EXPECT_EQ(platform::EncodeLogLine(forged),
              "/home/kid/a\\xe2\\x80\\xa8[sibling] internet off\\xe2\\x80\\xa9\\xc2\\x85x"
              "\\xc2\\x9b2J\\xe2\\x80\\xaetxt.exe\\xe2\\x81\\xa6\\xc2\\xff\\x85 caf\u00e9 "
              "\u65e5\U0001f600\r\n");
    const std::string huge = platform::EncodeLogLine("Warning shown: " + std::string(100000, 'a'));
    EXPECT_LE(huge.size(), platform::kMaxLogLine + 8);
    EXPECT_EQ(huge.substr(huge.size() - 5), "\u2026\r\n");
    // Escapes are whole at the cut.
    const std::string escapes = platform::EncodeLogLine(std::string(5000, '\x01'));
    EXPECT_EQ(escapes.substr(escapes.size() - 9, 4), "\\x01");
}

// An installation links the program directory's Block.log into a directory its users' group may
// write: the guard appends there and the window rewrites there, and the link stays.
TEST(BlockLog, ALinkedLogIsWrittenWhereItLeadsWithTheGroupsMode) {
    LogFile f;
    const std::string shared = f.env.root + "/shared";
    std::filesystem::create_directory(shared);
    ::chmod(shared.c_str(), 02775);
    std::filesystem::create_symlink(shared + "/Block.log", f.path);
    const mode_t old = ::umask(022);
    ASSERT_TRUE(blocklog::AppendBlockLogLine(f.path, "first"));
    ::umask(old);
    EXPECT_TRUE(std::filesystem::is_symlink(f.path));
    struct stat st {};
    ASSERT_EQ(::stat((shared + "/Block.log").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0664u);  // every member's guard can append
    f.log.Load();
    EXPECT_EQ(Lines(f.log), std::vector<std::string>{"first"});
    f.log.Clear();
    f.log.WriteBack();
    EXPECT_TRUE(std::filesystem::is_symlink(f.path));
    EXPECT_EQ(f.env.ReadFile(shared + "/Block.log"), "");
    ASSERT_EQ(::stat((shared + "/Block.log").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0664u);  // the rewrite keeps the mode

    // Only that one link is followed: a link planted in the shared directory is not.
    std::filesystem::remove(shared + "/Block.log");
    f.env.WriteFile(f.env.root + "/victim", "precious\r\n");
    std::filesystem::create_symlink(f.env.root + "/victim", shared + "/Block.log");
    EXPECT_FALSE(blocklog::AppendBlockLogLine(f.path, "evil"));
    EXPECT_THROW(f.log.WriteBack(), rtl::EInOutError);
    EXPECT_EQ(f.env.ReadFile(f.env.root + "/victim"), "precious\r\n");
}

// Two panels (two children's accounts) load the same log; one window is closed, a guard appends,
// the other window is closed: every line once, in order. Lines the other window cleared stay
// cleared only if this one cleared them too: the last window closed keeps what it shows.
TEST(BlockLog, TwoWindowsOnOneLogNeitherLoseNorDoubleLines) {
    LogFile f;
    f.env.WriteFile(f.path, "a\r\nb\r\n");
    BlockLog other(f.path);
    f.log.Load();
    other.Load();
    other.WriteBack();
    ASSERT_TRUE(blocklog::AppendBlockLogLine(f.path, "c"));
    f.log.WriteBack();
    EXPECT_EQ(f.env.ReadFile(f.path), "a\r\nb\r\nc\r\n");
    ASSERT_TRUE(blocklog::AppendBlockLogLine(f.path, "d"));
    other.WriteBack();  // the file was replaced: c and d are the lines it has not seen
    EXPECT_EQ(f.env.ReadFile(f.path), "a\r\nb\r\nc\r\nd\r\n");

    // One parent cleared; the other window is closed later and still shows a, b.
    f.log.Load();
    other.Load();
    f.log.Clear();
    f.log.WriteBack();
    ASSERT_TRUE(blocklog::AppendBlockLogLine(f.path, "e"));
    other.WriteBack();
    EXPECT_EQ(f.env.ReadFile(f.path), "a\r\nb\r\nc\r\nd\r\ne\r\n");
}

// Two windows (two panels of a family's accounts) rewriting while guards append: a rewrite that
// waited for the lock of a file that another rewrite has just replaced must not write the old
// file's content over the new one.
TEST(BlockLog, TwoRewritersAndAnAppenderLoseNoLine) {
    LogFile f;
    f.env.WriteFile(f.path, "");
    BlockLog other(f.path);
    f.log.Load();
    other.Load();
    std::atomic<bool> stop{false};
    std::atomic<int> rewrites{0};
    auto rewrite = [&](BlockLog& log) {
        while (!stop) {
            log.WriteBack();
            ++rewrites;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));  // the next close
        }
    };
    std::thread a(rewrite, std::ref(f.log)), b(rewrite, std::ref(other));
    const int lines = 400;
    int failed = 0;
    for (int i = 0; i < lines; ++i) {
        failed += !blocklog::AppendBlockLogLine(f.path, std::to_string(i));
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    stop = true;
    a.join();
    b.join();
    f.log.WriteBack();
    const std::string text = "\r\n" + f.env.ReadFile(f.path);
    int lost = 0;
    for (int i = 0; i < lines; ++i)
        lost += text.find("\r\n" + std::to_string(i) + "\r\n") == std::string::npos;
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(lost, 0);
    EXPECT_GT(rewrites.load(), 20);
}
