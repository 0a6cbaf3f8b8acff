#include "panel/settings/Settings.h"

#include "lib/control/Protocol.h"
#include "lib/rtl/Exception.h"
#include "panel/settings/OwnStore.h"

namespace settings {
namespace {

std::unique_ptr<Settings>& Chosen() {
    static std::unique_ptr<Settings> chosen;
    return chosen;
}

}  // namespace

void Settings::ClearLog(std::uint64_t, std::uint64_t, std::uint64_t) {}
void Settings::Autostart(bool) {}

std::optional<bool> Settings::AutostartState() {
    return std::nullopt;
}

std::optional<UseRead> Settings::ReadUse(std::string* why) {
    if (why) *why = "only the Veltrix service counts the time used";
    return std::nullopt;
}

void Settings::Answer(const std::vector<std::string>&) {
    throw rtl::Exception("Only the Veltrix service gives more time or blocks at once.");
}

Settings& Current() {
    if (!Chosen()) Chosen() = std::make_unique<OwnStore>();
    return *Chosen();
}

void Choose(std::unique_ptr<Settings> settings) {
    Chosen() = std::move(settings);
}

void Wipe(std::string& password) {
    control::Wipe(password);
}

}  // namespace settings
