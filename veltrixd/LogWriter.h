// Block.log as the service writes it: the service is its only writer, and never waits on anything
// a member can hold. A member may read the log, and flock() needs no more than an open file, so a
// member can hold the log's lock for as long as it likes:
//  - Lines are queued in memory and appended, in order, in one write, when the lock is free. When
//    it stays taken for longer than kLockPatienceMs, they are appended without it.
//  - The log is rotated at kRotateBytes: the part before is kept as "Block.log.1" (the one before
//    that goes), and the statistics window shows both.
//  - What cannot be written (a full disk, a missing directory) stays queued, up to
//    kMaxQueuedBytes; beyond that the oldest lines go, and a line says how many once the log can
//    be written again.
#pragma once

#include <QObject>

#include <cstdint>
#include <deque>
#include <memory>
#include <string>

class QTimer;

namespace veltrixd {

inline constexpr std::uint64_t kRotateBytes = 1u << 20;
inline constexpr int kLockPatienceMs = 1000;
inline constexpr int kLockRetryMs = 50;
inline constexpr int kWriteRetryMs = 1000;
inline constexpr std::size_t kMaxQueuedBytes = 1u << 20;

// What a parent's statistics window saw and cleared: the first `bytes` of the log whose inode was
// `inode` (0: not told), and the first `previousBytes` of the part kept before it.
struct SeenLog {
    std::uint64_t bytes = 0;
    std::uint64_t inode = 0;
    std::uint64_t previousBytes = 0;
};

class LogWriter final : public QObject {
    Q_OBJECT
  public:
    class Outside {
      public:
        virtual ~Outside() = default;
        // Gives a new log file to the group (after a rotation or a rewrite).
        virtual void PrepareLog() = 0;
        virtual void Say(const std::string& text) = 0;  // to the journal
        virtual std::int64_t NowMs() = 0;               // a clock that never jumps
    };
    LogWriter(std::string path, Outside& outside);
    ~LogWriter() override;

    // Queues `line` (one event, written as one line whatever it holds) and writes what the
    // queue holds if it can now.
    void Append(const std::string& line);
    // Removes what the parent saw, writing the queue first; what came since stays.
    bool Clear(const SeenLog& seen, std::string* why);
    // Writes what it can now; true when nothing is left queued.
    bool Flush();

    std::size_t QueuedLines() const { return queue_.size(); }
    std::string PreviousPath() const;

  private:
    void Retry(int ms);
    bool WriteSome();
    void Rotate(std::uint64_t size);

    std::string path_;
    Outside& outside_;
    std::deque<std::string> queue_;  // encoded lines, CR LF included
    std::size_t queuedBytes_ = 0;
    std::uint64_t dropped_ = 0;
    std::int64_t lockBusySince_ = -1;
    bool toldLock_ = false, toldError_ = false;
    std::unique_ptr<QTimer> retry_;
};

}  // namespace veltrixd
