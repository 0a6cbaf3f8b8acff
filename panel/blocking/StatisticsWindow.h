// TForm7, the statistics window: the guard program's log Block.log, one list item per line,
// loaded when the window is created and written back on every close of the window (see
// BlockLog for how no line of the guard's is lost). Modeless; Clear empties the list only.
#pragma once

#include <memory>

#include "lib/blocklog/BlockLog.h"
#include "lib/platform/widgets/Forms.h"

class QGroupBox;
class QListView;
class QPushButton;

namespace blocking {

class LogLinesModel;

class TForm7 final : public platform::TForm {
    Q_OBJECT
  public:
    explicit TForm7(QWidget* parent = nullptr);
    ~TForm7() override;

    QGroupBox* GroupBox1;
    QListView* ListBox1;
    QPushButton* SpeedButton1;  // Close
    QPushButton* SpeedButton2;  // Clear

    void FormCreate();
    void SpeedButton1Click() { Close(); }
    void SpeedButton2Click();

    const blocklog::BlockLog& Log() const { return log_; }

  protected:
    void FormClose() override;

  private:
    blocklog::BlockLog log_;
    LogLinesModel* model_;
};

}  // namespace blocking
