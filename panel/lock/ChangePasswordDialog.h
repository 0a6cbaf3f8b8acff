// TForm3, the change-password dialog, reached from the unlocked main window (File menu).
#pragma once

#include "lib/platform/widgets/Forms.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace lock {

class TForm3 final : public platform::TForm {
    Q_OBJECT
  public:
    explicit TForm3(QWidget* parent = nullptr);

    QGroupBox* GroupBox1;
    QLabel* Label1;
    QLabel* Label2;
    QLineEdit* Edit1;
    QLineEdit* Edit2;
    QPushButton* SpeedButton1;
    QPushButton* SpeedButton2;

    void SpeedButton1Click();
    void SpeedButton2Click();
    void Edit2KeyDown(int key);
};

}  // namespace lock
