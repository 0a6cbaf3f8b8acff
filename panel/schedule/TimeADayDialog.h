// "Time a day": the minutes of governed use (browsers and listed applications, while the child is
// at the computer) each weekday allows, or no limit, stored as "MinutesADay0" .. "MinutesADay6"
// (0 = Sunday; "" = no limit). Loaded at every showing, all seven stored on OK.
#pragma once

#include <array>

#include <QDialog>

class QCheckBox;
class QPushButton;
class QSpinBox;

namespace schedule {

class TimeADayDialog final : public QDialog {
    Q_OBJECT
  public:
    explicit TimeADayDialog(QWidget* parent = nullptr);

    struct Row {
        QCheckBox* limit = nullptr;  // unticked: no limit that day
        QSpinBox* hours = nullptr;
        QSpinBox* minutes = nullptr;
    };
    std::array<Row, 7> rows;  // by weekday, 0 = Sunday
    QPushButton* sameEveryDay = nullptr;
    QPushButton* ok = nullptr;

    void Load();
    // False (and said) when the store refused it.
    bool Store();
    // Every day as Monday's row is.
    void SameEveryDay();
};

}  // namespace schedule
