// Sentrel.exe, the guard program: stops web browsers and the listed applications in the hours
// the parent blocked, in the session of the user who starts it. Started by the panel's
// "Enable Veltrix" and at login; a second start asks the running guard to read the settings
// again and ends.
//   Sentrel.exe                      the guard
//   Sentrel.exe --watch PID START    the watcher of the guard PID (started by the guard itself)
#include <QCoreApplication>

#include <cstdlib>
#include <string>

#include "lib/enforce/linux/ProcScanner.h"
#include "lib/enforce/linux/SystemClock.h"
#include "sentrel/Instance.h"
#include "sentrel/SessionGuard.h"
#include "sentrel/Watcher.h"

int main(int argc, char** argv) {
    enforce::SystemClock::UseSystemTimeZone();
    const std::string exe = enforce::OwnExecutable();
    if (argc == 4 && std::string(argv[1]) == "--watch")
        return sentrel::RunWatcher(exe, static_cast<pid_t>(std::atoi(argv[2])),
                                   std::strtoull(argv[3], nullptr, 10));
    if (argc != 1) return 2;

    sentrel::InstanceLock lock;
    if (!lock.Claim()) return lock.AskHolderToReread() ? 0 : 1;
    QCoreApplication app(argc, argv);
    sentrel::SessionGuard guard;
    guard.Start();
    return QCoreApplication::exec();
}
