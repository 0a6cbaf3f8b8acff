#include "lib/enforce/Engines.h"

#include <algorithm>
#include <vector>

namespace enforce {
namespace {

// The base names of the files mapped, one per line of `maps` that names a file.
std::vector<std::string_view> MappedNames(std::string_view maps) {
    std::vector<std::string_view> names;
    while (!maps.empty()) {
        const auto end = maps.find('\n');
        std::string_view line = maps.substr(0, end);
        maps = end == std::string_view::npos ? std::string_view{} : maps.substr(end + 1);
        const auto path = line.find('/');
        if (path == std::string_view::npos) continue;  // anonymous, [heap], [stack], ...
        line = line.substr(path);
        if (line.ends_with(" (deleted)")) line.remove_suffix(10);
        const auto slash = line.rfind('/');
        names.push_back(line.substr(slash + 1));
    }
    return names;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// A shared library's name: "lib.so" itself or with a version after it ("lib.so.1").
bool IsLibrary(std::string_view name, std::string_view lib) {
    return name == lib ||
           (StartsWith(name, lib) && name.size() > lib.size() && name[lib.size()] == '.');
}

// The value of `key` in a desktop entry's [Desktop Entry] group ("Key[de]=" is another key).
std::string_view Value(std::string_view text, std::string_view key) {
    bool inEntry = false;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (StartsWith(line, "[")) {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        if (!inEntry || !StartsWith(line, key)) continue;
        std::string_view rest = line.substr(key.size());
        while (StartsWith(rest, " ")) rest.remove_prefix(1);
        if (!StartsWith(rest, "=")) continue;
        rest.remove_prefix(1);
        while (StartsWith(rest, " ")) rest.remove_prefix(1);
        return rest;
    }
    return {};
}

bool ListHas(std::string_view list, std::string_view item) {
    while (!list.empty()) {
        const auto end = list.find(';');
        if (list.substr(0, end) == item) return true;
        if (end == std::string_view::npos) break;
        list.remove_prefix(end + 1);
    }
    return false;
}

// What the parent reads of each engine: the browser a copy is taken for, and the engine's name.
struct Names {
    Engine engine;
    const char* browser;
    const char* title;
};
const Names& NamesOf(Engine engine) {
    static constexpr Names kNames[] = {
        {Engine::None, "", ""},
        {Engine::Gecko, "firefox", "Gecko"},
        {Engine::Chromium, "chromium", "Chromium"},
        {Engine::WebKitGtk, "a WebKitGTK browser", "WebKitGTK"},
        {Engine::QtWebEngine, "a Qt WebEngine browser", "Qt WebEngine"},
    };
    for (const Names& n : kNames)
        if (n.engine == engine) return n;
    return kNames[0];
}

}  // namespace

Engine EngineOfOwnFiles(const std::function<bool(std::string_view name)>& has) {
    if (has("libxul.so")) return Engine::Gecko;
    if (has("icudtl.dat") && (has("v8_context_snapshot.bin") || has("snapshot_blob.bin")))
        return Engine::Chromium;
    return Engine::None;
}

Engine EngineOfLibraryName(std::string_view name) {
    if (StartsWith(name, "libwebkit2gtk-") || StartsWith(name, "libwebkitgtk-"))
        return Engine::WebKitGtk;
    if (IsLibrary(name, "libxul.so")) return Engine::Gecko;
    if (IsLibrary(name, "libQt5WebEngineCore.so") || IsLibrary(name, "libQt6WebEngineCore.so"))
        return Engine::QtWebEngine;
    if (IsLibrary(name, "libcef.so")) return Engine::Chromium;
    return Engine::None;
}

Engine EngineInMaps(std::string_view maps) {
    const std::vector<std::string_view> names = MappedNames(maps);
    for (std::string_view name : names)
        if (const Engine engine = EngineOfLibraryName(name); engine != Engine::None) return engine;
    return EngineOfOwnFiles([&names](std::string_view file) {
        return std::find(names.begin(), names.end(), file) != names.end();
    });
}

bool EngineMakesBrowser(Engine engine, const PackageFacts& facts) {
    if (engine == Engine::None) return false;
    return !facts.packaged || facts.browserEntry;
}

bool DesktopEntrySaysBrowser(std::string_view text) {
    return ListHas(Value(text, "Categories"), "WebBrowser") ||
           ListHas(Value(text, "MimeType"), "x-scheme-handler/http");
}

std::string EngineBrowserName(Engine engine) {
    return NamesOf(engine).browser;
}

std::string EngineTitle(Engine engine) {
    return NamesOf(engine).title;
}

bool IsDynamicLoader(std::string_view base) {
    return StartsWith(base, "ld-linux") || StartsWith(base, "ld64.so") || base == "ld.so";
}

}  // namespace enforce
