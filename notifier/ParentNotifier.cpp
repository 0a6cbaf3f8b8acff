#include "notifier/ParentNotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QProcess>
#include <QTimer>
#include <QVariantMap>

#include "lib/control/Client.h"

namespace notifier {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

}  // namespace

ParentNotifier::ParentNotifier(QString panel) : panel_(std::move(panel)) {
    timer_ = new QTimer(this);
    timer_->setInterval(kAskEveryMs);
    connect(timer_, &QTimer::timeout, this, [this] { Look(); });
    QDBusConnection::sessionBus().connect(kService, kPath, kService,
                                          QStringLiteral("ActionInvoked"), this,
                                          SLOT(ActionInvoked(uint, QString)));
}

void ParentNotifier::Start() {
    QDBusMessage ask = QDBusMessage::createMethodCall(kService, kPath, kService,
                                                      QStringLiteral("GetCapabilities"));
    const QDBusReply<QStringList> capabilities =
        QDBusConnection::sessionBus().call(ask, QDBus::Block, 2000);
    markup_ =
        capabilities.isValid() && capabilities.value().contains(QStringLiteral("body-markup"));
    Look();
    timer_->start();
}

void ParentNotifier::Look() {
    const control::Reply reply = control::Ask({"asks"}, 3000);
    if (!reply.ok()) return;  // asked again at the next look
    for (const Asked& a : requests_.Take(reply.fields)) {
        QDBusMessage call =
            QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
        QVariantMap hints;
        hints.insert(QStringLiteral("urgency"), QVariant::fromValue<uchar>(1));
        hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("veltrix"));
        call << QStringLiteral("Veltrix") << 0u << QStringLiteral("veltrix")
             << QStringLiteral("Veltrix") << QString::fromStdString(BodyText(a.Text(), markup_))
             << QStringList{QStringLiteral("default"), QStringLiteral("Open Veltrix")} << hints
             << -1;
        auto* watcher =
            new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this,
                [this](QDBusPendingCallWatcher* w) {
                    const QDBusPendingReply<uint> id = *w;
                    if (id.isValid()) shown_.insert(id.value());
                    w->deleteLater();
                });
    }
}

void ParentNotifier::ActionInvoked(uint id, const QString& key) {
    if (!shown_.contains(id) || key != QStringLiteral("default")) return;
    QProcess::startDetached(panel_, {});
}

}  // namespace notifier
