// Reads that may never answer (a FIFO nobody writes stands in for a process's memory on a FUSE
// mount that never answers): the caller gets "not read" after its time, the worker finishes on
// its own once the file answers, and while enough of them hang no read is tried at all.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "lib/platform/files/BoundedRead.h"
#include "lib/platform/files/UniqueFd.h"
#include "tests/support/Wait.h"

namespace fs = std::filesystem;
using platform::ReadFileBounded;
using platform::UniqueFd;

namespace {

using testing_support::Eventually;

}  // namespace

TEST(BoundedRead, AReadThatHangsIsGivenUpAndTheWorkersThatHangAreCapped) {
    char tmpl[] = "/tmp/veltrix-bounded-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    const std::string dir = tmpl;
    std::ofstream(dir + "/plain") << "plain text";
    const UniqueFd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    constexpr int kPatient = 20000;  // a file that answers answers in time on a loaded machine
    EXPECT_EQ(ReadFileBounded(dirFd.get(), "plain", 100, kPatient), "plain text");
    EXPECT_EQ(ReadFileBounded(AT_FDCWD, dir + "/plain", 5, kPatient), "plain");
    EXPECT_EQ(ReadFileBounded(dirFd.get(), "missing", 100, kPatient), "");  // nothing there

    // FIFOs held open for writing by the test, never written: each read waits for good.
    std::vector<UniqueFd> writers;
    for (int i = 0; i < platform::kMaxStuckReads; ++i) {
        const std::string fifo = dir + "/fifo" + std::to_string(i);
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        writers.emplace_back(::open(fifo.c_str(), O_RDWR | O_CLOEXEC));
        EXPECT_EQ(ReadFileBounded(dirFd.get(), "fifo" + std::to_string(i), 100, 50), std::nullopt);
        EXPECT_EQ(platform::StuckReads(), i + 1);
    }
    // As many hang as may: nothing more is tried, not even a file that would answer.
    EXPECT_EQ(ReadFileBounded(dirFd.get(), "plain", 100, kPatient), std::nullopt);

    // The files answer (and end): the workers finish, and reads are made again.
    for (auto& w : writers) {
        ASSERT_EQ(::write(w.get(), "late", 4), 4);
        w.reset();
    }
    EXPECT_TRUE(Eventually([] { return platform::StuckReads() == 0; }));
    EXPECT_EQ(ReadFileBounded(dirFd.get(), "plain", 100, kPatient), "plain text");
    fs::remove_all(dir);
}
