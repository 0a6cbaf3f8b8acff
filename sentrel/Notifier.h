// The guard's desktop notifications (lib/platform/desktop): warnings, and the service's words with
// the action "Ask for more time". Without a session bus or a notification service nothing fails:
// the text is only not shown. Calls never wait for an answer.
#pragma once

#include <QObject>
#include <QString>

#include "lib/platform/desktop/DesktopNotifications.h"

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
    bool BusConnected() const { return platform::DesktopNotifications::Connected(); }

  Q_SIGNALS:
    // The child chose "Ask for more time" on one of these notifications.
    void AskChosen();

  private:
    platform::DesktopNotifications desktop_;
    bool hasBus_ = false;
};

}  // namespace sentrel
