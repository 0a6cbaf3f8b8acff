// TForm9, the About box (modal): the product's name and the installed version, "thisversion",
// read afresh at every showing.
#pragma once

#include "lib/platform/widgets/Forms.h"

class QLabel;
class QPushButton;

namespace update {

class TForm9 final : public platform::TForm {
    Q_OBJECT
  public:
    explicit TForm9(QWidget* parent = nullptr);

    QLabel* Label1;
    QLabel* Label2;
    QPushButton* SpeedButton1;

    void SpeedButton1Click() { Close(); }

  protected:
    void FormShow() override;
};

}  // namespace update
