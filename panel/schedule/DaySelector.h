// The day selector: ComboBox1 chooses which day panel is at left 8; the other six are off screen.
// At start it shows today, chosen by the weekday's number, so every locale gets today's panel.
#pragma once

#include <string>

class QComboBox;

namespace schedule {

class ScheduleGrid;

class DaySelector {
  public:
    DaySelector(QComboBox* comboBox, ScheduleGrid& grid);

    void WhatDayToday();
    void ComboBox1Change();
    // Puts the panel of `day` (an English day name) at left 8 and the others off screen; any
    // other text changes nothing.
    void ShowDay(const std::string& day);

    const std::string& TodayName() const { return today_; }

  private:
    QComboBox* combo_;
    ScheduleGrid& grid_;
    std::string today_;
};

}  // namespace schedule
