#include "sentrel/Notifier.h"

namespace sentrel {

namespace {

const QString kAsk = QStringLiteral("ask");

}  // namespace

Notifier::Notifier() : hasBus_(platform::DesktopNotifications::Connected()) {
    connect(&desktop_, &platform::DesktopNotifications::ActionChosen, this,
            [this](const QString& key) {
                if (key == kAsk) Q_EMIT AskChosen();
            });
}

void Notifier::Show(const QString& text) {
    desktop_.Send(text);
}

void Notifier::ShowAskable(const QString& text) {
    desktop_.Send(text, {kAsk, QStringLiteral("Ask for more time")});
}

}  // namespace sentrel
