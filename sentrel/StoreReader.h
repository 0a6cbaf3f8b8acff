// Reads the values the guard follows from this user's settings store, in one read-only store use
// (it sees a save of the panel whole or not at all, and never writes). A store that does not exist
// yet reads as empty: nothing was configured.
#pragma once

#include <string>

#include "lib/enforce/Settings.h"

namespace sentrel {

struct StoreReadResult {
    bool ok = false;
    std::string error;  // when not ok
    enforce::SettingsRead read;
};

StoreReadResult ReadStore();

// The directory the store lives in (watched for changes).
std::string StoreDirectory();

}  // namespace sentrel
