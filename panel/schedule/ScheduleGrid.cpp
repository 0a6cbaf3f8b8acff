#include "panel/schedule/ScheduleGrid.h"

#include <QCheckBox>
#include <QGroupBox>

#include "lib/platform/widgets/Forms.h"
#include "lib/store/ValueNames.h"
#include "panel/settings/Settings.h"

namespace schedule {
namespace {

struct PanelDesign {
    int groupBox;
    const char* caption;
    int top;
};
// Captions exactly as designed, blanks included.
constexpr std::array<PanelDesign, 7> kPanels = {{{2, "Tuesday Hours: ", 72},
                                                 {3, " Sunday Hours: ", 72},
                                                 {4, "Monday Hours: ", 72},
                                                 {5, "Wednesday Hours: ", 72},
                                                 {6, "Thursday Hours: ", 72},
                                                 {7, "Friday Hours: ", 80},
                                                 {8, " Saturday Hours: ", 72}}};

}  // namespace

HourSlot SlotOf(int k) {
    HourSlot s;
    s.hour = store::HourOfPosition(k);
    // The morning column on the left, the afternoon column on the right, each top to bottom.
    s.left = s.hour < 12 ? 24 : 144;
    s.top = 32 + 24 * (s.hour % 12);
    const int h12 = s.hour % 12 == 0 ? 12 : s.hour % 12;
    s.caption = std::to_string(h12) + (s.hour < 12 ? "  AM" : "  PM");
    return s;
}

ScheduleGrid::ScheduleGrid(QWidget* client) {
    for (const PanelDesign& d : kPanels) {
        auto* panel = new QGroupBox(QString::fromUtf8(d.caption), client);
        panel->setObjectName(QStringLiteral("GroupBox%1").arg(d.groupBox));
        panel->setFont(platform::LargeFont());
        panel->setGeometry(8, d.top, 281, 337);
        panels_[static_cast<std::size_t>(d.groupBox - 2)] = panel;
        QWidget* previous = nullptr;
        for (int k = 0; k < 24; ++k) {
            const int n = FirstBoxOfPanel(d.groupBox) + k;
            const HourSlot slot = SlotOf(k);
            auto* box = new QCheckBox(QString::fromStdString(slot.caption), panel);
            box->setObjectName(QStringLiteral("CheckBox%1").arg(n));
            box->setFont(platform::DialogFont());
            box->setGeometry(slot.left, slot.top, 97, 17);
            box->setChecked(true);
            if (previous) QWidget::setTabOrder(previous, box);  // tab order follows k
            previous = box;
            boxes_[static_cast<std::size_t>(n - 1)] = box;
        }
        platform::PlaceLeft(panel, d.groupBox == 3 ? 8 : platform::kOffScreen);
    }
}

void ScheduleGrid::ApplyFlags() {
    for (int n = 1; n <= kBoxes; ++n) {
        const std::string& flag = flags_[static_cast<std::size_t>(n - 1)];
        if (flag == "0")
            Box(n)->setChecked(false);
        else if (flag == "1")
            Box(n)->setChecked(true);
    }
}

void ScheduleGrid::WhatCheckBoxChecked() {
    for (auto& f : flags_) f.clear();
    try {
        settings::With([&](settings::Values& reg) {
            for (int n = 1; n <= kBoxes; ++n)
                flags_[static_cast<std::size_t>(n - 1)] = reg.ReadString(store::HourFlagName(n));
        });
    } catch (...) {
        ApplyFlags();  // the flags read before the failure still count
        throw;
    }
    ApplyFlags();
}

void ScheduleGrid::WhatCheckBoxCheckedSaved() {
    for (int n = 1; n <= kBoxes; ++n)
        flags_[static_cast<std::size_t>(n - 1)].assign(1, Box(n)->isChecked() ? '1' : '0');
    settings::With([&](settings::Values& reg) {
        for (int n = 1; n <= kBoxes; ++n)
            reg.WriteString(store::HourFlagName(n), flags_[static_cast<std::size_t>(n - 1)]);
    });
}

}  // namespace schedule
