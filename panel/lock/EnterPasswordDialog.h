// TForm4, the enter-password dialog between every start and the main window. The main window
// stays at the off-screen position until the stored password is typed; Cancel (and the close
// box) closes the main window, which ends the program.
//
// The settings (panel/settings) check the password: when the settings key cannot be opened, the
// stored password is unknown and no entry unlocks; the failure is logged. An absent value still
// reads as the empty password. A password the settings know already (one typed for another
// child, from a parent's account) unlocks without being asked for. The typed text is wiped from
// the field and from memory once it was checked.
#pragma once

#include <functional>
#include <string>

#include "lib/platform/widgets/Forms.h"

class QGroupBox;
class QLineEdit;
class QPushButton;

namespace lock {

inline constexpr int kDesignLeft = 715;  // the main window's design position
inline constexpr int kDesignTop = 149;

class TForm4 final : public platform::TForm {
    Q_OBJECT
  public:
    // `mainForm` is the window this dialog unlocks.
    explicit TForm4(platform::TForm* mainForm, QWidget* parent = nullptr);

    QGroupBox* GroupBox1;
    QLineEdit* Edit1;
    QPushButton* SpeedButton1;
    QPushButton* SpeedButton2;

    void SpeedButton1Click();
    void SpeedButton2Click();
    void Edit1KeyDown(int key);
    // Runs after the right password unlocked the main window (the settings shown may be new).
    void OnUnlock(std::function<void()> done) { onUnlock_ = std::move(done); }
    // Says whose settings the password opens (a child's, from a parent's account); "": the
    // program's own.
    void ForChild(const std::string& account);

  protected:
    void FormShow() override;
    void CloseBox() override { SpeedButton2Click(); }

  private:
    void Unlocked();  // shows the main window at its place

    platform::TForm* mainForm_;
    std::function<void()> onUnlock_;
};

}  // namespace lock
