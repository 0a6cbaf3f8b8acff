// The week's schedule, read-only, on the 7 x 24 layout of the parent's grid: each day a row from
// Sunday, each hour a cell, the hours that block hatched, today's row and this hour marked.
#pragma once

#include <QWidget>

#include <array>

namespace child {

class WeekPlan final : public QWidget {
    Q_OBJECT
  public:
    explicit WeekPlan(QWidget* parent = nullptr);
    // [weekday * 24 + hour]: whether that hour blocks (0 = Sunday).
    void Show(const std::array<bool, 168>& blocked, int weekday, int hour);
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::array<bool, 168> blocked_{};
    int weekday_ = -1, hour_ = -1;
};

}  // namespace child
