// A parent's answers for today, from the child's windows opened from the family list, applied by
// the service at once and never changing the weekly grid: "More time today" (minutes, or allowed
// until a time), "Block now" (until a time, or midnight: dinner, bedtime) and the refusal of a
// child's request. Each may carry a few words for the child's desktop.
#pragma once

#include <QDialog>

#include <string>
#include <vector>

class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTimeEdit;

namespace schedule {

class TodayDialog : public QDialog {
    Q_OBJECT
  public:
    QRadioButton* first = nullptr;   // minutes / until a time
    QRadioButton* second = nullptr;  // until a time / midnight
    QSpinBox* minutes = nullptr;     // More time only
    QTimeEdit* until = nullptr;
    QLineEdit* words = nullptr;
    QPushButton* ok = nullptr;

  protected:
    TodayDialog(QWidget* parent, const QString& name, const QString& title);
    // The answer as the service takes it, without the words: {"grant", "30"}.
    virtual std::vector<std::string> Chosen() const = 0;
    // Sends the answer; shows the refusal and stays open when there is one.
    void Send(const std::vector<std::string>& answer);
    // Lays out `choice`, the words and OK / Cancel; `todayOnly` says the answer ends at midnight.
    void Finish(QWidget* choice, bool todayOnly = true);
    std::string UntilText() const;  // "20:00"
};

class MoreTimeDialog final : public TodayDialog {
    Q_OBJECT
  public:
    explicit MoreTimeDialog(QWidget* parent = nullptr);
    // Starts from a child's request: its minutes ("30"), or until the next hour ("hour").
    void Preset(const std::string& asked);

  private:
    std::vector<std::string> Chosen() const override;
};

class BlockNowDialog final : public TodayDialog {
    Q_OBJECT
  public:
    explicit BlockNowDialog(QWidget* parent = nullptr);

  private:
    std::vector<std::string> Chosen() const override;
};

// "No more time": the child's open request refused, with optional words. `asked` is the request
// as the family list shows it.
class RefuseDialog final : public TodayDialog {
    Q_OBJECT
  public:
    RefuseDialog(QWidget* parent, const std::string& asked);

  private:
    std::vector<std::string> Chosen() const override;
};

}  // namespace schedule
