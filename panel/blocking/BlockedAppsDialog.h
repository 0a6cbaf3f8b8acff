// TForm6, the blocked-applications dialog (modeless): nine entries "App1" .. "App9", loaded at
// every showing and stored, all nine, on OK. The tips link opens the product site's tips page.
#pragma once

#include <array>

#include "lib/platform/widgets/Forms.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace blocking {

class TForm6 final : public platform::TForm {
    Q_OBJECT
  public:
    explicit TForm6(QWidget* parent = nullptr);

    QLabel* Label1;
    QGroupBox* GroupBox1;
    std::array<QLineEdit*, 9> Edit{};  // Edit[0] is Edit1 ... Edit[8] is Edit9
    QPushButton* SpeedButton1;         // OK
    QPushButton* SpeedButton2;         // Cancel

    void SpeedButton1Click();
    void SpeedButton2Click() { Close(); }
    void Label1Click();

  protected:
    void FormShow() override;
};

}  // namespace blocking
