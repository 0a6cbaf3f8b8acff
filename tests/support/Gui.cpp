#include "tests/support/Gui.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include "lib/platform/widgets/Forms.h"

namespace testing_support {
namespace {
int g_terminates = 0;
}

void WhenModal(platform::TForm* form, std::function<void()> action, int timeoutMs) {
    auto* timer = new QTimer(form);  // dies with the form
    auto waited = std::make_shared<int>(0);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [=] {
        if (form->InModalLoop() && form->Showing()) {
            timer->stop();
            timer->deleteLater();
            action();
            return;
        }
        *waited += 5;
        if (*waited >= timeoutMs) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "the dialog " << form->objectName().toStdString() << " never came up";
            if (form->Showing()) form->Close();
        }
    });
    timer->start();
}

void NoDialog(const char* className) {
    ADD_FAILURE() << "no dialog " << className << " came up";
    if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
}

int TerminateRequests() {
    return g_terminates;
}
void ResetTerminateRequests() {
    g_terminates = 0;
}

int VisibleTopLevels() {
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible()) ++n;
    return n;
}

}  // namespace testing_support

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    platform::Application::SetTitle("Veltrix");
    QApplication::setFont(platform::DialogFont());
    platform::Application::SetTerminateHandler([] { ++testing_support::g_terminates; });
    return RUN_ALL_TESTS();
}
