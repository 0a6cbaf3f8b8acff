// Looks at one process with a fresh engine probe as another account would (the session guard is
// the child's own): probe-as UID SYSTEM PID EXE AGE_MS prints the engine ("gecko", "none", ...)
// and "packaged" or "unpackaged".
#include <fcntl.h>
#include <grp.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>

#include "lib/enforce/linux/EngineProbe.h"
#include "lib/enforce/linux/Packages.h"

int main(int argc, char** argv) {
    if (argc != 6) return 2;
    const auto uid = static_cast<uid_t>(std::atol(argv[1]));
    if (::setgroups(0, nullptr) != 0 || ::setgid(uid) != 0 || ::setuid(uid) != 0) return 3;
    const int procFd = ::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    enforce::EngineProbe probe{enforce::Packages(argv[2])};
    enforce::EngineProbe::Sighting s;
    s.pid = std::atoi(argv[3]);
    s.exe = argv[4];
    s.ageMs = std::strtoull(argv[5], nullptr, 10);
    const auto v = probe.Look(procFd, s);
    std::cout << (v.engine == enforce::Engine::None ? "none" : enforce::EngineTitle(v.engine))
              << (v.package.packaged ? " packaged" : " unpackaged") << "\n";
    return 0;
}
