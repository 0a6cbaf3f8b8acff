// Program entry: the application object, every window once, then the message loop, whose first
// act is to show the main window.
#include <sys/prctl.h>

#include <QApplication>
#include <QTimer>

#include "panel/app/Program.h"
#include "panel/app/SessionEnd.h"

int main(int argc, char** argv) {
    // The parent types the password here: no other process of the account may read this one's
    // memory (/proc/PID/mem) or trace it.
    ::prctl(PR_SET_DUMPABLE, 0);
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);  // the main form's close ends the program
    platform::Application::SetTitle("Veltrix");
    QApplication::setFont(platform::DialogFont());

    app::Windows windows;
    app::InitialiseApplication(windows);
    app::CloseOnSessionEnd(windows.form1.get());
    QTimer::singleShot(0, windows.form1.get(), [&] { windows.form1->Show(); });
    return QApplication::exec();
}
