// The browser engine a process runs, and what the package system may say of it. Nothing the
// account chooses counts as evidence that a program is installed software: not the name of the
// scope it runs in, not a path as the process sees it (a mount namespace of the account's own
// can make a path say anything), not a desktop entry it wrote.
//
//  - An executable is known by its identity (device, inode, change time, path), so a copy or a
//    rewritten file is a new one, and a scan does not look again at one it knows.
//  - First, the files beside the executable, as the process sees them: Firefox's libxul.so (a
//    Gecko library by what the file holds), and Chromium's icudtl.dat with its V8 snapshot, lie
//    beside the executable in every installation and every copy of one, so a copy is known at
//    its exec, before it has loaded anything.
//  - Otherwise the files the process maps (/proc/PID/maps): an engine library by its name, or
//    by what the file is (ElfEngine: its DT_SONAME, its entry points), learnt once per file
//    identity. They are read once the process is 50 ms old, and again at 1 s if nothing was
//    found and the process had barely run.
//  - "No engine" holds for an executable only once a process of it was seen past loading
//    without one: 30 ms of processor time, or asleep in a call only a program's own code makes.
//  - A process judged alone, and read again over its whole life (Recheck: whenever what it maps
//    has grown): an interpreter's or the dynamic loader's (python3 ~/web.py, python3 -c ...,
//    ld-linux-x86-64.so.2 ~/notes), one whose executable is no installed file (the account's
//    own, or a path that names another file outside the process's namespace), and one whose
//    executable the caller may not look at (root is refused a file on an account's own FUSE
//    mount).
//  - An executable of no installed file that is an exact copy of an installed browser's (w3m
//    copied and renamed) is that browser (BrowserCopies), known once per file identity.
//  - Installed software that runs an engine and is no browser runs on only while none of the
//    account's own code runs in it: no file of its own mapped executable (a library, one
//    preloaded, a memfd), no loader or interpreter variable in its environment naming what is
//    not the system's (LoaderVariables), and for an interpreter nothing in the per-user places
//    it loads from (Python's user site and its .pth files, Node's and Ruby's home folders).
//  - The package facts are asked only for a process that runs an engine, and only with
//    evidence: a file root owns whose path names that same file for the system too (or one of
//    the Flatpak or snap app's own installed files); the script of an interpreter likewise, and
//    a script the command line does not name for certain (standard input, -c) is no package's.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <utility>

#include "lib/enforce/Engines.h"
#include "lib/enforce/linux/BrowserCopies.h"
#include "lib/enforce/linux/Packages.h"

namespace enforce {

struct MapsLine;

inline constexpr std::uint64_t kEngineFirstReadMs = 50;
inline constexpr std::uint64_t kEngineLastReadMs = 1000;
inline constexpr std::uint64_t kEngineSettledCpuMs = 30;

class EngineProbe {
  public:
    explicit EngineProbe(Packages packages = Packages());

    struct Sighting {
        int pid = 0;
        std::string dir;       // below /proc: "PID" when "", or "PID/task/TID" (see ProcScanner)
        std::string exe, app;  // as ProcessInfo has them
        bool interpreted = false;  // an interpreter, Wine or the loader (IsInterpreted)
        std::string program;       // what it runs for certain (a full path; ProgramOf), or ""
        std::uint64_t ageMs = 0;   // since the process started
        std::uint64_t cpuMs = 0;   // processor time it has used
        int reads = 0;             // maps reads made for this process so far
        char state = 0;            // as /proc/PID/stat has it: 'R', 'S', 'T', ...
        std::string Dir() const { return dir.empty() ? std::to_string(pid) : dir; }
    };
    struct Verdict {
        Engine engine = Engine::None;
        PackageFacts package;
        bool final = false;  // nothing more to learn for this process from Look
        int reads = 0;       // maps reads made for it, this one included
        bool watch = false;  // judged alone: Recheck it over its life while it runs no engine
        std::string copyOf;  // the installed browser its executable is an exact copy of, or ""
    };
    // `procFd`: the open /proc.
    Verdict Look(int procFd, const Sighting& s);
    // A process Look said to watch, whose mappings grew: its maps read again. Its engine (None
    // when still none, or unread) and the package facts then.
    Verdict Recheck(int procFd, const Sighting& s);

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
        bool evidenced = false;  // an installed file (see above)
        Engine engine = Engine::None;
        bool settled = false;
        bool factsKnown = false;
        PackageFacts facts;
    };
    // A mapped file as last classified.
    struct FileKnown {
        uid_t owner = 0;
        std::int64_t ctimeSec = 0, ctimeNsec = 0;
        Engine engine = Engine::None;
    };
    // Nothing: the read did not answer. Sets ownCode_.
    std::optional<Engine> ReadMaps(int procFd, const std::string& dir);
    const FileKnown* FileOf(int procFd, const std::string& dir, const MapsLine& m);
    // Whether the process read last (ReadMaps) runs code of the account's choosing: a file of
    // its own mapped executable, variables that make the loader or an interpreter load one, or
    // an interpreter's per-user place that holds code (UserLookup).
    bool RunsOwnCode(int procFd, const Sighting& s) const;
    Engine EngineBeside(int procFd, const Sighting& s);
    bool Evidenced(const std::string& seen, const struct stat& real, const std::string& app) const;
    // The browser the process's executable (of no installed file) is an exact copy of, or "".
    std::string CopyOfExecutable(int procFd, const Sighting& s, const struct stat& st);
    // The package facts of a process judged alone that runs an engine.
    PackageFacts ProcessFacts(int procFd, const Sighting& s, const struct stat* exe);

    Packages packages_;
    BrowserCopies copies_;
    std::map<Key, Known> known_;
    std::map<Key, std::string> copyOf_;
    std::map<std::pair<std::string, ino_t>, FileKnown> files_;  // by device ("fd:01") and inode
    std::uint64_t mapsReads_ = 0;
    bool ownCode_ = false;  // of the last maps read
};

// When the process of `s` is next due a maps read, in ms from now; -1: never.
std::int64_t EngineReadDueInMs(const EngineProbe::Sighting& s);

}  // namespace enforce
