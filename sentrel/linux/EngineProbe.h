// The browser engine a process runs, learnt once per executable. An executable is known by its
// identity (device, inode, change time), so a copy or a rewritten file is a new one, and a scan
// does not look again at one it knows.
//
//  - First, the executable's directory: Firefox's libxul.so, and Chromium's icudtl.dat with its
//    V8 snapshot, lie beside the executable in every installation and every copy of one, so a
//    copy is known at its exec, before it has loaded anything.
//  - Otherwise the files the process maps (/proc/PID/maps): WebKitGTK and Qt WebEngine are loaded
//    with the program. They are read once the process is 50 ms old, and again at 1 s if nothing
//    was found and the process had barely run: one read for a browser, at most two a process.
//  - An engine found holds for the executable. "No engine" holds for it only once a process of it
//    was seen past loading without one: it has used 30 ms of processor time (the loader maps a
//    program's libraries in a few ms, before it runs any of its code), or it sleeps in a call only
//    a program's own code makes (pause, poll, nanosleep, ...; the loader only opens, reads and
//    maps). So a process stopped, traced or stalled before it loaded its libraries cannot make its
//    executable pass for engine-less later.
//  - A process that runs a script or program through an interpreter or the dynamic loader
//    (python3 ~/web.py, ld-linux-x86-64.so.2 ~/notes), and one whose executable the caller may
//    not look at (root is refused a file on an account's own FUSE mount, an AppImage's), is
//    judged alone, from its maps, which the kernel gives without asking the file system; the
//    package facts are then those of the script or program it runs.
// The package facts are asked only for an executable that runs an engine, once, and only for a
// file root owns: packages are installed as root, and an account's own file (a copy, a
// download, a Flatpak installed for that user alone) is no package's.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <tuple>

#include "sentrel/core/Engines.h"
#include "sentrel/linux/Packages.h"

namespace sentrel {

inline constexpr std::uint64_t kEngineFirstReadMs = 50;
inline constexpr std::uint64_t kEngineLastReadMs = 1000;
inline constexpr std::uint64_t kEngineSettledCpuMs = 30;

class EngineProbe {
  public:
    explicit EngineProbe(Packages packages = Packages());

    struct Sighting {
        int pid = 0;
        std::string exe, app;     // as ProcessInfo has them
        std::string program;      // what an interpreter or the loader runs (a full path), or ""
        std::uint64_t ageMs = 0;  // since the process started
        std::uint64_t cpuMs = 0;  // processor time it has used
        int reads = 0;            // maps reads made for this process so far
        char state = 0;           // as /proc/PID/stat has it: 'R', 'S', 'T', ...
    };
    struct Verdict {
        Engine engine = Engine::None;
        PackageFacts package;
        bool final = false;  // nothing more to learn for this process
        int reads = 0;       // maps reads made for it, this one included
    };
    // `procFd`: the open /proc.
    Verdict Look(int procFd, const Sighting& s);

    std::uint64_t MapsReads() const { return mapsReads_; }

  private:
    struct Key {
        dev_t dev;
        ino_t ino;
        std::int64_t ctimeSec, ctimeNsec;
        std::string path;  // a hard link elsewhere is another package's file, or none's
        bool operator<(const Key& o) const {
            return std::tie(dev, ino, ctimeSec, ctimeNsec, path) <
                   std::tie(o.dev, o.ino, o.ctimeSec, o.ctimeNsec, o.path);
        }
    };
    struct Known {
        uid_t owner = 0;  // of the executable's file
        Engine engine = Engine::None;
        bool settled = false;
        bool factsKnown = false;
        PackageFacts facts;
    };
    std::optional<Engine> ReadMaps(int procFd, int pid);  // nothing: the read did not answer
    const PackageFacts& Facts(Known& known, const Sighting& s);

    Packages packages_;
    std::map<Key, Known> known_;
    std::uint64_t mapsReads_ = 0;
};

// When the process of `s` is next due a maps read, in ms from now; -1: never.
std::int64_t EngineReadDueInMs(const EngineProbe::Sighting& s);

}  // namespace sentrel
