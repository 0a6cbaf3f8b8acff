// Choosing a password (first start and change): both entries must match; the match is kept by
// the settings (panel/settings): the hash in the account's store, or sealed by the system service
// for a child from a parent's account.
#pragma once

class QLineEdit;

namespace lock {

// OK of the first-password and change-password dialogs. On a mismatch: tells the user, empties
// both fields, focuses the first and returns false. On a match: the settings take the password
// (a refusal is shown and keeps the dialog open), the user is reminded of it, it is kept (its
// hash stored when the settings key opens), and true is returned (the dialog then closes). The
// fields are emptied and the password wiped from memory.
bool ConfirmNewPassword(QLineEdit* first, QLineEdit* second, bool firstStart);

}  // namespace lock
