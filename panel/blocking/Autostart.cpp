#include "panel/blocking/Autostart.h"

#include "lib/store/SettingsStore.h"
#include "panel/blocking/GuardProgram.h"
#include "panel/settings/Settings.h"

namespace blocking {

void WriteAutostart(bool runAtLogin) {
    // Where the service enforces, the machine-wide entry is root's: the service writes it.
    if (settings::Current().ThroughService()) {
        settings::Current().Autostart(runAtLogin);
        return;
    }
    const std::string value = runAtLogin ? GuardPath() : std::string();
    store::WithKey(store::HKEY_LOCAL_MACHINE, store::kRunKey,
                   [&](store::TRegistry& reg) { reg.WriteString(store::kAutostartValue, value); });
}

}  // namespace blocking
