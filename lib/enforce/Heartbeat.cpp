#include "lib/enforce/Heartbeat.h"

#include <sstream>

namespace enforce {

std::string AliveRecord(std::int64_t now, int pid) {
    return "alive " + std::to_string(now) + " " + std::to_string(pid) + "\n";
}

std::string StoppedRecord(std::int64_t now, int pid, const std::string& reason) {
    std::string line = "stopped " + std::to_string(now) + " " + std::to_string(pid) + " " + reason;
    for (char& c : line)
        if (c == '\n' || c == '\r') c = ' ';
    return line + "\n";
}

std::string EndedRecord(std::int64_t now, int pid) {
    return "ended " + std::to_string(now) + " " + std::to_string(pid) + "\n";
}

PreviousRun ParseHeartbeat(const std::string& text) {
    std::istringstream in(text);
    std::string kind;
    PreviousRun run;
    if (!(in >> kind >> run.lastSeen >> run.pid) || run.lastSeen <= 0 || run.pid <= 0) return {};
    if (kind == "alive" || kind == "ended") {
        run.kind = PreviousRun::Vanished;
        run.exact = kind == "ended";
    } else if (kind == "stopped") {
        run.kind = PreviousRun::Stopped;
        std::getline(in >> std::ws, run.reason);
    } else {
        return {};
    }
    return run;
}

}  // namespace enforce
