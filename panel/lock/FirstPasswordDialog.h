// TForm2, the first-password dialog: the parent chooses the password at the very first start.
// Return in the second field acts as OK; there is no Cancel (the close box stores nothing).
#pragma once

#include <string>

#include "lib/platform/widgets/Forms.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace lock {

class TForm2 final : public platform::TForm {
    Q_OBJECT
  public:
    explicit TForm2(QWidget* parent = nullptr);

    QGroupBox* GroupBox1;
    QLabel* Label1;
    QLabel* Label2;
    QLineEdit* Edit1;
    QLineEdit* Edit2;
    QPushButton* SpeedButton1;

    void SpeedButton1Click();
    void Edit2KeyDown(int key);
    // Says the parent is choosing the password of a child's settings (from a parent's account);
    // "": the program's own first password.
    void ForChild(const std::string& account);
};

}  // namespace lock
