#include "sentrel/Notifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace sentrel {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kAsk = QStringLiteral("ask");

}  // namespace

Notifier::Notifier() {
    hasBus_ = QDBusConnection::sessionBus().isConnected();
    if (hasBus_)
        QDBusConnection::sessionBus().connect(kService, kPath, kService,
                                              QStringLiteral("ActionInvoked"), this,
                                              SLOT(ActionInvoked(uint, QString)));
}

void Notifier::ActionInvoked(uint id, const QString& key) {
    if (key == kAsk && askable_.erase(id) > 0) Q_EMIT AskChosen();
}

bool Notifier::BusConnected() const {
    return QDBusConnection::sessionBus().isConnected();
}

void Notifier::Show(const QString& text) {
    Send(text, {});
}

void Notifier::ShowAskable(const QString& text) {
    Send(text, {kAsk, QStringLiteral("Ask for more time")});
}

void Notifier::Send(const QString& text, const QStringList& actions) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue<uchar>(1));
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("veltrix"));
    call << QStringLiteral("Veltrix") << 0u << QStringLiteral("veltrix")
         << QStringLiteral("Veltrix") << text << actions << hints << -1;
    if (actions.isEmpty()) {
        bus.send(call);  // fire and forget: no service, no harm
        return;
    }
    // The id, to know the action as ours when it comes; never waited for.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        const QDBusPendingReply<uint> id = *w;
        if (id.isValid()) {
            if (askable_.size() > 64) askable_.clear();  // old ones closed long ago
            askable_.insert(id.value());
        }
        w->deleteLater();
    });
}

}  // namespace sentrel
