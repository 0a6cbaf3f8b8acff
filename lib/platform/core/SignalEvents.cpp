#include "lib/platform/core/SignalEvents.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>

namespace platform {
namespace {

int g_pipe[2] = {-1, -1};

struct Event {
    int signal;
    int pid;
};

void Handler(int signal, siginfo_t* info, void* /*context*/) {
    const int saved = errno;
    const Event e{signal, info ? static_cast<int>(info->si_pid) : 0};
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &e, sizeof e);
    errno = saved;
}

}  // namespace

const char* SignalName(int signal) {
    switch (signal) {
        case SIGTERM:
            return "SIGTERM";
        case SIGINT:
            return "SIGINT";
        case SIGHUP:
            return "SIGHUP";
        case SIGUSR1:
            return "SIGUSR1";
        default:
            return "a signal";
    }
}

SignalEvents::SignalEvents(std::initializer_list<int> signals, QObject* parent)
    : QObject(parent), signals_(signals) {
    if (g_pipe[0] < 0 && ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    notifier_ = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { Drain(); });
    struct sigaction sa {};
    sa.sa_sigaction = Handler;
    sa.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&sa.sa_mask);
    for (const int s : signals_) ::sigaction(s, &sa, nullptr);
}

SignalEvents::~SignalEvents() {
    for (const int s : signals_) ::signal(s, SIG_DFL);
}

void SignalEvents::Drain() {
    Event e{};
    while (::read(g_pipe[0], &e, sizeof e) == static_cast<ssize_t>(sizeof e))
        Q_EMIT Received(e.signal, e.pid);
}

}  // namespace platform
