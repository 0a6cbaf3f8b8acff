// A program that does nothing until it is stopped, copied by the tests under the names of web
// browsers and listed applications. With --ignore-term it ignores SIGTERM, as a program that
// will not close does.
#include <unistd.h>

#include <csignal>
#include <cstring>

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--ignore-term") == 0) std::signal(SIGTERM, SIG_IGN);
    for (;;) ::pause();
}
