// Choosing a password (first start and change): both entries must match; the match is stored as
// "EnterPassword" (its hash), and sealed by the system service where it enforces this account.
#pragma once

class QLineEdit;

namespace lock {

// OK of the first-password and change-password dialogs. On a mismatch: tells the user, empties
// both fields, focuses the first and returns false. On a match: reminds the user, seals the
// password with the service (the first one while none is sealed, else as a change from this
// run's password; a refusal is shown and keeps the dialog open), stores its hash when the
// settings key opens, and returns true (the dialog then closes). At the first start a password
// the service already holds stays as it is.
bool ConfirmNewPassword(QLineEdit* first, QLineEdit* second, bool firstStart);

}  // namespace lock
