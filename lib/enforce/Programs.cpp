#include "lib/enforce/Programs.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

namespace enforce {
namespace {

// Web browsers: the name the parent reads, the executables' base names, Flatpak app ids, snap
// names. Add a browser here and nowhere else.
struct Browser {
    const char* name;
    std::vector<std::string_view> executables, flatpaks, snaps;
};
const std::vector<Browser>& Browsers() {
    static const std::vector<Browser> kBrowsers = {
        {"firefox",
         {"firefox", "firefox-esr", "firefox-bin", "firefox-developer-edition", "firefox-nightly"},
         {"org.mozilla.firefox", "org.mozilla.Firefox"},
         {"firefox"}},
        {"librewolf", {"librewolf"}, {"io.gitlab.librewolf-community"}, {"librewolf"}},
        {"waterfox", {"waterfox"}, {"net.waterfox.waterfox"}, {}},
        {"chromium",
         {"chromium", "chromium-browser"},
         {"org.chromium.Chromium", "io.github.ungoogled_software.ungoogled_chromium"},
         {"chromium"}},
        {"google-chrome",
         {"chrome", "google-chrome", "google-chrome-stable", "google-chrome-beta",
          "google-chrome-unstable"},
         {"com.google.Chrome"},
         {}},
        {"brave",
         {"brave", "brave-browser", "brave-browser-stable"},
         {"com.brave.Browser"},
         {"brave"}},
        {"vivaldi",
         {"vivaldi", "vivaldi-bin", "vivaldi-stable"},
         {"com.vivaldi.Vivaldi"},
         {"vivaldi"}},
        {"opera", {"opera", "opera-beta", "opera-developer"}, {"com.opera.Opera"}, {"opera"}},
        {"msedge",
         {"msedge", "microsoft-edge", "microsoft-edge-stable", "microsoft-edge-beta"},
         {"com.microsoft.Edge"},
         {}},
        {"epiphany", {"epiphany", "epiphany-browser"}, {"org.gnome.Epiphany"}, {"epiphany"}},
        {"falkon", {"falkon"}, {"org.kde.falkon"}, {"falkon"}},
        {"konqueror", {"konqueror"}, {"org.kde.konqueror"}, {"konqueror"}},
        {"qutebrowser", {"qutebrowser"}, {"org.qutebrowser.qutebrowser"}, {"qutebrowser"}},
        {"midori", {"midori"}, {"org.midori_browser.Midori"}, {"midori"}},
        {"seamonkey", {"seamonkey"}, {}, {}},
        {"palemoon", {"palemoon"}, {}, {}},
        {"tor browser", {"start-tor-browser"}, {"org.torproject.torbrowser-launcher"}, {}},
        {"lynx", {"lynx"}, {}, {}},
        {"w3m", {"w3m"}, {}, {}},
        {"links", {"links", "links2", "elinks"}, {}, {}},
    };
    return kBrowsers;
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string_view BaseName(std::string_view path) {
    const auto slash = path.find_last_of("/\\");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// Lower case, without a trailing ".exe".
std::string Comparable(std::string_view name) {
    std::string out = Lower(name);
    if (out.size() > 4 && out.compare(out.size() - 4, 4, ".exe") == 0) out.resize(out.size() - 4);
    return out;
}

std::string_view Trimmed(std::string_view s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const auto last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

// python3.11, perl5.36, ruby3.1: the interpreter's name without its version.
std::string_view WithoutVersion(std::string_view base) {
    while (!base.empty() &&
           (std::isdigit(static_cast<unsigned char>(base.back())) || base.back() == '.'))
        base.remove_suffix(1);
    return base;
}

bool IsWine(std::string_view base) {
    for (std::string_view wine : {"wine", "wine64", "wine-preloader", "wine64-preloader"})
        if (base == wine) return true;
    return false;
}

bool IsInterpreter(std::string_view base) {
    if (IsDynamicLoader(base)) return true;
    const std::string_view name = WithoutVersion(base);
    // gjs and qml show a web page in a few lines of a script (WebKitGTK, Qt WebEngine).
    for (std::string_view interpreter :
         {"python",      "perl",    "ruby",     "node", "nodejs", "java",  "mono", "mono-sgen",
          "bash",        "sh",      "dash",     "zsh",  "ksh",    "mksh",  "fish", "gjs",
          "gjs-console", "qml",     "qmlscene", "lua",  "luajit", "tclsh", "wish", "guile",
          "php",         "Rscript", "julia",    "pwsh", "deno",   "bun"})
        if (name == interpreter) return true;
    return IsWine(base);
}

// What an interpreter runs, by name: Wine's argv[0] is the Windows program; others run their
// first argument that is not an option. For the names a process answers to only (a name can
// only add to what is stopped).
std::string_view Program(const ProcessInfo& p) {
    const std::string_view base = BaseName(p.exe);
    if (IsWine(base)) {
        for (const std::string& a : p.args)
            if (!BaseName(a).empty() && !IsWine(Lower(BaseName(a)))) return a;
        return {};
    }
    for (std::size_t i = 1; i < p.args.size(); ++i)
        if (!p.args[i].empty() && p.args[i][0] != '-') return p.args[i];
    return {};
}

// The options an interpreter takes before its script that take no value and read no code: what
// a packaged script's first line passes ("#!/usr/bin/python3 -Es", "#!/bin/sh -e").
std::string_view PlainFlags(std::string_view name) {
    if (name == "python") return "bBdEIOqsSuvR";
    if (name == "perl") return "wWTtUX";
    if (name == "ruby") return "wvW";
    if (name == "bash" || name == "sh" || name == "dash" || name == "zsh") return "aefhknuvxBCHP";
    return {};
}

// The script an interpreter runs, as far as its command line says for certain: the argument
// after the interpreter's plain flags (and "--"). Code from standard input, -c or -e, or a
// script after an option with a value is unknown: "".
std::string_view Script(const ProcessInfo& p) {
    const std::string_view base = BaseName(p.exe);
    if (IsWine(base)) return Program(p);
    const std::string_view flags = PlainFlags(WithoutVersion(base));
    for (std::size_t i = 1; i < p.args.size(); ++i) {
        const std::string_view a = p.args[i];
        if (a == "--") return i + 1 < p.args.size() ? std::string_view(p.args[i + 1]) : "";
        if (a.empty() || a == "-") return {};
        if (a[0] != '-') return a;
        if (a.size() < 2 || a[1] == '-' || a.find_first_not_of(flags, 1) != std::string_view::npos)
            return {};
    }
    return {};
}

// What an interpreter, Wine or the loader runs for certain; "" for a program that runs itself.
std::string_view ProgramRun(const ProcessInfo& p) {
    return IsInterpreter(BaseName(p.exe)) ? Script(p) : std::string_view();
}

// The program names a process answers to: its executable's base name, and for interpreters and
// Wine the name of what they run.
std::vector<std::string> ProgramNames(const ProcessInfo& p) {
    std::vector<std::string> names;
    const std::string_view base = BaseName(p.exe);
    if (!base.empty()) names.emplace_back(base);
    if (IsInterpreter(base)) {
        const std::string_view program = BaseName(Program(p));
        if (!program.empty()) names.emplace_back(program);
    }
    return names;
}

// A program the table does not name, by the engine it runs. A packaged browser goes by its
// executable's name; one of no package is a copy (or a download) of a browser, and says where.
Match ByEngine(const ProcessInfo& p, std::string_view program) {
    if (!EngineMakesBrowser(p.engine, p.package)) return {};
    const std::string rule = "a web browser (" + EngineTitle(p.engine) + " engine)";
    if (p.package.packaged) return {Match::Browser, std::string(BaseName(p.exe)), rule};
    std::string where = "a copy in ";
    if (!program.empty())
        where.append(program);
    else if (IsInterpreter(BaseName(p.exe)))
        where = "a script run by " + p.exe;
    else
        where.append(p.exe);
    return {Match::Browser, EngineBrowserName(p.engine) + " (" + where + ")", rule};
}

}  // namespace

std::string ProgramOf(const ProcessInfo& p) {
    return std::string(ProgramRun(p));
}

std::vector<std::pair<std::string, std::string>> BrowserExecutables() {
    std::vector<std::pair<std::string, std::string>> out;
    for (const Browser& b : Browsers())
        for (std::string_view exe : b.executables) out.emplace_back(std::string(exe), b.name);
    return out;
}

bool IsInterpreted(const ProcessInfo& p) {
    return IsInterpreter(BaseName(p.exe));
}

Match Classify(const ProcessInfo& p, const std::vector<std::string>& apps) {
    if (p.exe.empty()) return {};
    const std::vector<std::string> names = ProgramNames(p);
    for (const Browser& b : Browsers()) {
        for (const std::string& name : names)
            for (std::string_view exe : b.executables)
                if (name == exe) return {Match::Browser, b.name, "a web browser"};
        for (std::string_view id : b.flatpaks)
            if (p.app == "flatpak:" + std::string(id))
                return {Match::Browser, b.name, "a web browser"};
        for (std::string_view snap : b.snaps)
            if (p.app == "snap:" + std::string(snap))
                return {Match::Browser, b.name, "a web browser"};
    }
    // A copy of an installed browser's executable under another name.
    if (!p.copyOf.empty())
        return {Match::Browser, p.copyOf + " (a copy in " + p.exe + ")", "a web browser"};
    const std::string_view program = ProgramRun(p);
    if (Match m = ByEngine(p, program); m.kind != Match::None) return m;
    for (std::size_t i = 0; i < apps.size(); ++i) {
        const std::string_view entry = Trimmed(apps[i]);
        if (entry.empty()) continue;
        const std::string rule = "the application '" + apps[i] + "'";
        if (entry.find('/') != std::string_view::npos) {
            if (entry == p.exe || (!program.empty() && entry == program))
                return {Match::Application, std::string(BaseName(entry)), rule};
            continue;
        }
        const std::string wanted = Comparable(entry);
        for (const std::string& name : names)
            if (Comparable(name) == wanted) return {Match::Application, name, rule};
    }
    return {};
}

}  // namespace enforce
