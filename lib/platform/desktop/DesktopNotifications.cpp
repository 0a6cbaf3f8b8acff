#include "lib/platform/desktop/DesktopNotifications.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QVariantMap>

namespace platform {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
constexpr std::size_t kMostRemembered = 64;  // older ones were closed long ago

}  // namespace

DesktopNotifications::DesktopNotifications(QObject* parent) : QObject(parent) {
    if (Connected())
        QDBusConnection::sessionBus().connect(kService, kPath, kService,
                                              QStringLiteral("ActionInvoked"), this,
                                              SLOT(ActionInvoked(uint, QString)));
}

bool DesktopNotifications::Connected() {
    return QDBusConnection::sessionBus().isConnected();
}

bool DesktopNotifications::RendersMarkup() {
    if (!Connected()) return false;
    const QDBusMessage ask = QDBusMessage::createMethodCall(kService, kPath, kService,
                                                            QStringLiteral("GetCapabilities"));
    const QDBusReply<QStringList> capabilities =
        QDBusConnection::sessionBus().call(ask, QDBus::Block, 2000);
    return capabilities.isValid() && capabilities.value().contains(QStringLiteral("body-markup"));
}

void DesktopNotifications::Send(const QString& body, const QStringList& actions) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue<uchar>(1));
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("veltrix"));
    call << QStringLiteral("Veltrix") << 0u << QStringLiteral("veltrix")
         << QStringLiteral("Veltrix") << body << actions << hints << -1;
    if (actions.isEmpty()) {
        bus.send(call);  // fire and forget: no service, no harm
        return;
    }
    // The id, to know the action as ours when it comes; never waited for.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        const QDBusPendingReply<uint> id = *w;
        if (id.isValid()) {
            if (withActions_.size() >= kMostRemembered) withActions_.clear();
            withActions_.insert(id.value());
        }
        w->deleteLater();
    });
}

void DesktopNotifications::ActionInvoked(uint id, const QString& key) {
    if (withActions_.erase(id) > 0) Q_EMIT ActionChosen(key);
}

}  // namespace platform
