#include "lib/platform/widgets/Forms.h"

#include <QCloseEvent>
#include <QEvent>
#include <QEventLoop>
#include <QFont>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>

namespace platform {
namespace {

int WindowsKeyCode(const QKeyEvent* e) {
    switch (e->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return 13;
        case Qt::Key_Escape:
            return 27;
        case Qt::Key_Tab:
            return 9;
        case Qt::Key_Backspace:
            return 8;
        default:
            if (e->key() >= Qt::Key_Space && e->key() <= Qt::Key_AsciiTilde) return e->key();
            return 0;
    }
}

class KeyDownFilter : public QObject {
  public:
    KeyDownFilter(QObject* parent, std::function<void(int)> handler)
        : QObject(parent), handler_(std::move(handler)) {}

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            int key = WindowsKeyCode(static_cast<QKeyEvent*>(event));
            Guarded([&] { handler_(key); });
        }
        return false;
    }

  private:
    std::function<void(int)> handler_;
};

}  // namespace

QFont DialogFont() {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(11);
    return f;
}

QFont LargeFont() {
    QFont f = DialogFont();
    f.setPixelSize(13);
    return f;
}

TForm::TForm(QWidget* parent) : QWidget(parent, Qt::Window) {
    setFont(DialogFont());
}

TForm::~TForm() {
    if (loop_) loop_->exit();
}

int TForm::Left() const {
    return offScreen_ ? kOffScreen : pos().x();
}

void TForm::Left(int left) {
    if (left == kOffScreen) {
        if (!offScreen_) offTop_ = pos().y();
        offScreen_ = true;
    } else {
        const int top = offScreen_ ? offTop_ : pos().y();
        offScreen_ = false;
        move(left, top);
    }
    SyncNativeVisibility();
}

int TForm::Top() const {
    return offScreen_ ? offTop_ : pos().y();
}

void TForm::Top(int top) {
    if (offScreen_)
        offTop_ = top;
    else
        move(pos().x(), top);
}

void TForm::MoveTo(int left, int top) {
    Top(top);
    Left(left);
}

void TForm::CentreOnScreen() {
    if (auto* screen = QGuiApplication::primaryScreen()) {
        QRect area = screen->availableGeometry();
        QSize size = frameGeometry().size().expandedTo(this->size());
        MoveTo(area.x() + (area.width() - size.width()) / 2,
               area.y() + (area.height() - size.height()) / 2);
    }
}

void TForm::SyncNativeVisibility() {
    const bool want = shown_ && !offScreen_;
    if (want && !isVisible()) {
        QWidget::show();
    } else if (!want && isVisible()) {
        QWidget::hide();
    }
}

void TForm::BringToFront() {
    if (!isVisible()) return;
    // The offscreen platform has no stacking order to change.
    if (QGuiApplication::platformName() != QStringLiteral("offscreen")) raise();
    activateWindow();
}

void TForm::Show() {
    if (shown_) {
        SyncNativeVisibility();
        BringToFront();
        return;
    }
    if (!Application::MainForm()) Application::SetMainForm(this);
    shown_ = true;
    Guarded([this] { FormShow(); });
    if (!shown_) return;  // closed while showing
    SyncNativeVisibility();
    BringToFront();
    Q_EMIT Shown();
}

void TForm::ShowModal() {
    if (shown_ || loop_) return;
    setWindowModality(Qt::ApplicationModal);
    QEventLoop loop;
    loop_ = &loop;
    Show();
    if (shown_) loop.exec(QEventLoop::DialogExec);
    loop_ = nullptr;
    setWindowModality(Qt::NonModal);
}

void TForm::Close() {
    if (!shown_) return;
    if (!Guarded([this] { FormClose(); })) return;  // a failing close handler keeps the form
    shown_ = false;
    SyncNativeVisibility();
    if (loop_) loop_->exit();
    Q_EMIT Closed();
    if (Application::MainForm() == this) Application::Terminate();
}

void TForm::OnKeyDown(QWidget* field, std::function<void(int)> handler) {
    field->installEventFilter(new KeyDownFilter(field, std::move(handler)));
}

void TForm::closeEvent(QCloseEvent* event) {
    // The window system's close (close box, task bar, Alt+F4): the form decides.
    event->ignore();
    if (shown_) Guarded([this] { CloseBox(); });
}

void PlaceLeft(QWidget* control, int left) {
    control->move(left, control->y());
    control->setVisible(left != kOffScreen);
}

}  // namespace platform
