// veltrixd, Veltrix's system service: runs as root (started by systemd, or directly), keeps every
// member account's settings sealed, answers the panel on its control socket and stops web
// browsers and listed applications of the members in the hours their parent blocked.
//   veltrixd [--state DIR] [--socket PATH] [--log PATH] [--group NAME] [--program-dir DIR]
//            [--user-store DIR] [--no-events] [--no-enforce] [--adopt-stores]
// --no-enforce keeps the control socket alone (for tests of the panel and the tools with a
// service). --user-store names each account's store directory within its home.
// --adopt-stores seals what the members' stores hold, once, at the upgrade from a version without
// the service, and ends (the package runs it before the service starts).
#include <QCoreApplication>

#include <cstdio>
#include <string>

#include "lib/platform/files/SharedLog.h"
#include "sentrel/linux/Instance.h"
#include "sentrel/linux/SystemClock.h"
#include "veltrixd/Adopt.h"
#include "veltrixd/Daemon.h"

int main(int argc, char** argv) {
    sentrel::SystemClock::UseSystemTimeZone();
    veltrixd::Config config;
    bool adopt = false;
    config.programDir = platform::DirectoryOfPath(sentrel::OwnExecutable());
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--no-events") {
            config.events = false;
        } else if (arg == "--no-enforce") {
            config.enforce = false;
        } else if (arg == "--adopt-stores") {
            adopt = true;
        } else if (arg == "--user-store" && hasValue) {
            config.userStore = argv[++i];
        } else if (arg == "--state" && hasValue) {
            config.stateDir = argv[++i];
        } else if (arg == "--socket" && hasValue) {
            config.socketPath = argv[++i];
        } else if (arg == "--log" && hasValue) {
            config.logPath = argv[++i];
        } else if (arg == "--group" && hasValue) {
            config.group = argv[++i];
        } else if (arg == "--program-dir" && hasValue) {
            config.programDir = argv[++i];
            if (config.programDir.empty() || config.programDir.back() != '/')
                config.programDir += '/';
        } else {
            std::fprintf(stderr,
                         "usage: veltrixd [--state DIR] [--socket PATH] [--log PATH] "
                         "[--group NAME] [--program-dir DIR] [--user-store DIR] [--no-events] "
                         "[--no-enforce] [--adopt-stores]\n");
            return 2;
        }
    }
    if (adopt) return veltrixd::AdoptStores(config) ? 0 : 1;
    QCoreApplication app(argc, argv);
    veltrixd::Daemon daemon(config);
    if (!daemon.Start()) return 1;
    return QCoreApplication::exec();
}
