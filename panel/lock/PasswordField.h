// The masked entry field of the password dialogs: shows "*" for every character.
#pragma once

#include <QLineEdit>

#include "lib/platform/widgets/Controls.h"

namespace lock {

QLineEdit* MaskedField(QWidget* parent, const char* name, int left, int top, int width, int height);
using platform::SpeedButton;

}  // namespace lock
