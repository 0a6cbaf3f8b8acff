#include "lib/platform/core/Messages.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimerEvent>

namespace platform {
namespace {

const QEvent::Type kMessageEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

struct MessageEvent final : QEvent {
    MessageEvent(unsigned m, WPARAM w, LPARAM l, std::function<void()> before = {},
                 std::function<void()> after = {})
        : QEvent(kMessageEvent),
          message(m),
          wParam(w),
          lParam(l),
          beforeDelivery(std::move(before)),
          afterDelivery(std::move(after)) {}
    unsigned message;
    WPARAM wParam;
    LPARAM lParam;
    std::function<void()> beforeDelivery;
    std::function<void()> afterDelivery;
};

}  // namespace

MessageWindow::MessageWindow(WindowProc proc) : proc_(std::move(proc)) {}

MessageWindow::~MessageWindow() {
    for (auto& [id, qtId] : timers_) killTimer(qtId);
}

bool MessageWindow::SetTimer(unsigned id, unsigned ms) {
    KillTimer(id);
    const int qtId = startTimer(static_cast<int>(ms), Qt::PreciseTimer);
    if (qtId == 0) return false;
    timers_[id] = qtId;
    return true;
}

void MessageWindow::KillTimer(unsigned id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    killTimer(it->second);
    timers_.erase(it);
}

bool MessageWindow::event(QEvent* e) {
    if (e->type() == kMessageEvent) {
        auto* m = static_cast<MessageEvent*>(e);
        if (m->beforeDelivery) m->beforeDelivery();
        if (proc_) proc_(m->message, m->wParam, m->lParam);
        if (m->afterDelivery) m->afterDelivery();
        return true;
    }
    if (e->type() == QEvent::Timer) {
        const int qtId = static_cast<QTimerEvent*>(e)->timerId();
        for (auto& [id, q] : timers_) {
            if (q == qtId) {
                if (proc_) proc_(WM_TIMER, id, 0);
                return true;
            }
        }
        return true;
    }
    return QObject::event(e);
}

bool PostMessage(HWND window, unsigned message, WPARAM wParam, LPARAM lParam) {
    if (!window) return false;
    QCoreApplication::postEvent(window, new MessageEvent(message, wParam, lParam));
    return true;
}

bool PostMessageWith(HWND window, unsigned message, WPARAM wParam, LPARAM lParam,
                     std::function<void()> beforeDelivery, std::function<void()> afterDelivery) {
    if (!window) return false;
    QCoreApplication::postEvent(window,
                                new MessageEvent(message, wParam, lParam, std::move(beforeDelivery),
                                                 std::move(afterDelivery)));
    return true;
}

void ProcessMessages() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void WaitMessage() {
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

}  // namespace platform
