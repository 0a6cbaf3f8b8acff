#include "guard/BlockedAppsDialog.h"

namespace guard {

TForm6::TForm6(QWidget* parent) : TForm(parent) {
    setObjectName(QStringLiteral("Form6"));
    setWindowTitle(QStringLiteral("Block applications"));
    resize(434, 522);
    CentreOnScreen();
}

}  // namespace guard
