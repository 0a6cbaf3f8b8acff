#include "panel/lock/NewPassword.h"

#include <QLineEdit>

#include "lib/platform/widgets/MessageBox.h"
#include "lib/store/SettingsStore.h"
#include "panel/lock/ParentPassword.h"

namespace lock {

bool ConfirmNewPassword(QLineEdit* first, QLineEdit* second, bool firstStart) {
    if (first->text() != second->text()) {
        platform::ShowMessage("You were mistaken, try again.");
        first->clear();
        second->clear();
        first->setFocus();
        return false;
    }
    const std::string password = second->text().toStdString();
    const ServiceState service = AskService();
    if (service.failed) {
        platform::ShowMessage(service.why);
        return false;
    }
    if (service.enforces && !(firstStart && service.sealed)) {
        try {
            SealNewPassword(password, !service.sealed);
        } catch (const std::exception& e) {
            platform::ShowMessage(e.what());
            return false;
        }
    }
    platform::ShowMessage("Please do not forget the password!");
    StorePasswordHash(password);
    SetRunPassword(password);
    return true;
}

}  // namespace lock
