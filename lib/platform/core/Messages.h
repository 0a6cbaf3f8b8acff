// What the network client needs of the Windows user interface: hidden message windows that
// receive numbered messages with two parameters, PostMessage to them, a timer bound to one, and
// "process all pending messages". Over Qt: a QObject per window, posted events, Qt timers.
//
// All windows live on the user-interface thread. PostMessage may be called from any thread as
// long as the window outlives the call; a message posted to a window that is destroyed before it
// is delivered is dropped.
#pragma once

#include <QObject>

#include <cstdint>
#include <functional>
#include <map>

namespace platform {

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
inline constexpr unsigned WM_TIMER = 0x0113;
inline constexpr unsigned WM_USER = 0x0400;

class MessageWindow final : public QObject {
  public:
    using WindowProc = std::function<void(unsigned message, WPARAM wParam, LPARAM lParam)>;
    explicit MessageWindow(WindowProc proc = {});
    ~MessageWindow() override;

    // The window procedure; messages that arrive before it is set get default handling (none).
    void SetWindowProc(WindowProc proc) { proc_ = std::move(proc); }

    // Timer `id` posts WM_TIMER (wParam = id) every `ms` milliseconds. False when refused.
    bool SetTimer(unsigned id, unsigned ms);
    void KillTimer(unsigned id);

  protected:
    bool event(QEvent* e) override;

  private:
    WindowProc proc_;
    std::map<unsigned, int> timers_;  // our id -> Qt's id
};

using HWND = MessageWindow*;

bool PostMessage(HWND window, unsigned message, WPARAM wParam, LPARAM lParam);
// As PostMessage; `beforeDelivery` runs on the window's thread right before the message is
// handled (used to fill a caller's buffer at the moment its answer is read).
// `afterDelivery` runs right after it was handled (what it posts comes in a later pass).
bool PostMessageWith(HWND window, unsigned message, WPARAM wParam, LPARAM lParam,
                     std::function<void()> beforeDelivery,
                     std::function<void()> afterDelivery = {});

// Handles every message pending for this thread, user input included, and returns.
void ProcessMessages();
// Waits until at least one message has arrived and handles what is pending. Every flag a wait
// loop tests is set by a message handler, so testing after this call loses nothing and never
// spins.
void WaitMessage();

}  // namespace platform
