#include "sentrel/linux/EngineProbe.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>

#include "lib/platform/files/ReadFile.h"

namespace sentrel {
namespace {

constexpr std::size_t kMaxMaps = 16 << 20;
constexpr std::size_t kMaxKnown = 4096;  // executables remembered; a scan re-learns the rest

bool IsFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The engine whose files lie beside the executable (Firefox and Chromium keep theirs there).
Engine EngineBeside(const std::string& exe) {
    const auto slash = exe.rfind('/');
    if (slash == std::string::npos || slash == 0) return Engine::None;
    const std::string dir = exe.substr(0, slash + 1);
    if (IsFile(dir + "libxul.so")) return Engine::Gecko;
    if (IsFile(dir + "icudtl.dat") &&
        (IsFile(dir + "v8_context_snapshot.bin") || IsFile(dir + "snapshot_blob.bin")))
        return Engine::Chromium;
    return Engine::None;
}

std::string BaseName(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

EngineProbe::EngineProbe(Packages packages) : packages_(std::move(packages)) {}

Engine EngineProbe::ReadMaps(int procFd, int pid) {
    ++mapsReads_;
    return EngineInMaps(platform::ReadFileAt(procFd, std::to_string(pid) + "/maps", kMaxMaps));
}

const PackageFacts& EngineProbe::Facts(Known& known, const Sighting& s) {
    if (!known.factsKnown) {
        known.facts = packages_.Of(s.exe, s.app);
        known.factsKnown = true;
    }
    return known.facts;
}

EngineProbe::Verdict EngineProbe::Look(int procFd, const Sighting& s) {
    Verdict v;
    v.reads = s.reads;
    const bool due = (s.reads == 0 && s.ageMs >= kEngineFirstReadMs) ||
                     (s.reads == 1 && s.ageMs >= kEngineLastReadMs);
    // The loader run by hand: this process alone says what it runs.
    if (IsDynamicLoader(BaseName(s.exe))) {
        if (due) {
            v.engine = ReadMaps(procFd, s.pid);
            v.reads = s.ageMs >= kEngineLastReadMs ? 2 : s.reads + 1;
        }
        v.final = v.engine != Engine::None || v.reads >= 2;
        if (v.engine != Engine::None) v.package = packages_.Of(s.exe, s.app);
        return v;
    }
    struct stat st {};
    if (::fstatat(procFd, (std::to_string(s.pid) + "/exe").c_str(), &st, 0) != 0) {
        v.final = true;  // gone, or not ours to look at
        return v;
    }
    const Key key{st.st_dev, st.st_ino, st.st_ctim.tv_sec, st.st_ctim.tv_nsec, s.exe};
    auto it = known_.find(key);
    if (it == known_.end()) {
        if (known_.size() >= kMaxKnown) known_.clear();
        Known fresh;
        fresh.engine = EngineBeside(s.exe);
        fresh.settled = fresh.engine != Engine::None;
        it = known_.emplace(key, fresh).first;
    }
    Known& known = it->second;
    if (!known.settled && due) {
        known.engine = ReadMaps(procFd, s.pid);
        // A read at 1 s or later is this process's last.
        v.reads = s.ageMs >= kEngineLastReadMs ? 2 : s.reads + 1;
        known.settled = known.engine != Engine::None || s.cpuMs >= kEngineSettledCpuMs;
    }
    v.engine = known.engine;
    v.final = known.settled || v.reads >= 2;
    if (v.engine != Engine::None) v.package = Facts(known, s);
    return v;
}

std::int64_t EngineReadDueInMs(const EngineProbe::Sighting& s) {
    const auto age = static_cast<std::int64_t>(s.ageMs);
    if (s.reads == 0) return std::max<std::int64_t>(0, kEngineFirstReadMs - age);
    if (s.reads == 1) return std::max<std::int64_t>(0, kEngineLastReadMs - age);
    return -1;
}

}  // namespace sentrel
