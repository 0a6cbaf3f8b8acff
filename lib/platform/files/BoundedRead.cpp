#include "lib/platform/files/BoundedRead.h"

#include <fcntl.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "lib/platform/files/ReadFile.h"
#include "lib/platform/files/UniqueFd.h"

namespace platform {
namespace {

// One worker's request slot; the worker and its caller share it.
struct Job {
    std::mutex m;
    std::condition_variable cv;
    UniqueFd dir;  // the caller's directory, duplicated: the caller may close its own
    std::string path, result;
    std::size_t limit = 0;
    bool asked = false, done = false, quit = false, abandoned = false;
};

std::atomic<int> stuck{0};

void Work(const std::shared_ptr<Job>& job) {
    std::unique_lock lock(job->m);
    for (;;) {
        job->cv.wait(lock, [&] { return job->asked || job->quit; });
        if (job->quit) return;
        const int dir = job->dir.get();
        const std::string path = job->path;
        const std::size_t limit = job->limit;
        lock.unlock();
        std::string text = ReadFileAt(dir, path, limit);
        lock.lock();
        job->asked = false;
        job->dir.reset();
        if (job->abandoned) {
            --stuck;
            return;
        }
        job->result = std::move(text);
        job->done = true;
        job->cv.notify_all();
    }
}

// The idle worker, made when none is; ends when the program does.
struct Current {
    std::shared_ptr<Job> job;
    ~Current() {
        if (!job) return;
        const std::lock_guard lock(job->m);
        job->quit = true;
        job->cv.notify_all();
    }
};

Current& Idle() {
    static Current current;
    return current;
}

}  // namespace

int StuckReads() {
    return stuck.load();
}

std::optional<std::string> ReadFileBounded(int dirFd, const std::string& path, std::size_t limit,
                                           int timeoutMs) {
    Current& current = Idle();
    if (!current.job) {
        if (stuck.load() >= kMaxStuckReads) return std::nullopt;
        current.job = std::make_shared<Job>();
        std::thread(Work, current.job).detach();
    }
    const std::shared_ptr<Job> job = current.job;
    UniqueFd dir(dirFd == AT_FDCWD ? AT_FDCWD : ::fcntl(dirFd, F_DUPFD_CLOEXEC, 0));
    if (dirFd != AT_FDCWD && !dir.valid()) return std::nullopt;
    std::unique_lock lock(job->m);
    job->dir = std::move(dir);
    job->path = path;
    job->limit = limit;
    job->done = false;
    job->asked = true;
    job->cv.notify_all();
    if (!job->cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return job->done; })) {
        job->abandoned = true;  // the worker ends once its read does
        ++stuck;
        current.job.reset();
        return std::nullopt;
    }
    return std::move(job->result);
}

}  // namespace platform
