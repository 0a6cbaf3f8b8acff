// Desktop notifications through the freedesktop Notifications service on the session bus, shown
// as "Veltrix" with the program's icon. Without a session bus or a notification service nothing
// fails: the text is only not shown. Sending never waits for the service.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <set>

namespace platform {

class DesktopNotifications final : public QObject {
    Q_OBJECT
  public:
    explicit DesktopNotifications(QObject* parent = nullptr);
    // Whether the session bus is connected (it goes when the session ends).
    static bool Connected();
    // Whether the notification service renders markup in bodies (asked once; waits at most 2 s).
    static bool RendersMarkup();
    // Shows `body`. `actions` are pairs of key and label; a notification without them is sent
    // and forgotten.
    void Send(const QString& body, const QStringList& actions = {});

  Q_SIGNALS:
    // A person chose the action `key` on one of the notifications sent here (another program's
    // are not ours to answer).
    void ActionChosen(const QString& key);

  private:
    Q_SLOT void ActionInvoked(uint id, const QString& key);
    std::set<uint> withActions_;  // ids of ours that offer actions
};

}  // namespace platform
