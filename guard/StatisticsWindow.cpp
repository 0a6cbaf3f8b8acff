#include "guard/StatisticsWindow.h"

namespace guard {

TForm7::TForm7(QWidget* parent) : TForm(parent) {
    setObjectName(QStringLiteral("Form7"));
    setWindowTitle(QStringLiteral("Veltrix Statistics"));
    resize(547, 485);
    CentreOnScreen();
}

}  // namespace guard
