// Program entry: the application object, every window once, then the message loop, whose first
// act is to show the main window.
#include <sys/prctl.h>

#include <QApplication>
#include <QTimer>

#include "lib/platform/widgets/MessageBox.h"
#include "panel/app/Program.h"
#include "panel/app/Road.h"
#include "panel/app/SessionEnd.h"
#include "panel/child/ChildView.h"
#include "panel/settings/Settings.h"

int main(int argc, char** argv) {
    // The parent types the password here: no other process of the account may read this one's
    // memory (/proc/PID/mem) or trace it.
    ::prctl(PR_SET_DUMPABLE, 0);
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);  // the main form's close ends the program
    platform::Application::SetTitle("Veltrix");
    QApplication::setFont(platform::DialogFont());

    const app::Road road = app::ChooseRoad();
    if (road == app::Road::Child) {
        // A child's account: its own time, read-only, and its requests; no password is typed
        // here (the parents change the settings in their own accounts).
        child::ChildView view;
        view.setAttribute(Qt::WA_QuitOnClose);
        QApplication::setQuitOnLastWindowClosed(true);
        view.show();
        // From a notification's "Ask for more time": the question at once.
        if (QApplication::arguments().contains(QStringLiteral("--ask")))
            QTimer::singleShot(0, &view, [&view] { view.AskForMoreTime(); });
        return QApplication::exec();
    }
    app::Windows windows;
    app::InitialiseApplication(windows);
    if (road == app::Road::Parent) {
        app::FamilyRoad family(windows);
        platform::Application::SetMainForm(&family.Form());
        app::CloseOnSessionEnd(&family.Form());
        QTimer::singleShot(0, &family.Form(), [&] { family.Form().Show(); });
        const int status = QApplication::exec();
        platform::Application::SetMainForm(nullptr);
        return status;
    }
    app::CloseOnSessionEnd(windows.form1.get());
    QTimer::singleShot(0, windows.form1.get(), [&] { windows.form1->Show(); });
    return QApplication::exec();
}
