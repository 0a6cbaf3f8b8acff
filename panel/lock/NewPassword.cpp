#include "panel/lock/NewPassword.h"

#include <QLineEdit>

#include "lib/platform/widgets/MessageBox.h"
#include "lib/store/SettingsStore.h"

namespace lock {

bool ConfirmNewPassword(QLineEdit* first, QLineEdit* second) {
    if (first->text() != second->text()) {
        platform::ShowMessage("You were mistaken, try again.");
        first->clear();
        second->clear();
        first->setFocus();
        return false;
    }
    platform::ShowMessage("Please do not forget the password!");
    const std::string password = second->text().toStdString();
    store::WithSettings(
        [&](store::TRegistry& reg) { reg.WriteString(store::kPassword, password); });
    return true;
}

}  // namespace lock
