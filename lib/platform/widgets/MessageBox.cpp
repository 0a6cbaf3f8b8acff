#include "lib/platform/widgets/MessageBox.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QSpacerItem>

#include <algorithm>

#include "lib/platform/core/Application.h"

namespace platform {
namespace {
MessageHook& Hook() {
    static MessageHook hook;
    return hook;
}
}  // namespace

int MessageBoxMinimumWidth(const QString& caption, const QFont& font) {
    // Title fonts are often bold and larger than the dialog's; the title bar also holds an icon
    // and up to three buttons.
    const int captionWidth = QFontMetrics(font).horizontalAdvance(caption) * 3 / 2;
    return std::max(240, captionWidth + 160);
}

void ShowMessage(const std::string& text) {
    if (Hook()) {
        Hook()(text);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(Application::Title()),
                    QString::fromStdString(text), QMessageBox::Ok);
    // A short text makes a box so narrow that the window manager shortens its caption; a spacer
    // across the box's grid gives it at least MessageBoxMinimumWidth().
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(MessageBoxMinimumWidth(box.windowTitle(), box.font()), 0,
                                      QSizePolicy::Minimum, QSizePolicy::Expanding),
                      grid->rowCount(), 0, 1, grid->columnCount());
    box.adjustSize();
    if (auto* screen = QGuiApplication::primaryScreen())
        box.move(screen->availableGeometry().center() - box.rect().center());
    box.exec();
}

MessageHook SetMessageHook(MessageHook hook) {
    MessageHook previous = std::move(Hook());
    Hook() = std::move(hook);
    return previous;
}

MessageRecorder::MessageRecorder()
    : previous_(SetMessageHook([this](const std::string& text) { texts.push_back(text); })) {}

MessageRecorder::~MessageRecorder() {
    SetMessageHook(std::move(previous_));
}

}  // namespace platform
