// "Use": where a child's time went, for the parent, in the child's windows opened from the family
// list. The last 7 days on a 7 x 24 grid, each hour shaded by the minutes used in it and the
// hours the schedule blocks hatched; below, the daily totals of the last 4 weeks against each
// day's allowance; and today's programs with their time. Read from the service at each showing.
#pragma once

#include <QDialog>
#include <QWidget>

#include <string>

#include "panel/schedule/UseOverview.h"

class QLabel;
class QTableWidget;

namespace settings {
struct UseRead;
}

namespace schedule {

// A painting of the overview: shown anew with each one given.
class UseChart : public QWidget {
    Q_OBJECT
  public:
    void Show(const UseOverview& overview);

  protected:
    UseChart(const QString& name, QWidget* parent);
    UseOverview overview_;
};

// The 7 x 24 grid of the last 7 days.
class UseGrid final : public UseChart {
    Q_OBJECT
  public:
    explicit UseGrid(QWidget* parent = nullptr);
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
};

// The daily totals of the last 4 weeks, a bar a day, each day's allowance marked.
class UseTotals final : public UseChart {
    Q_OBJECT
  public:
    explicit UseTotals(QWidget* parent = nullptr);
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
};

class UseWindow final : public QDialog {
    Q_OBJECT
  public:
    explicit UseWindow(QWidget* parent = nullptr);

    // Reads the record from the service and the schedule and allowance from the settings.
    void Load();
    // Shows `use` with the schedule and allowance of the settings.
    void Show(const settings::UseRead& use);

    QLabel* today = nullptr;  // "Today: 1:12 of 2:00"
    UseGrid* grid = nullptr;
    UseTotals* totals = nullptr;
    QTableWidget* programs = nullptr;
};

}  // namespace schedule
