// What a child sees of Veltrix in its own account: today's time used and left (or no limit),
// whether this hour allows or blocks and until when, the week's schedule read-only, the request
// it has open, and "Ask for more time...". No password field: nothing here changes a setting.
// The service answers a member about its own account only; the schedule is the one the service
// mirrors into the account's own store.
#pragma once

#include <QWidget>

#include "panel/child/Asker.h"

class QLabel;
class QPushButton;
class QTimer;

namespace child {

class WeekPlan;

class ChildView final : public QWidget {
    Q_OBJECT
  public:
    explicit ChildView(Asker asker = ServiceAsker(), QWidget* parent = nullptr);
    // Asks the service for the day again, and reads the schedule.
    void Refresh();
    // Opens "Ask for more time" (modal), then shows the day again.
    void AskForMoreTime();

    QLabel* today = nullptr;
    QLabel* now = nullptr;
    QLabel* request = nullptr;
    WeekPlan* plan = nullptr;
    QPushButton* ask = nullptr;
    QPushButton* close = nullptr;

  private:
    Asker ask_;
    QTimer* timer_ = nullptr;
};

}  // namespace child
