// What knowing browsers by their engine costs the guard's scan, run as an account with many
// processes (bench/guard.sh runs it as its throwaway user with 500):
//  - a scan of the account's processes, at first sight and once all are known, by the name table
//    alone and with engine checks;
//  - new executables started while the account is scanned as the service does (again when a
//    process is due a look): the reads of /proc/PID/maps each costs, and when its verdict is in,
//    for four kinds: a copy beside Firefox's libxul.so, a program that maps an engine library,
//    a program that starts busily, and one that sleeps at once.
//   bench_scan FAKE_PROGRAM WORKDIR
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "lib/enforce/linux/EngineProbe.h"
#include "lib/enforce/linux/ProcScanner.h"
#include "tests/support/Exec.h"
#include "tests/support/Signal.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// Scans `count` times; the mean time of a scan in ms.
double MeanScan(enforce::ProcScanner& scanner, int count) {
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i) scanner.Scan();
    return Ms(Clock::now() - start) / count;
}

struct Kind {
    const char* what;
    std::string dir;                 // each executable is a fresh copy in a directory of its own
    std::vector<std::string> extra;  // its arguments
    std::string beside;              // a file laid beside it, or ""
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_scan FAKE_PROGRAM WORKDIR\n");
        return 2;
    }
    const std::string fake = argv[1];
    const fs::path work = argv[2];

    {
        enforce::ProcScanner table(::getuid(), nullptr);
        auto start = Clock::now();
        const std::size_t n = table.Scan().size();
        const double first = Ms(Clock::now() - start);
        std::printf(
            "scan of %zu processes, name table alone:   first sight %7.2f ms, known %6.3f ms\n", n,
            first, MeanScan(table, 200));
        auto probe = std::make_shared<enforce::EngineProbe>();
        enforce::ProcScanner engines(::getuid(), probe);
        start = Clock::now();
        engines.Scan();
        const double firstEngines = Ms(Clock::now() - start);
        std::printf(
            "scan of %zu processes, with engine checks: first sight %7.2f ms, known %6.3f ms"
            " (%llu maps reads at first sight)\n",
            n, firstEngines, MeanScan(engines, 200),
            static_cast<unsigned long long>(probe->MapsReads()));
    }

    const std::string engineLib = (work / "lib/libwebkit2gtk-4.1.so.0").string();
    fs::create_directories(work / "lib");
    std::ofstream(engineLib) << std::string(4096, 'w');
    const std::vector<Kind> kinds = {
        {"a copy beside libxul.so", "copy", {}, "libxul.so"},
        {"maps an engine library", "engine", {"--map", engineLib}, ""},
        {"starts busily (50 ms CPU)", "busy", {"--spin", "50"}, ""},
        {"sleeps at once", "idle", {}, ""},
    };
    constexpr int kEach = 20;
    auto probe = std::make_shared<enforce::EngineProbe>();
    enforce::ProcScanner scanner(::getuid(), probe);
    scanner.Scan();
    for (const Kind& kind : kinds) {
        std::uint64_t reads = 0;
        double verdictMs = 0, scanMs = 0;
        int scans = 0;
        for (int i = 0; i < kEach; ++i) {
            const fs::path dir = work / (kind.dir + std::to_string(i));
            fs::create_directories(dir);
            fs::copy_file(fake, dir / "notes", fs::copy_options::overwrite_existing);
            if (!kind.beside.empty())
                fs::copy_file(fs::path(fake).parent_path() / "libfake-gecko.so", dir / kind.beside,
                              fs::copy_options::overwrite_existing);
            std::vector<std::string> args{(dir / "notes").string()};
            args.insert(args.end(), kind.extra.begin(), kind.extra.end());
            const std::uint64_t before = probe->MapsReads();
            const auto started = Clock::now();
            const pid_t pid = testing_support::StartProgram(args);  // the service scans at the exec
            // As the service does: a scan at the exec, and again whenever a look is due.
            for (;;) {
                const auto s = Clock::now();
                scanner.Scan();
                scanMs += Ms(Clock::now() - s);
                ++scans;
                const std::int64_t due = scanner.ProbeDueInMs();
                if (due < 0) break;
                std::this_thread::sleep_for(std::chrono::milliseconds(due + 5));
            }
            verdictMs += Ms(Clock::now() - started);
            reads += probe->MapsReads() - before;
            testing_support::Signal(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        std::printf(
            "new executable that %-26s %4.2f maps reads each, verdict after %6.1f ms,"
            " %5.2f ms a scan\n",
            (std::string(kind.what) + ":").c_str(), static_cast<double>(reads) / kEach,
            verdictMs / kEach, scanMs / scans);
    }
    return 0;
}
