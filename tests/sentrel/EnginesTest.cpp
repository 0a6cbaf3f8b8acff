// Browsers known by their engine: recorded /proc/PID/maps lines of real browsers and of programs
// that embed an engine, and the rule that decides with what the package system knows.
#include <gtest/gtest.h>

#include "sentrel/core/Engines.h"

using sentrel::Engine;
using sentrel::EngineInMaps;

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
    using sentrel::EngineMakesBrowser;
    using sentrel::PackageFacts;
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
    using sentrel::DesktopEntrySaysBrowser;
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

}  // namespace
