// The engine probe over real processes (copies of the do-nothing program, mapping stand-in engine
// files) and the package facts over a system laid out in a temporary directory: a copy is known
// by the engine beside it at its exec, an engine loaded with the program from its maps, each
// executable's maps read once, and a process that has not loaded its libraries yet never makes its
// executable pass for engine-less.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "lib/enforce/Programs.h"
#include "lib/enforce/linux/EngineProbe.h"
#include "lib/enforce/linux/LoaderVariables.h"
#include "lib/enforce/linux/Packages.h"
#include "tests/support/Exec.h"
#include "tests/support/Signal.h"
#include "tests/support/TempEnv.h"

namespace fs = std::filesystem;
using enforce::Engine;
using enforce::EngineProbe;
using enforce::PackageFacts;
using enforce::Packages;

namespace {

class TempDir {
  public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "vtx-engine-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~TempDir() { fs::remove_all(path); }
    fs::path path;
};

void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
}

// A copy of a stand-in engine library ("gecko", "webkit") at `path`, under any name.
std::string EngineLibrary(const std::string& engine, const fs::path& path) {
    fs::create_directories(path.parent_path());
    fs::copy_file(VELTRIX_TOOLS_DIR "/libfake-" + engine + ".so", path,
                  fs::copy_options::overwrite_existing);
    return path.string();
}

// A package installed in the dpkg database below `root`, holding the files `list` names.
void InstallPackage(const fs::path& root, const std::string& name, const std::string& list) {
    const fs::path admin = root / "var/lib/dpkg";
    Write(admin / "info" / (name + ".list"), list);
    std::ofstream(admin / "status", std::ios::app)
        << "Package: " << name << "\nStatus: install ok installed\nPriority: optional\n"
        << "Section: misc\nMaintainer: Tests <tests@localhost>\nArchitecture: all\n"
        << "Version: 1.0\nDescription: a package of the test's\n\n";
}

// A copy of the do-nothing program at `path`.
std::string Program(const fs::path& path) {
    fs::create_directories(path.parent_path());
    fs::copy_file(VELTRIX_TOOLS_DIR "/fake-program", path);
    return path.string();
}

