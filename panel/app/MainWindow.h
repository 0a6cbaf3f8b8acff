// TForm1, the main window: the weekly schedule editor with the guard switches, the autostart box
// and the menu. It stays at the off-screen position until the password is given.
//
// Start-up (FormShow): today's panel, load the grid, record the program directory, read the
// launch counter, on the first start ask for a new password, count the start, go off screen and
// ask for the password. Every step's failure is logged and the sequence goes on, so the lock is
// never skipped. Shutdown (FormClose): autostart entry, position (only when on screen), grid.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "lib/platform/widgets/Forms.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QMenuBar;
class QAction;
class QPushButton;

namespace schedule {
class ScheduleGrid;
class DaySelector;
}  // namespace schedule

namespace app {

// The dialogs the main window opens; set once they exist.
struct Dialogs {
    platform::TForm* form2 = nullptr;  // first password
    platform::TForm* form3 = nullptr;  // change password
    platform::TForm* form4 = nullptr;  // enter password
    platform::TForm* form6 = nullptr;  // blocked applications
    platform::TForm* form7 = nullptr;  // statistics
    platform::TForm* form8 = nullptr;  // update checker
    platform::TForm* form9 = nullptr;  // About
};

class TForm1 final : public platform::TForm {
    Q_OBJECT
  public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    void SetDialogs(const Dialogs& dialogs) { dialogs_ = dialogs; }

    QMenuBar* MainMenu1;
    QAction* Editblocked1;
    QAction* Changepassword1;
    // Checked: the service cuts the child's internet at blocked hours (shown where it does).
    QAction* Internetoff1;
    QAction* Timeaday1;  // the time a day each weekday allows (with the service only)
    QAction* Use1;       // where the time went (with the service only)
    QAction* Moretime1;  // today's answers, at once (with the service only)
    QAction* Blocknow1;
    QAction* Exit1;
    QAction* S1;
    QAction* Checkupofupdating1;
    QAction* About1;
    QWidget* Client;  // the client area below the menu; designer coordinates are relative to it
    QGroupBox* GroupBox1;
    QComboBox* ComboBox1;
    QCheckBox* CheckBox169;
    QPushButton* SpeedButton1;
    QPushButton* SpeedButton2;
    QPushButton* SpeedButton3;
    QPushButton* SpeedButton4;
    QPushButton* SpeedButton5;

    schedule::ScheduleGrid& Grid() { return *grid_; }
    // The service's sealed settings were written into the store at unlock: show them.
    void SealedSettingsShown();
    schedule::DaySelector& Days() { return *days_; }
    const std::string& LaunchCounter() const { return launchCounter_; }

    void FormCreate();
    void ErrorHandler(const std::exception& e);
    void SpeedButton1Click() { Close(); }
    void Exit1Click() { Close(); }
    void SpeedButton2Click();
    void SpeedButton3Click();
    void SpeedButton4Click();
    void SpeedButton5Click();
    void Editblocked1Click();
    void Changepassword1Click();
    void Internetoff1Click();
    void Timeaday1Click();
    void Use1Click();
    // `asked`: a child's request ("30", "hour") the dialog starts from, or "".
    void Moretime1Click(const std::string& asked = {});
    void Blocknow1Click();
    void S1Click();
    void Checkupofupdating1Click();
    void About1Click();

  protected:
    void FormShow() override;
    void FormClose() override;

  private:
    void ShowInternetOff();
    void ShowAutostart();
    std::unique_ptr<schedule::ScheduleGrid> grid_;
    std::unique_ptr<schedule::DaySelector> days_;
    Dialogs dialogs_;
    std::string launchCounter_;
    std::optional<bool> autostartShown_;  // the machine-wide entry as read back for this child
};

}  // namespace app
