// The first sealing, at the upgrade from a version without the service: every member account
// that has a password in its own store but nothing sealed gets its password (hashed, when the
// store held it in plain text) and its enforced values sealed, and its store then holds the hash
// in place of the plain password. Accounts without a password are left to the panel's first
// start. Run once by the package, before the service starts.
#pragma once

#include "veltrixd/Daemon.h"

namespace veltrixd {

// Says on stderr what it did for each account; false when the sealed settings cannot be kept.
bool AdoptStores(const Config& config);

}  // namespace veltrixd
