// Helpers for tests that drive real widgets on the offscreen platform.
#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

namespace platform {
class TForm;
}

namespace testing_support {

// Runs `action` as soon as `form` is up in its modal loop. If it never appears within the time
// limit, the test fails and the form (if shown) is closed so the test cannot hang.
void WhenModal(platform::TForm* form, std::function<void()> action, int timeoutMs = 20000);

// Reports a dialog that never came up (a test failure) and closes what modal window is up, so
// the test cannot hang.
void NoDialog(const char* className);

// Runs `action` on the first modal dialog of class T that comes up, then stops looking. If none
// comes within the time limit, NoDialog. The flag it returns is set once `action` has run.
template <typename T>
std::shared_ptr<bool> WhenDialog(std::function<void(T&)> action, int timeoutMs = 20000) {
    auto done = std::make_shared<bool>(false);
    auto waited = std::make_shared<int>(0);
    auto* timer = new QTimer(qApp);
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [=] {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        *waited += dialog ? 0 : 20;
        if (!dialog && *waited < timeoutMs) return;
        timer->stop();
        timer->deleteLater();
        if (!dialog) return NoDialog(T::staticMetaObject.className());
        action(*dialog);
        *done = true;
    });
    timer->start();
    return done;
}

// How often the main form asked the program to end since the last reset.
int TerminateRequests();
void ResetTerminateRequests();

// Number of top-level windows that are visible right now.
int VisibleTopLevels();

}  // namespace testing_support
