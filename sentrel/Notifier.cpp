#include "sentrel/Notifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

namespace sentrel {

Notifier::Notifier() {
    hasBus_ = QDBusConnection::sessionBus().isConnected();
}

bool Notifier::BusConnected() const {
    return QDBusConnection::sessionBus().isConnected();
}

void Notifier::Show(const QString& text) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue<uchar>(1));
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("veltrix"));
    call << QStringLiteral("Veltrix") << 0u << QStringLiteral("veltrix")
         << QStringLiteral("Veltrix") << text << QStringList() << hints << -1;
    bus.send(call);  // fire and forget: no service, no harm
}

}  // namespace sentrel
