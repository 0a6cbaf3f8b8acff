// "Ask for more time": 15, 30 or 60 minutes, or until the end of this hour, with a reason of one
// line, sent to the service for the parents. A refusal (one request already open, too soon after
// a "no", a reason the service will not keep) is shown and the dialog stays open.
#pragma once

#include <QDialog>

#include "panel/child/Asker.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace child {

class AskDialog final : public QDialog {
    Q_OBJECT
  public:
    explicit AskDialog(Asker asker, QWidget* parent = nullptr);
    QComboBox* minutes = nullptr;
    QLineEdit* reason = nullptr;
    QPushButton* ok = nullptr;

  private:
    void Send();
    Asker ask_;
};

}  // namespace child
