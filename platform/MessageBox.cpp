#include "platform/MessageBox.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>

#include "platform/Application.h"

namespace platform {
namespace {
MessageHook& Hook() {
    static MessageHook hook;
    return hook;
}
}  // namespace

void ShowMessage(const std::string& text) {
    if (Hook()) {
        Hook()(text);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(Application::Title()),
                    QString::fromStdString(text), QMessageBox::Ok);
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
