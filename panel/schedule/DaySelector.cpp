#include "panel/schedule/DaySelector.h"

#include <QComboBox>
#include <QGroupBox>

#include "lib/platform/core/Locale.h"
#include "lib/platform/widgets/Forms.h"
#include "panel/schedule/ScheduleGrid.h"

namespace schedule {

DaySelector::DaySelector(QComboBox* comboBox, ScheduleGrid& grid) : combo_(comboBox), grid_(grid) {
    for (const char* day : kDayNames) combo_->addItem(QString::fromUtf8(day));
    combo_->setCurrentIndex(-1);
}

void DaySelector::WhatDayToday() {
    today_ = platform::LongDayNameToday();  // the locale's name, kept for the record
    const int weekday = platform::DayOfWeekToday();
    combo_->setCurrentIndex(weekday);
    ShowDay(kDayNames[static_cast<std::size_t>(weekday)]);
}

void DaySelector::ComboBox1Change() {
    ShowDay(combo_->currentText().toStdString());
}

void DaySelector::ShowDay(const std::string& day) {
    std::size_t chosen = kDayNames.size();
    for (std::size_t d = 0; d < kDayNames.size(); ++d)
        if (day == kDayNames[d]) chosen = d;
    if (chosen == kDayNames.size()) return;
    for (std::size_t d = 0; d < kDayNames.size(); ++d)
        platform::PlaceLeft(grid_.Panel(kPanelOfDay[d]), d == chosen ? 8 : platform::kOffScreen);
}

}  // namespace schedule
