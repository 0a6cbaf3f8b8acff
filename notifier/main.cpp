// veltrix-notifier: started at login in every session (the package's autostart entry); in a
// parent's account it tells of the children's requests for more time, elsewhere it ends at once.
//   veltrix-notifier [PANEL]     (PANEL: the program the notifications' action starts)
#include <QCoreApplication>
#include <QDBusConnection>
#include <QFileInfo>

#include "lib/control/Client.h"
#include "notifier/ParentNotifier.h"

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const control::Reply status = control::Ask({"status"}, 5000);
    if (!status.ok() || status.fields.size() < 2 || status.fields[1] != "parent") return 0;
    if (!QDBusConnection::sessionBus().isConnected()) return 0;
    // The panel: the launcher on PATH where the package put it, else the one beside this program.
    QString panel = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/usr/bin/veltrix");
    if (argc < 2 && !QFileInfo(panel).isExecutable())
        panel = QCoreApplication::applicationDirPath() + QStringLiteral("/veltrix");
    notifier::ParentNotifier notifier(panel);
    notifier.Start();
    return QCoreApplication::exec();
}
