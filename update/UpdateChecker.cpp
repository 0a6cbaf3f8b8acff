#include "update/UpdateChecker.h"

namespace update {

TForm8::TForm8(QWidget* parent) : TForm(parent) {
    setObjectName(QStringLiteral("Form8"));
    setWindowTitle(QStringLiteral("Check up of updating"));
    resize(352, 297);
    CentreOnScreen();
}

}  // namespace update
