// Small control factories for the designer's controls.
#pragma once

#include <QPushButton>

namespace platform {

// A speed button: a push button that never takes the keyboard focus and is never a default
// button, so Tab visits the entry fields only and Return reaches it only through a key handler.
QPushButton* SpeedButton(QWidget* parent, const char* name, const char* caption, int left, int top,
                         int width, int height);

}  // namespace platform
