// In a parent's session: asks the service for the children's open requests every few seconds and
// shows each new one as a desktop notification ("kid asks for 30 more minutes: maths homework")
// whose action opens Veltrix, where the family list shows it with Grant and Refuse.
#pragma once

#include <QObject>
#include <QString>

#include "lib/platform/desktop/DesktopNotifications.h"
#include "notifier/NewRequests.h"

class QTimer;

namespace notifier {

inline constexpr int kAskEveryMs = 4000;

class ParentNotifier final : public QObject {
    Q_OBJECT
  public:
    // `panel`: the program the action starts.
    explicit ParentNotifier(QString panel);
    void Start();
    // One look at the open requests.
    void Look();

  private:
    QString panel_;
    NewRequests requests_;
    platform::DesktopNotifications desktop_;
    QTimer* timer_ = nullptr;
    bool markup_ = false;  // the notification service renders markup in bodies
};

}  // namespace notifier
