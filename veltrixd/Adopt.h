// The first sealing, at the upgrade from a version without the service: every member account
// that has a password in its own store but nothing sealed gets its password (hashed, when the
// store held it in plain text) and its enforced values sealed, and its store then holds a marker
// in the password's place (store::kPasswordWithService), no hash a child could attack. Accounts
// without a password are left to a parent, who sets one in Veltrix in the parent's account.
// Run once by the package, before the service starts.
#pragma once

#include "veltrixd/Daemon.h"

namespace veltrixd {

// Says on stderr what it did for each account; false when the sealed settings cannot be kept.
bool AdoptStores(const Config& config);

}  // namespace veltrixd
