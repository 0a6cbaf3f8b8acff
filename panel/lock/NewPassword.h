// Choosing a password (first start and change): both entries must match; the match is stored as
// "EnterPassword", plain text.
#pragma once

class QLineEdit;

namespace lock {

// OK of the first-password and change-password dialogs. On a mismatch: tells the user, empties
// both fields, focuses the first and returns false. On a match: reminds the user, stores the
// second field's text when the settings key opens, and returns true (the dialog then closes).
bool ConfirmNewPassword(QLineEdit* first, QLineEdit* second);

}  // namespace lock