// Processes of the test, ended and reaped when it ends.
class Processes {
  public:
    ~Processes() { EndAll(); }
    void EndAll() {
        for (pid_t pid : pids_) {
            testing_support::Signal(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        pids_.clear();
    }
    // Starts `argv` and returns once it runs it (and maps `mapped`, when given).
    pid_t Start(const std::vector<std::string>& argv, const std::string& mapped = {},
                bool execsAgain = false) {
        const pid_t pid =
            execsAgain ? testing_support::Spawn(argv) : testing_support::StartProgram(argv);
        pids_.push_back(pid);
        for (int i = 0; i < 500 && !mapped.empty(); ++i) {
            std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
            const std::string text((std::istreambuf_iterator<char>(maps)), {});
            if (text.find(mapped) != std::string::npos) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return pid;
    }

    std::size_t Count() const { return pids_.size(); }

  private:
    std::vector<pid_t> pids_;
};

// When a process of that age, with that many reads made, is next due a read.
std::int64_t Due(std::uint64_t ageMs, int reads) {
    EngineProbe::Sighting s;
    s.ageMs = ageMs;
    s.reads = reads;
    return enforce::EngineReadDueInMs(s);
}

class Probe : public ::testing::Test {
  protected:
    Probe()
        : procFd(::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC)),
          probe(Packages(system.path)) {}
    ~Probe() override { ::close(procFd); }

    // Looks at `pid` (running `exe`) as a scan would at the age and processor time given, in the
    // state it is in.
    EngineProbe::Verdict Look(pid_t pid, const std::string& exe, std::uint64_t ageMs, int reads = 0,
                              std::uint64_t cpuMs = 0, const std::string& program = {}) {
        EngineProbe::Sighting s;
        s.pid = pid;
        s.exe = exe;
        s.program = program;
        s.interpreted = enforce::IsInterpreted({0, 0, exe, {}, {}});
        s.ageMs = ageMs;
        s.cpuMs = cpuMs;
        s.reads = reads;
        s.state = State(pid);
        return probe.Look(procFd, s);
    }
    static char State(pid_t pid) {
        std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
        const std::string stat((std::istreambuf_iterator<char>(in)), {});
        const auto close = stat.rfind(") ");
        return close == std::string::npos ? '\0' : stat[close + 2];
    }
    // Waits until `pid` is in state `state`.
    static void WaitFor(pid_t pid, char state) {
        for (int i = 0; i < 500 && State(pid) != state; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_EQ(State(pid), state);
    }

    TempDir home, system;  // the child's files; an empty system (nothing is packaged)
    Processes processes;
    int procFd;
    EngineProbe probe;
};

TEST_F(Probe, ACopyIsKnownByTheEngineBesideItAtItsExec) {
    const std::string gecko = Program(home.path / "x/notes");
    EngineLibrary("gecko", home.path / "x/libxul.so");
    const std::string chromium = Program(home.path / "y/notes");
    Write(home.path / "y/icudtl.dat", "icu");
    Write(home.path / "y/snapshot_blob.bin", "v8");
    const std::string half = Program(home.path / "z/notes");  // ICU data alone is no engine
    Write(home.path / "z/icudtl.dat", "icu");
    Write(home.path / "z/libxul.so", "ELF");  // nor a file only named like Firefox's library

    const auto copy = Look(processes.Start({gecko}), gecko, 0);
    EXPECT_EQ(copy.engine, Engine::Gecko);
    EXPECT_TRUE(copy.final);
    EXPECT_FALSE(copy.package.packaged);
    EXPECT_EQ(Look(processes.Start({chromium}), chromium, 0).engine, Engine::Chromium);
    const auto none = Look(processes.Start({half}), half, 0);
    EXPECT_EQ(none.engine, Engine::None);
    EXPECT_FALSE(none.final);  // its maps are still to be read
    EXPECT_EQ(probe.MapsReads(), 0u);

    // What the parent reads.
    enforce::ProcessInfo p{1, 1, gecko, {"notes"}, {}, copy.engine, copy.package};
    const enforce::Match m = enforce::Classify(p, {});
    EXPECT_EQ(m.kind, enforce::Match::Browser);
    EXPECT_EQ(m.name, "firefox (a copy in " + gecko + ")");
}

TEST_F(Probe, AnEngineLoadedWithTheProgramIsReadFromItsMapsOncePerExecutable) {
    const std::string exe = Program(home.path / "bin/reader");
    const std::string engine = (home.path / "lib/libwebkit2gtk-4.1.so.0").string();
    Write(engine, std::string(4096, 'w'));
    const pid_t first = processes.Start({exe, "--map", engine}, engine);

    // At its exec the loader has mapped nothing yet: not read.
    const auto young = Look(first, exe, 10);
    EXPECT_EQ(young.engine, Engine::None);
    EXPECT_FALSE(young.final);
    EXPECT_EQ(probe.MapsReads(), 0u);
    EXPECT_EQ(Due(10, young.reads), 40);

    const auto read = Look(first, exe, 60, young.reads);
    EXPECT_EQ(read.engine, Engine::WebKitGtk);
    EXPECT_TRUE(read.final);
    EXPECT_EQ(probe.MapsReads(), 1u);

    // Every later process of the executable is known at its exec, without a read.
    const pid_t second = processes.Start({exe});
    EXPECT_EQ(Look(second, exe, 0).engine, Engine::WebKitGtk);
    EXPECT_EQ(probe.MapsReads(), 1u);
}

TEST_F(Probe, NoEngineHoldsForTheExecutableOnlyOnceAProcessWasSeenPastLoading) {
    const std::string exe = Program(home.path / "bin/viewer");
    const std::string engine = (home.path / "lib/libQt6WebEngineCore.so.6").string();
    Write(engine, std::string(4096, 'q'));

    // A process held (stopped, as before it loads anything): read at 50 ms and at 1 s, then left,
    // but its executable is not taken for engine-less.
    const pid_t held = processes.Start({exe});
    testing_support::Signal(held, SIGSTOP);
    WaitFor(held, 'T');
    auto v = Look(held, exe, 60);
    EXPECT_EQ(v.reads, 1);
    EXPECT_FALSE(v.final);
    v = Look(held, exe, 1000, v.reads);
    EXPECT_EQ(v.engine, Engine::None);
    EXPECT_TRUE(v.final);
    EXPECT_EQ(v.reads, 2);
    EXPECT_EQ(Due(1000, v.reads), -1);
    const pid_t later = processes.Start({exe, "--map", engine}, engine);
    EXPECT_EQ(Look(later, exe, 60).engine, Engine::QtWebEngine);

    // Past loading without an engine: asleep in its own code (pause), or having run a while
    // (30 ms of processor time). One read settles the executable: none for its later processes.
    const std::string idle = Program(home.path / "bin/idle");
    const pid_t sleeper = processes.Start({idle});
    WaitFor(sleeper, 'S');
    EXPECT_TRUE(Look(sleeper, idle, 60).final);
    const std::string busy = Program(home.path / "bin/busy");
    EXPECT_TRUE(Look(processes.Start({busy, "--spin", "40"}), busy, 60, 0, 40).final);
    const std::uint64_t reads = probe.MapsReads();
    EXPECT_TRUE(Look(processes.Start({idle}), idle, 60).final);
    EXPECT_TRUE(Look(processes.Start({busy}), busy, 60).final);
    EXPECT_EQ(probe.MapsReads(), reads);
}

TEST_F(Probe, ARewrittenExecutableIsANewOne) {
    const std::string exe = Program(home.path / "bin/tool");
    const pid_t first = processes.Start({exe});
    EXPECT_TRUE(Look(first, exe, 60, 0, 100).final);  // settled: no engine
    // The same path, now a copy beside Firefox's library: another file (change time, inode).
    processes.EndAll();
    fs::remove(exe);
    Program(exe);
    EngineLibrary("gecko", home.path / "bin/libxul.so");
    EXPECT_EQ(Look(processes.Start({exe}), exe, 0).engine, Engine::Gecko);
}

TEST_F(Probe, AScriptIsJudgedByItsOwnProcessAndItsOwnPackage) {
    // An interpreter (an installed one, in truth) running a script of the child's that maps an
    // engine, and the same interpreter running other scripts.
    const std::string python = Program(home.path / "bin/python3");
    const std::string engine = (home.path / "lib/libwebkit2gtk-4.1.so.0").string();
    Write(engine, std::string(4096, 'w'));
    const std::string web = (home.path / "web.py").string();
    const pid_t browsing = processes.Start({python, web, "--map", engine}, engine);
    const auto v = Look(browsing, python, 60, 0, 0, web);
    EXPECT_EQ(v.engine, Engine::WebKitGtk);
    EXPECT_FALSE(v.package.packaged);  // the script's: no package holds it
    enforce::ProcessInfo p{browsing, 1, python, {"python3", web}, {}, v.engine, v.package};
    EXPECT_EQ(enforce::Classify(p, {}).name, "a WebKitGTK browser (a copy in " + web + ")");
    // What one script maps says nothing of the interpreter's other processes.
    const pid_t other = processes.Start({python, (home.path / "tool.py").string()});
    EXPECT_EQ(Look(other, python, 60, 0, 0, (home.path / "tool.py").string()).engine, Engine::None);
    EXPECT_EQ(Look(processes.Start({python}), python, 0).engine, Engine::None);
}

TEST_F(Probe, OnlyWhatTheAccountCannotForgeMakesAProgramInstalledSoftware) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a file to another account";
    // A mail client on Gecko in a Flatpak, installed for the system: root's files in the app's
    // installation, an exported entry that declares no browser. It runs on.
    Write(system.path / "var/lib/flatpak/exports/share/applications/org.example.Mail.desktop",
          "[Desktop Entry]\nCategories=Network;Email;\n");
    const fs::path app = system.path / "var/lib/flatpak/app/org.example.Mail/x86_64/1/files/bin";
    const std::string systemWide = Program(app / "mail");
    EngineLibrary("gecko", app / "libxul.so");
    auto look = [this](const std::string& exe) {
        EngineProbe::Sighting s;
        s.pid = processes.Start({exe});
        s.exe = exe;
        s.app = "flatpak:org.example.Mail";
        return probe.Look(procFd, s);
    };
    const auto installed = look(systemWide);
    EXPECT_EQ(installed.engine, Engine::Gecko);
    EXPECT_TRUE(installed.package.packaged);
    EXPECT_FALSE(enforce::EngineMakesBrowser(installed.engine, installed.package));
    // In a scope of the same name: the account's own installation (its files), and root's
    // file from elsewhere (the scope's name is the account's choice). Both are browsers.
    const std::string own = Program(home.path / "user/app/mail");
    EngineLibrary("gecko", home.path / "user/app/libxul.so");
    ASSERT_EQ(::chown(own.c_str(), 65534, 65534), 0);
    const auto ownCopy = look(own);
    EXPECT_FALSE(ownCopy.package.packaged);
    EXPECT_TRUE(enforce::EngineMakesBrowser(ownCopy.engine, ownCopy.package));
    EXPECT_TRUE(ownCopy.watch);
    const std::string elsewhere = Program(home.path / "root/app/mail");
    EngineLibrary("gecko", home.path / "root/app/libxul.so");
    const auto scoped = look(elsewhere);
    EXPECT_EQ(scoped.engine, Engine::Gecko);
    EXPECT_FALSE(scoped.package.packaged);
}

TEST_F(Probe, NeitherAPathOfItsOwnNamespaceNorItsOwnCodeInAnInstalledProgramIsEvidence) {
    if (::geteuid() != 0 || std::system("unshare -m true 2>/dev/null") != 0)
        GTEST_SKIP() << "needs root and mount namespaces";
    // An installed viewer (root's file, a package's, no browser entry), and a program of no
    // package that maps an engine, mounted over the viewer's path in a namespace of its own.
    const std::string viewer = Program(system.path / "usr/bin/viewer");
    InstallPackage(system.path, "viewer", viewer + "\n/usr/share/applications/viewer.desktop\n");
    Write(system.path / "usr/share/applications/viewer.desktop",
          "[Desktop Entry]\nCategories=Utility;\n");
    const std::string notes = Program(home.path / "x/notes");
    const std::string engine = EngineLibrary("webkit", home.path / "lib/libnotes.so");
    const pid_t pid =
        processes.Start({"/usr/bin/unshare", "-m", "--propagation", "private", "sh", "-c",
                         "mount --bind '" + notes + "' '" + viewer + "' && exec '" + viewer +
                             "' --map '" + engine + "'"},
                        engine, true);
    const auto v = Look(pid, viewer, 60);
    EXPECT_EQ(v.engine, Engine::WebKitGtk);
    EXPECT_FALSE(v.package.packaged);
    // The real viewer, in the system's own view, is its package's.
    const auto real = Look(processes.Start({viewer, "--map", engine}, engine), viewer, 60);
    EXPECT_EQ(real.engine, Engine::WebKitGtk);
    EXPECT_TRUE(real.package.packaged);
    EXPECT_FALSE(enforce::EngineMakesBrowser(real.engine, real.package));
    // The same viewer running code of the account's: a library of its own, or a loader path.
    const std::string own = EngineLibrary("gecko", home.path / "lib/libown.so");
    ASSERT_EQ(::chown(own.c_str(), 65534, 65534), 0);
    const auto preloaded =
        Look(processes.Start({viewer, "--map", engine, "--map-code", own}, own), viewer, 60);
    EXPECT_FALSE(preloaded.package.packaged);
    ::setenv("PYTHONPATH", home.path.c_str(), 1);
    const auto pathed = Look(processes.Start({viewer, "--map", engine}, engine), viewer, 60);
    ::unsetenv("PYTHONPATH");
    EXPECT_FALSE(pathed.package.packaged);
}

TEST_F(Probe, AnInstalledProgramShutInAnEmptyRootIsStillKnownToTheAccountsOwnGuard) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to start a process that shuts itself in";
    // An installed mail client on Gecko whose content process shuts itself in an empty root
    // that is then removed (a browser's sandbox), looked at by a caller of the account (the
    // session guard: no map_files, and no view through the process's root). Its files are still
    // known as the system's, so it runs on; the account's own code in such a process is not.
    fs::permissions(system.path, fs::perms::owner_all | fs::perms::group_exec |
                                     fs::perms::others_exec | fs::perms::group_read |
                                     fs::perms::others_read);
    const std::string mail = Program(system.path / "usr/lib/mail/mail-bin");
    const std::string xul = EngineLibrary("gecko", system.path / "usr/lib/mail/libxul.so");
    InstallPackage(system.path, "mail", mail + "\n" + xul + "\n");
    const std::string own = EngineLibrary("gecko", system.path / "home/kid/libown.so");
    ASSERT_EQ(::chown(own.c_str(), 65534, 65534), 0);
    auto sandboxed = [&](std::vector<std::string> argv) {
        const fs::path empty = system.path / ("empty-" + std::to_string(processes.Count()));
        fs::create_directories(empty);
        argv.insert(argv.end(), {"--sandbox", empty.string()});
        const pid_t pid = processes.Start(argv);
        struct stat st {};
        for (int i = 0; i < 500; ++i) {
            if (::stat(("/proc/" + std::to_string(pid)).c_str(), &st) == 0 && st.st_uid == 65534)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_EQ(st.st_uid, 65534u);
        fs::remove(empty);
        return pid;
    };
    // Looked at as the account, late (its one read made after it shut itself in).
    auto lookAsAccount = [&](pid_t pid) {
        return testing_support::Run(std::string(VELTRIX_TOOLS_DIR "/probe-as 65534 ") +
                                    system.path.string() + " " + std::to_string(pid) + " " + mail +
                                    " 2000");
    };
    EXPECT_EQ(lookAsAccount(sandboxed({mail, "--map-code", xul})), "Gecko packaged\n");
    EXPECT_EQ(lookAsAccount(sandboxed({mail, "--map-code", xul, "--map-code", own})),
              "Gecko unpackaged\n");
}

TEST_F(Probe, AnInstalledScriptRunsTheAccountsCodeWhenItsInterpreterLoadsFromTheUserSite) {
    // An installed interpreter running an installed script that maps an engine: the package's,
    // as long as the interpreter's per-user places hold nothing.
    if (::geteuid() != 0) GTEST_SKIP() << "installed files are root's";
    const char* const savedHome = std::getenv("HOME");
    const std::string home0 = savedHome ? savedHome : "/root";
    const std::string python = Program(system.path / "usr/bin/python3");
    const std::string script = (system.path / "usr/share/viewer/view.py").string();
    Write(script, "import gi\n");
    InstallPackage(system.path, "viewer", python + "\n" + script + "\n");
    const std::string engine = EngineLibrary("webkit", system.path / "usr/lib/libviewer.so");
    const fs::path kid = home.path / "kid";
    fs::create_directories(kid / ".local/lib/python3.11/site-packages");  // made empty by pip
    fs::create_directories(kid / ".node_modules");
    ::setenv("HOME", kid.c_str(), 1);
    auto look = [&] {
        const pid_t pid = processes.Start({python, script, "--map", engine}, engine);
        return Look(pid, python, 60, 0, 0, script);
    };
    const auto clean = look();
    EXPECT_EQ(clean.engine, Engine::WebKitGtk);
    EXPECT_TRUE(clean.package.packaged);
    // A .pth file in the user site runs whatever it says at every start of the interpreter.
    Write(kid / ".local/lib/python3.11/site-packages/x.pth", "import runpy\n");
    EXPECT_FALSE(look().package.packaged);
    fs::remove_all(kid / ".local");
    EXPECT_TRUE(look().package.packaged);
    // So does a user base named elsewhere.
    ::setenv("PYTHONUSERBASE", (home.path / "elsewhere").c_str(), 1);
    const auto based = look();
    ::unsetenv("PYTHONUSERBASE");
    ::setenv("HOME", home0.c_str(), 1);
    EXPECT_FALSE(based.package.packaged);
}

TEST(LoaderVariables, WhatTheSystemSetsForItselfIsNoAccountsCode) {
    if (::geteuid() != 0) GTEST_SKIP() << "the account's own directory is made as root";
    const int procFd = ::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int pid = ::getpid();
    auto own = [&](const std::string& vars) {
        std::string environ = vars;
        std::replace(environ.begin(), environ.end(), '|', '\0');
        return enforce::LoaderVariablesNameOwnCode(procFd, std::to_string(pid), environ);
    };
    TempDir home;
    ::chown(home.path.c_str(), 65534, 65534);
    // Thunderbird's content processes; a variable of no loader; empty values.
    EXPECT_FALSE(
        own("LD_LIBRARY_PATH=/usr/lib/thunderbird|LD_PRELOAD=libmozsandbox.so|"
            "NODE_EXTRA_CA_CERTS=/etc/ssl/certs/ca-certificates.crt|NODE_OPTIONS=|"
            "PYTHONPATH=/usr/lib/nothing-here"));
    EXPECT_FALSE(own("LD_PRELOAD=libfoo.so  libbar.so"));
    // What the account may change, a relative or empty entry (the current directory), options.
    for (const std::string& vars : std::vector<std::string>{
             "LD_PRELOAD=" + home.path.string() + "/x.so", "LD_LIBRARY_PATH=/usr/lib:",
             "LD_LIBRARY_PATH=/usr/lib:" + home.path.string(), "PYTHONPATH=lib",
             "LD_PRELOAD=./x.so", "PYTHONPATH=/tmp/anything", "NODE_OPTIONS=--require x",
             "PERL5OPT=-Mx", "GI_TYPELIB_PATH=" + home.path.string() + "/typelibs"})
        EXPECT_TRUE(own(vars)) << vars;
    ::close(procFd);
}

TEST_F(Probe, AnEngineIsKnownByWhatItsFileIsUnderAnyName) {
    // By its entry point, and (a real WebKitGTK, where installed) by its own library name.
    const std::string exe = Program(home.path / "bin/reader");
    const std::string renamed = EngineLibrary("webkit", home.path / "lib/libnotes.so");
    EXPECT_EQ(Look(processes.Start({exe, "--map", renamed}, renamed), exe, 60).engine,
              Engine::WebKitGtk);
    const std::string gecko = EngineLibrary("gecko", home.path / "lib/libpad.so");
    EXPECT_EQ(Look(processes.Start({Program(home.path / "bin/pad"), "--map", gecko}, gecko),
                   (home.path / "bin/pad").string(), 60)
                  .engine,
              Engine::Gecko);
    const fs::path webkit = "/usr/lib/x86_64-linux-gnu/libwebkit2gtk-4.1.so.0";
    if (fs::exists(webkit)) {
        const fs::path copy = home.path / "lib/libtext.so";
        fs::copy_file(webkit, copy);
        const std::string other = Program(home.path / "bin/other");
        EXPECT_EQ(
            Look(processes.Start({other, "--map", copy.string()}, copy.string()), other, 60).engine,
            Engine::WebKitGtk);
    }
}

TEST_F(Probe, AScriptFromStandardInputIsNoPackagesAndAnInterpreterIsReadOverItsLife) {
    // An interpreter loads an engine a while after its start: not there at 50 ms nor at 1 s;
    // watched, and the recheck finds it once its mappings grew.
    const std::string python = Program(home.path / "bin/python3");
    const std::string engine = EngineLibrary("webkit", home.path / "lib/libnotes.so");
    const pid_t late = processes.Start({python, "--later", "1500", "--map", engine});
    auto v = Look(late, python, 60);
    v = Look(late, python, 1000, v.reads);
    EXPECT_EQ(v.engine, Engine::None);
    EXPECT_TRUE(v.final);
    EXPECT_TRUE(v.watch);
    EngineProbe::Sighting s;
    s.pid = late;
    s.exe = python;
    s.interpreted = true;
    for (int i = 0; i < 500 && probe.Recheck(procFd, s).engine == Engine::None; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const auto found = probe.Recheck(procFd, s);
    EXPECT_EQ(found.engine, Engine::WebKitGtk);
    EXPECT_FALSE(found.package.packaged);  // no script named: no package vouches for it
}

TEST_F(Probe, AnExactCopyOfAnInstalledBrowserIsThatBrowserUnderAnyName) {
    // An installed text browser (root's file in the system's program directory), an exact copy
    // of it in the home under another name, and a copy changed by one byte.
    const std::string w3m = Program(system.path / "usr/bin/w3m");
    const std::string copy = Program(home.path / "x/notes");
    const std::string changed = Program(home.path / "y/notes");
    std::fstream(changed, std::ios::in | std::ios::out | std::ios::binary).seekp(100).put('\x7f');
    if (::geteuid() == 0) {  // the child's own files, as a copy in its home is
        ASSERT_EQ(::chown(copy.c_str(), 65534, 65534), 0);
        ASSERT_EQ(::chown(changed.c_str(), 65534, 65534), 0);
    }
    auto copyOf = [this](const std::string& exe) {
        const auto v = Look(processes.Start({exe}), exe, 0);
        enforce::ProcessInfo p{1, 1, exe, {"notes"}, {}};
        p.copyOf = v.copyOf;
        return enforce::Classify(p, {}).name;
    };
    EXPECT_EQ(copyOf(copy), "w3m (a copy in " + copy + ")");
    EXPECT_EQ(copyOf(changed), "");
    EXPECT_EQ(copyOf(w3m), "w3m");  // the installed one goes by its name
}

TEST(Packages, ThePackageSystemSaysWhatIsInstalledAndWhatIsABrowser) {
    TempDir root;
    InstallPackage(root.path, "firefox-esr",
                   "/.\n/usr\n/usr/lib/firefox-esr\n/usr/lib/firefox-esr/firefox-esr\n"
                   "/usr/share/applications/firefox-esr.desktop\n");
    Write(root.path / "usr/share/applications/firefox-esr.desktop",
          "[Desktop Entry]\nName=Firefox ESR\nCategories=Network;WebBrowser;\n");
    InstallPackage(root.path, "thunderbird",
                   "/usr/lib/thunderbird/thunderbird-bin\n/usr/share/applications/"
                   "thunderbird.desktop\n");
    Write(root.path / "usr/share/applications/thunderbird.desktop",
          "[Desktop Entry]\nCategories=Network;Email;\nMimeType=x-scheme-handler/mailto;\n"
          "[Desktop Action Compose]\nCategories=WebBrowser;\n");
    // Listed before /usr was merged: /bin is a link into /usr.
    InstallPackage(root.path, "surf", "/bin/surf\n/usr/share/applications/surf.desktop\n");
    // A file whose name is a pattern dpkg would match other files by is looked up as itself.
    InstallPackage(root.path, "viewer", "/usr/bin/view[1]\n");
    Write(root.path / "usr/share/applications/surf.desktop",
          "[Desktop Entry]\nMimeType=text/html;x-scheme-handler/http;\n");
    fs::create_directories(root.path / "usr/bin");
    fs::create_directory_symlink("usr/bin", root.path / "bin");
    Write(root.path / "var/lib/flatpak/exports/share/applications/org.example.Web.desktop",
          "[Desktop Entry]\nCategories=Network;WebBrowser;\n");
    Write(root.path / "var/lib/snapd/desktop/applications/mail_mail.desktop",
          "[Desktop Entry]\nCategories=Email;\n");
    const Packages packages(root.path.string());
    auto is = [](PackageFacts f, bool packaged, bool browser) {
        return f.packaged == packaged && f.browserEntry == browser;
    };

    EXPECT_TRUE(is(packages.Of("/usr/lib/firefox-esr/firefox-esr", ""), true, true));
    EXPECT_TRUE(is(packages.Of("/usr/lib/thunderbird/thunderbird-bin", ""), true, false));
    EXPECT_TRUE(is(packages.Of("/usr/bin/surf", ""), true, true));
    // A line that only begins with the path, and a copy: no package's.
    EXPECT_TRUE(is(packages.Of("/usr/lib/firefox-esr/firefox", ""), false, false));
    EXPECT_TRUE(is(packages.Of("/home/child/x/notes", ""), false, false));
    EXPECT_TRUE(is(packages.Of("/usr/bin/view[1]", ""), true, false));
    EXPECT_TRUE(is(packages.Of("/usr/lib/firefox-esr/firefox*", ""), false, false));
    EXPECT_TRUE(is(packages.Of("/usr/lib/firefox-esr/firefox-es?", ""), false, false));
    // Flatpak and snap apps are installed software; their exported entries say what they are.
    EXPECT_TRUE(is(packages.Of("/app/bin/web", "flatpak:org.example.Web"), true, true));
    EXPECT_TRUE(
        is(packages.Of("/app/bin/x", "flatpak:../../../usr/share/applications/surf"), true, false));
    EXPECT_TRUE(is(packages.Of("/snap/mail/1/mail", "snap:mail"), true, false));
}

}  // namespace
