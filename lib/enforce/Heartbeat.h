// What a guard leaves behind for the next one: a small file that it rewrites every few seconds
// while it runs ("alive") and once more when it stops cleanly ("stopped", with the reason). A
// watcher that sees its guard end without stopping records the moment ("ended"). The next guard
// reads the file at its start and logs how long no guard was running, and why.
#pragma once

#include <cstdint>
#include <string>

namespace enforce {

struct PreviousRun {
    enum Kind { None, Vanished, Stopped } kind = None;  // Vanished: killed, or the machine died
    std::int64_t lastSeen = 0;                          // wall clock, seconds
    bool exact = false;  // lastSeen is the moment it ended, not its last sign of life
    int pid = 0;
    std::string reason;  // for Stopped
};

inline constexpr int kHeartbeatSeconds = 10;

std::string AliveRecord(std::int64_t now, int pid);
std::string StoppedRecord(std::int64_t now, int pid, const std::string& reason);
std::string EndedRecord(std::int64_t now, int pid);
// The file's text as the previous guard left it; None for anything unreadable.
PreviousRun ParseHeartbeat(const std::string& text);

}  // namespace enforce
