// The masked entry field of the password dialogs: shows "*" for every character.
#pragma once

#include <QLineEdit>

#include "lib/platform/widgets/Controls.h"

class QGroupBox;

namespace lock {

QLineEdit* MaskedField(QWidget* parent, const char* name, int left, int top, int width, int height);
// Sets a password dialog's caption, shortened with "..." to the box's width (an account's name
// may be long).
void SetCaption(QGroupBox* box, const QString& caption);
using platform::SpeedButton;

}  // namespace lock
