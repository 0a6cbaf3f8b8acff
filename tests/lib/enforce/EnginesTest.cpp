// Browsers known by their engine: recorded /proc/PID/maps lines of real browsers and of programs
// that embed an engine, and the rule that decides with what the package system knows.
#include <gtest/gtest.h>

#include "lib/enforce/Engines.h"
#include "lib/enforce/Programs.h"

using enforce::Engine;
using enforce::EngineInMaps;

namespace {

// A maps line as the kernel writes it.
std::string Line(const std::string& path) {
    return "7f5dd4800000-7f5dd7b64000 r--p 00000000 fe:00 1097790                    " + path +
           "\n";
}
const std::string kCommon = "55d2ec0a6000-55d2ec0c9000 rw-p 00000000 00:00 0 \n" +
                            Line("/usr/lib/x86_64-linux-gnu/libc.so.6") +
                            "7ffd1c8e4000-7ffd1c905000 rw-p 00000000 00:00 0    [stack]\n";

TEST(Engines, KnownByTheFilesEveryBuildMaps) {
    // Firefox, and a copy of its directory under another name.
    EXPECT_EQ(EngineInMaps(kCommon + Line("/usr/lib/firefox-esr/libxul.so")), Engine::Gecko);
    EXPECT_EQ(EngineInMaps(kCommon + Line("/home/child/x/libxul.so (deleted)")), Engine::Gecko);
    // Chromium: the V8 snapshot and the ICU data, wherever they lie.
    EXPECT_EQ(EngineInMaps(kCommon + Line("/usr/lib/chromium/v8_context_snapshot.bin") +
                           Line("/usr/lib/chromium/icudtl.dat")),
              Engine::Chromium);
    EXPECT_EQ(
        EngineInMaps(Line("/home/child/y/snapshot_blob.bin") + Line("/home/child/y/icudtl.dat")),
        Engine::Chromium);
    EXPECT_EQ(EngineInMaps(Line("/usr/lib/x86_64-linux-gnu/libwebkit2gtk-4.1.so.0.12.5")),
              Engine::WebKitGtk);
    EXPECT_EQ(EngineInMaps(Line("/usr/lib/x86_64-linux-gnu/libwebkitgtk-6.0.so.4")),
              Engine::WebKitGtk);
    EXPECT_EQ(EngineInMaps(Line("/usr/lib/x86_64-linux-gnu/libQt6WebEngineCore.so.6.4.2")),
              Engine::QtWebEngine);
    EXPECT_EQ(EngineInMaps(Line("/usr/lib/x86_64-linux-gnu/libQt5WebEngineCore.so.5")),
              Engine::QtWebEngine);
}

TEST(Engines, LookalikesAndHalvesAreNoEngine) {
    EXPECT_EQ(EngineInMaps(""), Engine::None);
    EXPECT_EQ(EngineInMaps(kCommon), Engine::None);
    // One of Chromium's two files alone (ICU data is common), names that only begin alike, and a
    // path that holds the name in a directory.
    EXPECT_EQ(EngineInMaps(Line("/usr/share/icu/icudtl.dat")), Engine::None);
    EXPECT_EQ(EngineInMaps(Line("/opt/x/snapshot_blob.bin")), Engine::None);
    EXPECT_EQ(EngineInMaps(Line("/usr/lib/libxul.so-helper") + Line("/usr/lib/libxulrunner.so")),
              Engine::None);
    EXPECT_EQ(EngineInMaps(Line("/home/child/libxul.so/game")), Engine::None);
    EXPECT_EQ(EngineInMaps(Line("/usr/lib/libQt6WebEngineCoreHelper.so")), Engine::None);
    // A file name on an anonymous line is not a mapped file.
    EXPECT_EQ(EngineInMaps("7f00-7f01 rw-p 00000000 00:00 0   [anon:libxul.so]\n"), Engine::None);
}

TEST(Engines, ThePackageDecidesForWhatItInstalled) {
    using enforce::EngineMakesBrowser;
    using enforce::PackageFacts;
    // Unpacked from a download or copied into a home: an engine makes it a browser.
    EXPECT_TRUE(EngineMakesBrowser(Engine::Gecko, {}));
    EXPECT_TRUE(EngineMakesBrowser(Engine::Chromium, {}));
    // Installed: Thunderbird, Yelp or an Electron application is not, unless its entry says so.
    EXPECT_FALSE(EngineMakesBrowser(Engine::Gecko, PackageFacts{true, false}));
    EXPECT_FALSE(EngineMakesBrowser(Engine::WebKitGtk, PackageFacts{true, false}));
    EXPECT_TRUE(EngineMakesBrowser(Engine::QtWebEngine, PackageFacts{true, true}));
    EXPECT_FALSE(EngineMakesBrowser(Engine::None, {}));
}

TEST(Engines, DesktopEntriesThatDeclareABrowser) {
    using enforce::DesktopEntrySaysBrowser;
    EXPECT_TRUE(DesktopEntrySaysBrowser(
        "[Desktop Entry]\nName=Falkon\nCategories=Network;WebBrowser;\nExec=falkon %u\n"));
    EXPECT_TRUE(DesktopEntrySaysBrowser(
        "[Desktop Entry]\r\nMimeType=text/html;x-scheme-handler/http;x-scheme-handler/https;\r\n"));
    EXPECT_TRUE(DesktopEntrySaysBrowser("[Desktop Entry]\nCategories = GNOME;WebBrowser\n"));
    // A mail client, a help viewer; the words elsewhere than the entry's own keys.
    EXPECT_FALSE(
        DesktopEntrySaysBrowser("[Desktop Entry]\nName=Thunderbird\nCategories=Network;Email;\n"
                                "MimeType=message/rfc822;x-scheme-handler/mailto;\n"));
    EXPECT_FALSE(DesktopEntrySaysBrowser(
        "[Desktop Entry]\nName=Help\nCategories=GNOME;Core;Documentation;\n"
        "Comment=Not a WebBrowser\nMimeType=x-scheme-handler/help;x-scheme-handler/https;\n"));
    EXPECT_FALSE(DesktopEntrySaysBrowser(
        "[Desktop Entry]\nName=App\n[Desktop Action web]\nCategories=WebBrowser;\n"));
    EXPECT_FALSE(DesktopEntrySaysBrowser("Categories=WebBrowser;\n"));  // no group at all
    EXPECT_FALSE(DesktopEntrySaysBrowser("[Desktop Entry]\nCategories[de]=WebBrowser;\n"));
}

// What the guard decides and the parent reads, by the table first and the engine for the rest.
TEST(Engines, ClassifiedByEngineWhereTheTableDoesNotNameIt) {
    using enforce::Match;
    using enforce::PackageFacts;
    auto classify = [](std::string exe, std::vector<std::string> args, Engine engine,
                       PackageFacts facts, std::vector<std::string> apps = {}) {
        return enforce::Classify({1, 1, std::move(exe), std::move(args), {}, engine, facts}, apps);
    };
    const PackageFacts none, mail{true, false}, browser{true, true};

    Match m = classify("/home/child/x/notes", {"notes"}, Engine::Gecko, none);
    EXPECT_EQ(m.kind, Match::Browser);
    EXPECT_EQ(m.name, "firefox (a copy in /home/child/x/notes)");
    EXPECT_EQ(m.rule, "a web browser (Gecko engine)");
    // The table's names go first; an installed browser it does not know goes by its own name.
    EXPECT_EQ(classify("/usr/lib/chromium/chromium", {}, Engine::Chromium, browser).name,
              "chromium");
    EXPECT_EQ(classify("/usr/bin/surf", {}, Engine::WebKitGtk, browser).name, "surf");
    // Installed programs that embed an engine run on; a copy of one is a browser.
    EXPECT_EQ(classify("/usr/lib/thunderbird/thunderbird-bin", {}, Engine::Gecko, mail).kind,
              Match::None);
    EXPECT_EQ(classify("/usr/bin/yelp", {}, Engine::WebKitGtk, mail).kind, Match::None);
    EXPECT_EQ(classify("/home/child/tb/mail", {}, Engine::Gecko, none).kind, Match::Browser);
    // A listed application without an engine is still the parent's entry.
    EXPECT_EQ(classify("/usr/bin/game", {}, Engine::None, none, {"game"}).kind, Match::Application);
}

TEST(Engines, ScriptsThatShowPagesAreJudgedByTheScript) {
    // What the engine check judges (its package, its own process) is the script, not the
    // installed interpreter, also for the runtimes that embed an engine in a few lines.
    for (const char* exe : {"/usr/bin/python3.11", "/usr/bin/gjs-console", "/usr/lib/qt6/bin/qml",
                            "/usr/lib/qt5/bin/qmlscene", "/usr/bin/lua5.4"}) {
        const enforce::ProcessInfo p{1, 1, exe, {"x", "/home/child/web"}, {}};
        EXPECT_EQ(enforce::ProgramOf(p), "/home/child/web") << exe;
        EXPECT_TRUE(enforce::IsInterpreted(p)) << exe;
    }
    EXPECT_EQ(enforce::ProgramOf({1, 1, "/usr/bin/gedit", {"gedit", "/home/child/web"}, {}}), "");
    // The script is named for certain only after plain flags (a packaged script's first line);
    // code from standard input or -c, and a script after an option with a value, are unknown,
    // whatever packaged file the command line names after them.
    auto script = [](std::string exe, std::vector<std::string> args) {
        return enforce::ProgramOf({1, 1, std::move(exe), std::move(args), {}});
    };
    EXPECT_EQ(script("/usr/bin/python3", {"python3", "-Es", "/usr/bin/tool"}), "/usr/bin/tool");
    EXPECT_EQ(script("/bin/sh", {"sh", "-e", "--", "/usr/bin/tool"}), "/usr/bin/tool");
    EXPECT_EQ(script("/usr/bin/python3", {"python3", "-", "/usr/share/yelp/x.py"}), "");
    EXPECT_EQ(script("/usr/bin/python3", {"python3"}), "");
    EXPECT_EQ(script("/usr/bin/python3", {"python3", "-c", "import web", "/usr/bin/tool"}), "");
    EXPECT_EQ(script("/usr/bin/python3", {"python3", "-W", "/usr/bin/tool", "web.py"}), "");
    EXPECT_EQ(script("/usr/bin/bash", {"bash", "-c", "/usr/bin/tool"}), "");
    EXPECT_EQ(script("/usr/bin/perl", {"perl", "-e", "1", "/usr/bin/tool"}), "");
    // What the parent reads of a script it cannot name.
    const enforce::ProcessInfo stdinScript{
        1, 1, "/usr/bin/python3", {"python3"}, {}, Engine::WebKitGtk, {}};
    EXPECT_EQ(enforce::Classify(stdinScript, {}).name,
              "a WebKitGTK browser (a script run by /usr/bin/python3)");
}

TEST(Engines, TheDynamicLoaderRunByHandIsJudgedByWhatItRuns) {
    using enforce::Match;
    const std::string loader = "/usr/lib/x86_64-linux-gnu/ld-linux-x86-64.so.2";
    // By the table: the program it runs is named there.
    Match m = enforce::Classify({1, 1, loader, {loader, "/usr/bin/epiphany"}, {}}, {});
    EXPECT_EQ(m.kind, Match::Browser);
    EXPECT_EQ(m.name, "epiphany");
    // By the engine it maps (no package vouches for what the loader runs).
    m = enforce::Classify({1, 1, loader, {loader, "/home/child/notes"}, {}, Engine::WebKitGtk, {}},
                          {});
    EXPECT_EQ(m.name, "a WebKitGTK browser (a copy in /home/child/notes)");
    EXPECT_EQ(enforce::Classify({1, 1, loader, {loader, "/usr/bin/ls"}, {}}, {}).kind, Match::None);
}

}  // namespace
