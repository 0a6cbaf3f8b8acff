#include "panel/schedule/TimeADayDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <exception>
#include <map>
#include <string>

#include "lib/enforce/Allowance.h"
#include "lib/enforce/Clock.h"
#include "lib/platform/widgets/MessageBox.h"
#include "lib/store/ValueNames.h"
#include "panel/settings/Settings.h"

namespace schedule {

namespace {
constexpr int kWeekFromMonday[7] = {1, 2, 3, 4, 5, 6, 0};
}  // namespace

TimeADayDialog::TimeADayDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TimeADay"));
    setWindowTitle(QStringLiteral("Time a day"));
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(QStringLiteral(
        "How long the browsers and the blocked applications may run each day, counted only "
        "while the child uses the computer. The schedule's blocked hours still block."));
    intro->setWordWrap(true);
    layout->addWidget(intro);
    auto* grid = new QGridLayout;
    for (int i = 0; i < 7; ++i) {
        const int day = kWeekFromMonday[i];
        Row& row = rows[static_cast<std::size_t>(day)];
        row.limit = new QCheckBox(QString::fromUtf8(enforce::DayName(day)), this);
        row.limit->setObjectName(QStringLiteral("Limit%1").arg(day));
        row.hours = new QSpinBox(this);
        row.hours->setObjectName(QStringLiteral("Hours%1").arg(day));
        row.hours->setRange(0, 24);
        row.hours->setSuffix(QStringLiteral(" h"));
        row.minutes = new QSpinBox(this);
        row.minutes->setObjectName(QStringLiteral("Minutes%1").arg(day));
        row.minutes->setRange(0, 59);
        row.minutes->setSingleStep(5);
        row.minutes->setSuffix(QStringLiteral(" min"));
        auto* none = new QLabel(QStringLiteral("no limit"), this);
        auto enable = [row, none](bool on) {
            row.hours->setEnabled(on);
            row.minutes->setEnabled(on);
            none->setVisible(!on);
        };
        connect(row.limit, &QCheckBox::toggled, this, enable);
        enable(false);
        // 24 h is the whole day: no minutes past it.
        connect(row.hours, &QSpinBox::valueChanged, this,
                [row](int h) { row.minutes->setMaximum(h == 24 ? 0 : 59); });
        grid->addWidget(row.limit, i, 0);
        grid->addWidget(row.hours, i, 1);
        grid->addWidget(row.minutes, i, 2);
        grid->addWidget(none, i, 3);
    }
    layout->addLayout(grid);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    sameEveryDay =
        buttons->addButton(QStringLiteral("&Same every day"), QDialogButtonBox::ActionRole);
    ok = buttons->button(QDialogButtonBox::Ok);
    connect(sameEveryDay, &QPushButton::clicked, this, [this] { SameEveryDay(); });
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (Store()) accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    Load();
}

void TimeADayDialog::Load() {
    std::map<std::string, std::string> values;
    settings::With([&](settings::Values& reg) {
        for (int day = 0; day < 7; ++day)
            values[store::MinutesADayName(day)] = reg.ReadString(store::MinutesADayName(day));
    });
    const enforce::Allowance allowance = enforce::Allowance::FromValues(values);
    for (int day = 0; day < 7; ++day) {
        const int minutes = allowance.minutes[static_cast<std::size_t>(day)];
        Row& row = rows[static_cast<std::size_t>(day)];
        row.limit->setChecked(minutes >= 0);
        row.hours->setValue(minutes >= 0 ? minutes / 60 : 2);
        row.minutes->setValue(minutes >= 0 ? minutes % 60 : 0);
    }
}

bool TimeADayDialog::Store() {
    const bool stored = settings::With([&](settings::Values& reg) {
        for (int day = 0; day < 7; ++day) {
            const Row& row = rows[static_cast<std::size_t>(day)];
            const int minutes = row.hours->value() * 60 + row.minutes->value();
            reg.WriteString(store::MinutesADayName(day),
                            row.limit->isChecked() ? std::to_string(minutes) : std::string());
        }
    });
    std::string why = stored ? "" : "the settings could not be written";
    if (stored) {
        try {
            settings::Current().Seal();  // enforced from now on
        } catch (const std::exception& e) {
            why = e.what();
        }
    }
    if (!why.empty()) platform::ShowMessage("The time a day was not stored: " + why);
    return why.empty();
}

void TimeADayDialog::SameEveryDay() {
    const Row& monday = rows[1];
    for (Row& row : rows) {
        row.limit->setChecked(monday.limit->isChecked());
        row.hours->setValue(monday.hours->value());
        row.minutes->setValue(monday.minutes->value());
    }
}

}  // namespace schedule
