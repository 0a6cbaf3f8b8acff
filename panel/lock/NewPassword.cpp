#include "panel/lock/NewPassword.h"

#include <QLineEdit>

#include "lib/platform/widgets/MessageBox.h"
#include "panel/settings/Settings.h"

namespace lock {

bool ConfirmNewPassword(QLineEdit* first, QLineEdit* second, bool firstStart) {
    if (first->text() != second->text()) {
        platform::ShowMessage("You were mistaken, try again.");
        first->clear();
        second->clear();
        first->setFocus();
        return false;
    }
    std::string password = second->text().toStdString();
    const settings::Verdict verdict = settings::Current().SetPassword(password, firstStart);
    if (!verdict.ok) {
        settings::Wipe(password);
        platform::ShowMessage(verdict.message);
        return false;
    }
    // A password sent to the service leaves the fields (and this process's memory) at once.
    if (settings::Current().ThroughService()) {
        first->clear();
        second->clear();
    }
    platform::ShowMessage("Please do not forget the password!");
    const struct Wiped {
        std::string& text;
        ~Wiped() { settings::Wipe(text); }
    } wiped{password};
    settings::Current().KeepPassword(password);
    return true;
}

}  // namespace lock
