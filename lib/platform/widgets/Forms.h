// The form base: every window of the system is a TForm whose controls are members under their
// designer names, placed at designer coordinates.
//
//  - Left/Top are the frame's position. A top-level form whose left edge is set to -1000 (the
//    off-screen position) stays "shown" for the logic, and Left() still reads -1000, but it is
//    not mapped at all, so no window manager can pull it back into view and no one can reach it.
//  - Show() runs FormShow before the window is first drawn; ShowModal() runs a nested event loop
//    until Close(); Close() runs FormClose and hides. An exception from a hook goes to the
//    application-wide handler; one from FormClose also keeps the form open.
//  - The close box calls CloseBox(), which closes unless a form decides otherwise.
//  - Closing the main form ends the program.
#pragma once

#include <QWidget>

#include <functional>

#include "lib/platform/core/Application.h"

class QEventLoop;
class QFont;

namespace platform {

inline constexpr int kOffScreen = -1000;

// The designer's fonts: "MS Sans Serif" 8 and 10 point become the desktop's sans-serif at the
// pixel heights those sizes have at 96 dpi.
QFont DialogFont();
QFont LargeFont();

class TForm : public QWidget {
    Q_OBJECT
  public:
    explicit TForm(QWidget* parent = nullptr);
    ~TForm() override;

    int Left() const;
    void Left(int left);
    int Top() const;
    void Top(int top);
    void MoveTo(int left, int top);

    void Show();
    void ShowModal();
    void Close();

    bool Showing() const { return shown_; }  // shown as the logic sees it
    bool InModalLoop() const { return loop_ != nullptr; }

  Q_SIGNALS:
    void Shown();   // after FormShow, once the form is up (tests wait on it)
    void Closed();  // after FormClose and hiding

  protected:
    virtual void FormShow() {}
    virtual void FormClose() {}
    virtual void CloseBox() { Close(); }

    // Centres the form on the primary screen's available area.
    void CentreOnScreen();

    // Connects `signal` of `sender` to `handler`, guarded.
    template <class Sender, class Signal>
    void On(Sender* sender, Signal signal, std::function<void()> handler) {
        connect(sender, signal, this, [handler = std::move(handler)] { Guarded(handler); });
    }
    // Calls `handler` with the Windows key code (13 for Return) on every key press in `field`;
    // the key is passed on unchanged.
    void OnKeyDown(QWidget* field, std::function<void(int key)> handler);

    void closeEvent(QCloseEvent* event) override;

  private:
    void SyncNativeVisibility();
    void BringToFront();

    bool shown_ = false;
    bool offScreen_ = false;
    int offTop_ = 0;
    QEventLoop* loop_ = nullptr;
};

// Places a child control at `left` (kOffScreen hides it from view and from the keyboard).
void PlaceLeft(QWidget* control, int left);

}  // namespace platform
