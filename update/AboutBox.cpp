#include "update/AboutBox.h"

namespace update {

TForm9::TForm9(QWidget* parent) : TForm(parent) {
    setObjectName(QStringLiteral("Form9"));
    setWindowTitle(QStringLiteral("About"));
    setFixedSize(273, 273);
    CentreOnScreen();
}

}  // namespace update
