// Program entry: the application object, every window once, then the message loop, whose first
// act is to show the main window.
#include <QApplication>
#include <QTimer>

#include "panel/app/Program.h"
#include "panel/app/SessionEnd.h"

int main(int argc, char** argv) {
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
