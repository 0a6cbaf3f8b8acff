// Desktop notifications through the freedesktop Notifications service on the session bus. Without
// a session bus or a notification service nothing fails: the text is only not shown. Calls never
// wait for an answer.
#pragma once

#include <QObject>
#include <QString>

#include <set>

namespace sentrel {

class Notifier final : public QObject {
    Q_OBJECT
  public:
    Notifier();
    void Show(const QString& text);
    // With the action "Ask for more time" (where the notification service offers actions).
    void ShowAskable(const QString& text);
    // Whether a session bus was there at the start.
    bool HasBus() const { return hasBus_; }
    // Whether the session bus is still connected (it goes when the session ends).
    bool BusConnected() const;

  Q_SIGNALS:
    // The child chose "Ask for more time" on one of these notifications.
    void AskChosen();

  private:
    Q_SLOT void ActionInvoked(uint id, const QString& key);
    void Send(const QString& text, const QStringList& actions);
    bool hasBus_ = false;
    std::set<uint> askable_;  // ids of the notifications that offer asking
};

}  // namespace sentrel
