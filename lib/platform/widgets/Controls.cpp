#include "lib/platform/widgets/Controls.h"

namespace platform {

QPushButton* SpeedButton(QWidget* parent, const char* name, const char* caption, int left, int top,
                         int width, int height) {
    auto* button = new QPushButton(QString::fromUtf8(caption), parent);
    button->setObjectName(QString::fromUtf8(name));
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoDefault(false);
    button->setGeometry(left, top, width, height);
    return button;
}

}  // namespace platform
