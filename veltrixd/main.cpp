// veltrixd, Veltrix's system service: runs as root (started by systemd, or directly), keeps every
// member account's settings sealed, answers the panel on its control socket and stops web
// browsers and listed applications of the members in the hours their parent blocked.
//   veltrixd [--state DIR] [--socket PATH] [--log PATH] [--group NAME] [--parents-group NAME]
//            [--program-dir DIR]
//            [--user-store DIR] [--no-events] [--no-enforce] [--adopt-stores]
//            [--zone-file PATH] [--no-network-cut] [--nft-table NAME] [--input-dir DIR]
// --parents-group names the group of the parents' accounts (veltrix-parents), which manage every
// member's settings. --zone-file names the system's time zone file (/etc/localtime; tests give
// their own).
// --no-network-cut leaves the members' network alone (stopping programs only); --nft-table names
// the nftables table of the cut (inet veltrix; tests give their own). --no-enforce keeps the
// control socket alone (for tests of the panel and the tools with a service). --user-store names
// each account's store directory within its home. --input-dir names the directory of the input
// devices (/dev/input; tests give their own).
// --adopt-stores seals what the members' stores hold, once, at the upgrade from a version without
// the service, and ends (the package runs it before the service starts).
#include <sys/resource.h>

#include <QCoreApplication>

#include <cstdio>
#include <string>

#include "lib/enforce/linux/ProcScanner.h"
#include "lib/enforce/linux/SystemClock.h"
#include "lib/platform/files/SharedLog.h"
#include "veltrixd/Adopt.h"
#include "veltrixd/Daemon.h"

namespace {

// A pidfd is held for every process being stopped: as many descriptors as the system allows.
void RaiseDescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        (void)::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

}  // namespace

int main(int argc, char** argv) {
    RaiseDescriptorLimit();
    std::string zoneFile = "/etc/localtime";
    veltrixd::Config config;
    bool adopt = false;
    config.programDir = platform::DirectoryOfPath(enforce::OwnExecutable());
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--no-events") {
            config.events = false;
        } else if (arg == "--no-network-cut") {
            config.cutNetwork = false;
        } else if (arg == "--nft-table" && hasValue) {
            config.nftTable = argv[++i];
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
        } else if (arg == "--input-dir" && hasValue) {
            config.inputDir = argv[++i];
        } else if (arg == "--zone-file" && hasValue) {
            zoneFile = argv[++i];
        } else if (arg == "--group" && hasValue) {
            config.group = argv[++i];
        } else if (arg == "--parents-group" && hasValue) {
            config.parentsGroup = argv[++i];
        } else if (arg == "--program-dir" && hasValue) {
            config.programDir = argv[++i];
            if (config.programDir.empty() || config.programDir.back() != '/')
                config.programDir += '/';
        } else {
            std::fprintf(stderr,
                         "usage: veltrixd [--state DIR] [--socket PATH] [--log PATH] "
                         "[--group NAME] [--parents-group NAME] [--program-dir DIR] [--user-store "
                         "DIR] [--no-events] "
                         "[--no-enforce] [--no-network-cut] [--nft-table NAME] [--adopt-stores] "
                         "[--zone-file PATH] [--input-dir DIR]\n");
            return 2;
        }
    }
    enforce::SystemClock::UseSystemTimeZone(zoneFile);
    if (adopt) return veltrixd::AdoptStores(config) ? 0 : 1;
    QCoreApplication app(argc, argv);
    veltrixd::Daemon daemon(config);
    if (!daemon.Start()) return 1;
    return QCoreApplication::exec();
}
