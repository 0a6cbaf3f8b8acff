// Which running programs the guard stops: web browsers, and the applications the parent listed.
//
// A program is known by its executable (the file the process runs, not its 15-character name):
//  - a web browser by the executable's base name, or by the Flatpak or snap app it runs in;
//    the list is kBrowsers in Programs.cpp, one line a browser;
//  - an application entry ("App1".."App9") matches the executable's base name in any letter case,
//    with or without a trailing ".exe" ("Game.EXE" stops game and game.exe); an entry holding a
//    "/" matches the full path instead. Blanks around an entry do not count.
// For a script run by an interpreter (python3 qutebrowser), a Windows program run by Wine and a
// program started through the dynamic loader (ld-linux-x86-64.so.2 /usr/bin/epiphany), the name
// of what it runs counts as the program's name as well.
//
// A program the table does not name is a web browser by its engine (Engines.h): one that runs a
// browser engine and belongs to no package, or whose package declares a web browser. The parent
// reads it as "firefox (a copy in /home/child/x/notes)".
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "lib/enforce/Engines.h"

namespace enforce {

struct ProcessInfo {
    int pid = 0;
    std::uint64_t startTime = 0;    // clock ticks after boot: with the pid, the process's identity
    std::string exe;                // full path of the executable
    std::vector<std::string> args;  // the first arguments (argv[0], argv[1], ...), maybe none
    std::string app;                // "flatpak:<app id>" or "snap:<name>" of its scope, or ""
    Engine engine = Engine::None;   // the browser engine it runs, as far as known yet
    PackageFacts package;           // what the package system says of it (when it runs one)
    // Its executable's path, as the process sees it, names another file for the system (a
    // mount namespace of the account's own): the path spares nothing.
    bool exeFaked = false;
    // The browser its executable is an exact copy of ("w3m"), known by the file's content; "".
    std::string copyOf;
};

struct Match {
    enum Kind { None, Browser, Application } kind = None;
    std::string name;  // what the parent reads: "firefox", "game"
    std::string rule;  // why: "a web browser", "App3 'Game.EXE'"
};

// What an interpreter, Wine or the dynamic loader runs, as named on its command line, when the
// command line says it for certain (the argument after the interpreter's plain flags); "" for
// code from standard input, -c or -e, a script after an option with a value, and a program that
// runs itself.
std::string ProgramOf(const ProcessInfo& p);
// Whether the process's executable is an interpreter, Wine or the dynamic loader: what it does
// is its script's, never the executable's.
bool IsInterpreted(const ProcessInfo& p);

// The browsers' executables by base name, with the name the parent reads: ("w3m", "w3m"),
// ("firefox-esr", "firefox"), ...
std::vector<std::pair<std::string, std::string>> BrowserExecutables();

// `apps` are the entries as typed, in order App1.. (empty ones already left out).
Match Classify(const ProcessInfo& p, const std::vector<std::string>& apps);

}  // namespace enforce
