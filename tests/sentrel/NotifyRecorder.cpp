// A notification service of the test's own on a private session bus: it takes the name
// org.freedesktop.Notifications, writes the body of every notification it is sent as one line of
// OUT, and runs COMMAND (the guard) until that ends. With $NOTIFY_RECORDER_INVOKE set to an
// action's key, it invokes that action of every notification that offers it, as a click would.
//   notify-recorder OUT COMMAND [ARGS...]     (inside dbus-run-session)
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>

class Notifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
  public:
    explicit Notifications(QString out) : out_(std::move(out)) {}

  public Q_SLOTS:
    uint Notify(const QString& app, uint replaces, const QString& icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints,
                int timeout) {
        Q_UNUSED(replaces);
        Q_UNUSED(icon);
        Q_UNUSED(hints);
        Q_UNUSED(timeout);
        QFile file(out_);
        if (file.open(QIODevice::Append))
            file.write((app + "|" + summary + "|" + body + "\n").toUtf8());
        const uint id = ++id_;
        const QString key = qEnvironmentVariable("NOTIFY_RECORDER_INVOKE");
        if (!key.isEmpty() && actions.contains(key))
            QTimer::singleShot(200, this, [id, key] {
                QDBusMessage signal =
                    QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/Notifications"),
                                               QStringLiteral("org.freedesktop.Notifications"),
                                               QStringLiteral("ActionInvoked"));
                signal << id << key;
                QDBusConnection::sessionBus().send(signal);
            });
        return id;
    }
    QStringList GetCapabilities() { return {QStringLiteral("body")}; }

  private:
    QString out_;
    uint id_ = 0;
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 3) return 2;
    Notifications service(QString::fromLocal8Bit(argv[1]));
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerService(QStringLiteral("org.freedesktop.Notifications")) ||
        !bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &service,
                            QDBusConnection::ExportAllSlots))
        return 3;
    QProcess command;
    command.setProcessChannelMode(QProcess::ForwardedChannels);
    QStringList args;
    for (int i = 3; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    QObject::connect(&command, &QProcess::finished, &app, [] { QCoreApplication::quit(); });
    command.start(QString::fromLocal8Bit(argv[2]), args);
    return QCoreApplication::exec();
}

#include "NotifyRecorder.moc"
