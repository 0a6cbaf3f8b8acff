#include "panel/blocking/Autostart.h"

#include "lib/store/SettingsStore.h"
#include "panel/blocking/GuardProgram.h"

namespace guard {

void WriteAutostart(bool runAtLogin) {
    const std::string value = runAtLogin ? GuardPath() : std::string();
    store::WithKey(store::HKEY_LOCAL_MACHINE, store::kRunKey,
                   [&](store::TRegistry& reg) { reg.WriteString(store::kAutostartValue, value); });
}

}  // namespace guard
