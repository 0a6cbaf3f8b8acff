// A web browser known by what it runs, not by its name: the browser engine its process maps,
// and what the system knows of its executable.
//
// Engines, by the files every build of them maps (read from /proc/PID/maps):
//  - Gecko: libxul.so;
//  - Chromium/Blink: the V8 start-up snapshot (v8_context_snapshot.bin or snapshot_blob.bin)
//    together with the ICU data file icudtl.dat;
//  - WebKitGTK: libwebkit2gtk-*.so or libwebkitgtk-*.so;
//  - Qt WebEngine: libQt5WebEngineCore.so or libQt6WebEngineCore.so.
// Not every program that embeds an engine is a browser (a mail client, a help viewer, an
// application built on Chromium). The rule: an executable that belongs to an installed package is
// a browser only when that package's desktop entry says so (Categories ...WebBrowser, or it
// handles x-scheme-handler/http); the name table has already spoken for it. An executable that
// belongs to no package and runs an engine is a browser.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace enforce {

enum class Engine { None, Gecko, Chromium, WebKitGtk, QtWebEngine };

// The engine a shared library's name (a file's base name, or its DT_SONAME) says: libxul.so,
// libwebkit2gtk-*, libwebkitgtk-*, libQt5/6WebEngineCore.so, libcef.so; else None.
Engine EngineOfLibraryName(std::string_view name);
// The engine mapped in `maps` (the text of /proc/PID/maps), or None.
Engine EngineInMaps(std::string_view maps);
// Gecko or Chromium by their own files, which each maps and keeps beside its executable; `has`
// says whether a file of that name is there.
Engine EngineOfOwnFiles(const std::function<bool(std::string_view name)>& has);

struct PackageFacts {
    bool packaged = false;      // the executable is a file of an installed package
    bool browserEntry = false;  // a desktop entry of that package declares a web browser
};

bool EngineMakesBrowser(Engine engine, const PackageFacts& facts);

// Whether a desktop entry's text declares a web browser.
bool DesktopEntrySaysBrowser(std::string_view text);

// The browser as the parent knows it by its engine: "firefox", "chromium", ...
std::string EngineBrowserName(Engine engine);
// The engine's own name: "Gecko", "Chromium", "WebKitGTK", "Qt WebEngine".
std::string EngineTitle(Engine engine);

// Whether `base` (an executable's base name) is the dynamic loader, which runs the program named
// on its command line (ld-linux-x86-64.so.2 /usr/bin/epiphany): the process then runs the
// loader's file, and what it runs is the program's.
bool IsDynamicLoader(std::string_view base);

}  // namespace enforce
