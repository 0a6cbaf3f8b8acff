// Block.log as the statistics window holds it: loaded once, cleared by the parent, written back
// whole on every close of the window, without ever losing a line the guard program appended.
//
// The guard program's side of the contract (lib/platform/files/SharedLog.h has the file mechanics):
//   to append a line: open "Block.log" in the program directory for appending (creating it),
//   take an exclusive flock() on it, and if the path no longer names the file that was opened
//   (the panel has just replaced it), close it and start again; then write the whole line with
//   its CR LF in one write() and close the file, which releases the lock.
//
// The panel's side: WriteBack() opens the current file and holds the same lock (again making sure
// the path still names the locked file) while it reads
// what was appended since the load (or since its last write-back), writes the held lines and that
// tail to a temporary file in the same directory, flushes it to disk and renames it over
// Block.log. A crash or a full disk mid-way leaves the old file whole; the tail joins the held
// lines, so the window and the file agree afterwards. A file that another window rewrote
// meanwhile (two panels of a family's accounts share one log) adds only the lines this window has
// never seen, so nothing is lost and nothing doubled. Temporary files that a rewrite killed
// before its rename left behind ("Block.log.XXXXXX") are removed under the lock.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "lib/platform/files/SharedLog.h"
#include "lib/rtl/TextLines.h"

namespace blocklog {

// The guard's side of the contract: appends `line` and CR LF to the log at `path`.
// False when the file cannot be opened or written.
bool AppendBlockLogLine(const std::string& path, const std::string& line);

class BlockLog {
  public:
    explicit BlockLog(std::string path = {}) : path_(std::move(path)) {}

    void SetPath(std::string path) { path_ = std::move(path); }
    const std::string& Path() const { return path_; }

    // Replaces the held lines with the file's, after those of the part kept before it
    // ("Block.log.1", where the service rotated the log). Throws rtl::EInOutError ("File not
    // found", ...) and then holds no lines.
    void Load();
    void Clear();
    // Throws rtl::EInOutError when the file cannot be replaced; the file and the held lines are
    // then as they were.
    void WriteBack();

    std::size_t Count() const { return lines_.size(); }
    // The size of the file as last read or written, and whether Clear() came since.
    std::uint64_t KnownSize() const { return size_; }
    std::uint64_t KnownInode() const { return id_.ino; }
    // The size of the part kept before it as last read (0: none).
    std::uint64_t PreviousSize() const { return previousSize_; }
    bool IsCleared() const { return cleared_; }
    std::string_view Line(std::size_t i) const {
        return std::string_view(text_).substr(lines_[i].start, lines_[i].length);
    }

  private:
    void Hold(std::string text, bool emptyMeansNoLines);
    std::vector<std::uint64_t> HeldFingerprints() const;

    std::string path_;
    std::string text_;
    std::vector<rtl::LineSpan> lines_;
    // The file as last read or written: identity, size and content fingerprint.
    bool known_ = false;
    platform::FileId id_;
    std::uint64_t size_ = 0;
    std::uint64_t fingerprint_ = 0;  // of those first size_ bytes
    std::uint64_t previousSize_ = 0;
    std::size_t previousLines_ = 0;  // the first held lines, from the part kept before
    // The held lines are that file's lines until Clear(), which keeps their fingerprints here.
    bool cleared_ = false;
    std::vector<std::uint64_t> clearedLines_;
};

}  // namespace blocklog
