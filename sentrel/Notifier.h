// Desktop notifications through the freedesktop Notifications service on the session bus. Without
// a session bus or a notification service nothing fails: the text is only not shown. Calls never
// wait for an answer.
#pragma once

#include <QObject>
#include <QString>

namespace sentrel {

class Notifier final : public QObject {
    Q_OBJECT
  public:
    Notifier();
    void Show(const QString& text);
    // Whether a session bus was there at the start.
    bool HasBus() const { return hasBus_; }
    // Whether the session bus is still connected (it goes when the session ends).
    bool BusConnected() const;

  private:
    bool hasBus_ = false;
};

}  // namespace sentrel
