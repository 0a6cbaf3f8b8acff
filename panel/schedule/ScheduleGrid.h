// The weekly schedule grid: seven day panels (GroupBox2 .. GroupBox8) of 24 hour boxes each,
// CheckBox1 .. CheckBox168, loaded from the settings store once at start and saved once at close.
// Box n's flag is the value "CheckBox<n>Check": "1" ticked, "0" not ticked.
#pragma once

#include <array>
#include <string>

#include "lib/store/HourBoxes.h"

class QCheckBox;
class QGroupBox;
class QWidget;

namespace schedule {

inline constexpr int kBoxes = 168;

using store::FirstBoxOfPanel;
using store::kPanelOfDay;
inline constexpr std::array<const char*, 7> kDayNames = {
    "Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

// Layout of position k (0..23) within a panel, the same in all seven panels.
struct HourSlot {
    int hour;  // 0..23
    int left, top;
    std::string caption;  // "12  AM", "5  PM", ...
};
HourSlot SlotOf(int k);

class ScheduleGrid {
  public:
    // Creates the panels and boxes as children of `client`, in the design state (Sunday's panel
    // at left 8, the others off screen, every box ticked).
    explicit ScheduleGrid(QWidget* client);

    QGroupBox* Panel(int groupBox) const { return panels_.at(groupBox - 2); }
    QCheckBox* Box(int n) const { return boxes_.at(n - 1); }

    // Loads the 168 flags. A failed read ends the load after the flags read so far are applied;
    // the failure passes on to the caller.
    void WhatCheckBoxChecked();
    // Saves the 168 boxes as flags, in ascending order, in one store use.
    void WhatCheckBoxCheckedSaved();

    const std::array<std::string, kBoxes>& Flags() const { return flags_; }

  private:
    void ApplyFlags();

    std::array<QGroupBox*, 7> panels_{};
    std::array<QCheckBox*, kBoxes> boxes_{};
    std::array<std::string, kBoxes> flags_;
};

}  // namespace schedule
