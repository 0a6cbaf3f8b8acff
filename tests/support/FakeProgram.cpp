// A program that does nothing until it is stopped, copied by the tests under the names of web
// browsers and listed applications. With --ignore-term it ignores SIGTERM, as a program that
// will not close does; --map FILE maps a file, as a program maps a library it loads (the tests'
// browser engine), --map-code FILE maps it executable (code it runs); --spin MS first uses that
// much processor time; --sandbox DIR then shuts itself in DIR as user 65534, as a browser's
// sandboxed content does (started as root); --leader-exits ends its first thread while a second
// one runs on, as a program that hides from a look at /proc/PID does.
#include <fcntl.h>
#include <grp.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <time.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>

namespace {

void* Forever(void*) {
    for (;;) ::pause();
}

long CpuMs() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--ignore-term") == 0) std::signal(SIGTERM, SIG_IGN);
        if (std::strcmp(argv[i], "--spin") == 0 && i + 1 < argc) {
            const long until = CpuMs() + std::atol(argv[++i]);
            while (CpuMs() < until) {
            }
        }
        if (std::strcmp(argv[i], "--later") == 0 && i + 1 < argc) {
            const long ms = std::atol(argv[++i]);
            timespec t{ms / 1000, (ms % 1000) * 1000000};
            ::nanosleep(&t, nullptr);
        }
        const bool exec = std::strcmp(argv[i], "--map-code") == 0;
        if ((exec || std::strcmp(argv[i], "--map") == 0) && i + 1 < argc) {
            const int fd = ::open(argv[++i], O_RDONLY | O_CLOEXEC);
            const int prot = exec ? PROT_READ | PROT_EXEC : PROT_READ;
            if (fd < 0 || ::mmap(nullptr, 4096, prot, MAP_PRIVATE, fd, 0) == MAP_FAILED) return 2;
        }
        if (std::strcmp(argv[i], "--sandbox") == 0 && i + 1 < argc) {
            if (::chroot(argv[++i]) != 0 || ::chdir("/") != 0 || ::setgroups(0, nullptr) != 0 ||
                ::setgid(65534) != 0 || ::setuid(65534) != 0 ||
                ::prctl(PR_SET_DUMPABLE, 1, 0, 0, 0) != 0)
                return 3;
        }
        if (std::strcmp(argv[i], "--leader-exits") == 0) {
            pthread_t other{};
            if (::pthread_create(&other, nullptr, Forever, nullptr) != 0) return 4;
            ::pthread_exit(nullptr);
        }
    }
    for (;;) ::pause();
}
