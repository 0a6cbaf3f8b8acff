#include "sentrel/Session.h"

#include <fstream>
#include <optional>
#include <sstream>

namespace sentrel {
namespace {

// The file's text; nothing when it cannot be opened.
std::optional<std::string> ReadFile(const std::string& path) {
    std::ifstream in(path);
    if (!in) return std::nullopt;
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The session id in the text of /proc/<pid>/cgroup (".../session-<id>.scope").
std::string IdFromCgroup(const std::string& cgroup) {
    const auto at = cgroup.find("/session-");
    if (at == std::string::npos) return {};
    const auto start = at + 9;
    const auto end = cgroup.find(".scope", start);
    if (end == std::string::npos || end == start) return {};
    return cgroup.substr(start, end - start);
}

// The value of KEY=value in a logind session file.
std::string Field(const std::string& text, const std::string& key) {
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.compare(0, key.size() + 1, key + "=") == 0) return line.substr(key.size() + 1);
    return {};
}

}  // namespace

Session Session::Own() {
    Session s;
    s.id_ = IdFromCgroup(ReadFile("/proc/self/cgroup").value_or(""));
    return s;
}

int Session::Leader() const {
    if (id_.empty()) return 0;
    const std::string leader =
        Field(ReadFile("/run/systemd/sessions/" + id_).value_or(""), "LEADER");
    try {
        return leader.empty() ? 0 : std::stoi(leader);
    } catch (...) {
        return 0;
    }
}

bool Session::Ended() const {
    if (id_.empty()) return false;
    const auto text = ReadFile("/run/systemd/sessions/" + id_);
    return !text || Field(*text, "STATE") == "closing";
}

}  // namespace sentrel
